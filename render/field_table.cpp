// The field table: the record's rows take their ranges and defaults from the settings schema, so
// the dialog's limits and every face's limits cannot drift apart.
#include "render/field_table.h"

#include <cmath>
#include <cstring>

#include "render/view_options.h"

namespace zavol {
namespace {

constexpr const char* kMediumWords[] = {"14in", "15in", "17in", "19in", "21in",
                                         "a5",   "a4",   "a3",   "dpi"};
constexpr int kMediumValues[] = {kMedium14InchMonitor, kMedium15InchMonitor, kMedium17InchMonitor,
                                 kMedium19InchMonitor, kMedium21InchMonitor, kMediumA5Paper,
                                 kMediumA4Paper,       kMediumA3Paper,       kMediumCustomDpi};
constexpr const char* kRampWords[] = {"rgb", "hsv"};
constexpr int kRampValues[] = {kRampRgb, kRampHsv};
constexpr const char* kDotsWords[] = {"stream", "stable"};
constexpr int kDotsValues[] = {static_cast<int>(DotSource::kStream),
                               static_cast<int>(DotSource::kStable)};
constexpr const char* kAnchorWords[] = {"auto", "left", "centre"};
constexpr int kAnchorValues[] = {static_cast<int>(Anchor::kAuto), static_cast<int>(Anchor::kLeft),
                                 static_cast<int>(Anchor::kCentre)};
constexpr const char* kViewWords[] = {"wall", "cross"};
constexpr int kViewValues[] = {static_cast<int>(ViewDirection::kWall),
                               static_cast<int>(ViewDirection::kCross)};
constexpr const char* kLinkingWords[] = {"classic", "symmetric"};
constexpr int kLinkingValues[] = {static_cast<int>(Linking::kClassic),
                                  static_cast<int>(Linking::kSymmetric)};
// The order of DepthKind and of the library's ZAVOL_DEPTH_ constants.
constexpr const char* kDepthKindWords[] = {"host", "distance", "disparity", "height", "mist"};
constexpr int kDepthKindValues[] = {0, 1, 2, 3, 4};

template <std::size_t N>
constexpr int Count(const char* const (&)[N]) {
  return static_cast<int>(N);
}

// What the record's rows add to the schema: a snake_case name, a title and one line of help.
struct RecordWords {
  const char* name;
  const char* label;
  const char* description;
};
constexpr RecordWords kRecordWords[] = {
    {"near_object_depth", "Near object depth",
     "separation of the nearest depth, as a fraction of the background's"},
    {"far_object_depth", "Far object depth",
     "separation of the farthest depth, as a fraction of the background's"},
    {"background_depth", "Background depth",
     "background plane behind the image, in viewer distances"},
    {"viewing_medium", "Viewing medium",
     "what the picture is viewed on: a monitor of that diagonal, paper the picture fills, or a "
     "custom dpi; it sets every separation"},
    {"custom_dpi", "Custom dpi", "pixels per inch of the custom medium"},
    {"auto_distance", "Auto distance",
     "take the depth range from each frame, else from the near and far distances"},
    {"far_distance", "Far distance", "farthest scene distance from the camera (auto distance off)"},
    {"near_distance", "Near distance",
     "nearest scene distance from the camera (auto distance off)"},
    {"color1", "Colour 1", "first end of the dot colour ramp"},
    {"color2", "Colour 2", "second end of the dot colour ramp"},
    {"ramp_mode", "Colour ramp",
     "rgb interpolates red, green and blue; hsv hue, saturation and value"},
    {"put_guide_points", "Guide", "draw the convergence guide across rows 5 to 15"},
    {"randomize_each_frame", "Randomize each frame",
     "seed every frame's dots with the seed, else every frame starts from seed 0"},
    {"prevent_ghosting", "Prevent ghosting", "a pixel is repeated at most once per row"},
};
static_assert(sizeof kRecordWords / sizeof kRecordWords[0] == kSettingsFieldCount,
              "every field of the record has its words");

FieldType TypeOf(FieldKind kind) {
  switch (kind) {
    case FieldKind::kReal: return FieldType::kReal;
    case FieldKind::kInteger: return FieldType::kInteger;
    case FieldKind::kBoolean: return FieldType::kBoolean;
    case FieldKind::kColour: return FieldType::kColour;
    case FieldKind::kCode: return FieldType::kChoice;
  }
  return FieldType::kReal;
}

FieldInfo RecordRow(std::size_t i) {
  const SettingsField& field = kSettingsFields[i];
  FieldInfo row{kRecordWords[i].name,
                field.option,
                kRecordWords[i].label,
                kRecordWords[i].description,
                TypeOf(field.kind),
                FieldPlace::kSettings,
                field.defaultValue,
                field.minimum,
                field.maximum,
                field.step,
                0,
                nullptr,
                nullptr,
                &field};
  if (field.offset == offsetof(StereogramSettings, ViewingMedium)) {
    row.choiceCount = Count(kMediumWords);
    row.choiceWords = kMediumWords;
    row.choiceValues = kMediumValues;
  } else if (field.offset == offsetof(StereogramSettings, RampMode)) {
    row.choiceCount = Count(kRampWords);
    row.choiceWords = kRampWords;
    row.choiceValues = kRampValues;
  }
  return row;
}

FieldInfo Choice(const char* name, const char* option, const char* label,
                 const char* description, FieldPlace place, int defaultValue, int count,
                 const char* const* words, const int* values) {
  return FieldInfo{name,  option, label, description, FieldType::kChoice, place,
                   static_cast<double>(defaultValue), static_cast<double>(values[0]),
                   static_cast<double>(values[count - 1]), 0, count, words, values, nullptr};
}

FieldInfo Number(const char* name, const char* option, const char* label,
                 const char* description, FieldType type, FieldPlace place, double defaultValue,
                 double minimum, double maximum, double step) {
  return FieldInfo{name,    option,  label, description, type,    place,  defaultValue,
                   minimum, maximum, step,  0,           nullptr, nullptr, nullptr};
}

struct Table {
  FieldInfo rows[kSettingsFieldCount + 12];
  std::size_t count = 0;

  Table() {
    for (std::size_t i = 0; i < kSettingsFieldCount; ++i) rows[count++] = RecordRow(i);
    const ViewOptions view;
    constexpr FieldPlace kOptions = FieldPlace::kOptions;
    rows[count++] = Number("screen_width", "screen-width", "Screen width",
                           "screen width in pixels of the monitor media", FieldType::kInteger,
                           kOptions, 1920, 1, 65535, 1);
    rows[count++] = Number("screen_height", "screen-height", "Screen height",
                           "screen height in pixels of the monitor media", FieldType::kInteger,
                           kOptions, 1080, 1, 65535, 1);
    rows[count++] = Number("seed", "seed", "Seed",
                           "seed of the dots when each frame is randomized", FieldType::kInteger,
                           kOptions, 0, 0, 4294967295.0, 1);
    rows[count++] = Choice("dots", "dots", "Dots",
                           "stream: new dots one after another from the frame's random numbers; "
                           "stable: from a hash of the dot's place, so they hold still",
                           kOptions, static_cast<int>(view.dots), Count(kDotsWords), kDotsWords,
                           kDotsValues);
    rows[count++] = Number("dot_size", "dot-size", "Dot size", "dots of N x N pixels",
                           FieldType::kInteger, kOptions, view.dotSize, 1, kMaxDotSize, 1);
    rows[count++] = Choice("anchor", "anchor", "Anchor",
                           "which linked pixel gives a row's linked pixels their colour: auto "
                           "(left for stream dots, centre for stable), left or centre",
                           kOptions, static_cast<int>(view.anchor), Count(kAnchorWords),
                           kAnchorWords, kAnchorValues);
    rows[count++] = Choice("view", "view", "View",
                           "wall: eyes diverged, looking through the picture; cross: eyes "
                           "crossed in front of it",
                           kOptions, static_cast<int>(view.view), Count(kViewWords), kViewWords,
                           kViewValues);
    rows[count++] = Number("oversample", "oversample", "Oversample",
                           "link rows at N sub-pixels per pixel and average them down",
                           FieldType::kInteger, kOptions, view.oversample, 1, kMaxOversample, 1);
    rows[count++] = Choice("linking", "linking", "Linking",
                           "classic: each pixel repeats the one a separation to its left; "
                           "symmetric: pairs centred on each point",
                           kOptions, static_cast<int>(view.linking), Count(kLinkingWords),
                           kLinkingWords, kLinkingValues);
    rows[count++] = Number("threads", "threads", "Threads",
                           "threads for a frame's rows, 0 for every core; the pixels are the same",
                           FieldType::kInteger, kOptions, 0, 0, 64, 1);
    rows[count++] = Choice("depth_kind", "depth-kind", "Depth kind",
                           "what the depth's numbers mean: host (the engine's), distance, "
                           "disparity (bigger is nearer), height (1 nearest), mist (0 nearest)",
                           FieldPlace::kInput, 0, Count(kDepthKindWords), kDepthKindWords,
                           kDepthKindValues);
    rows[count++] = Number("far_cutoff", "far-cutoff", "Far cutoff",
                           "distances at or above this are empty background", FieldType::kReal,
                           FieldPlace::kInput, 1e9, 1e-30, kDistanceLimit, 0);
  }
};

const Table& TheTable() {
  static const Table table;
  return table;
}

}  // namespace

std::size_t FieldCount() { return TheTable().count; }

const FieldInfo& FieldAt(std::size_t index) { return TheTable().rows[index]; }

int FindField(const char* word) {
  if (word == nullptr) return -1;
  const Table& table = TheTable();
  for (std::size_t i = 0; i < table.count; ++i) {
    if (std::strcmp(word, table.rows[i].name) == 0 || std::strcmp(word, table.rows[i].option) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool FieldAccepts(const FieldInfo& field, double value) {
  if (!std::isfinite(value)) return false;
  if (field.type == FieldType::kChoice) return ChoiceWord(field, value) != nullptr;
  if (value < field.minimum || value > field.maximum) return false;
  return field.type == FieldType::kReal || value == std::floor(value);
}

bool ChoiceValue(const FieldInfo& field, const char* word, int* value) {
  for (int i = 0; word != nullptr && i < field.choiceCount; ++i) {
    if (std::strcmp(word, field.choiceWords[i]) == 0) {
      *value = field.choiceValues[i];
      return true;
    }
  }
  return false;
}

const char* ChoiceWord(const FieldInfo& field, double value) {
  for (int i = 0; i < field.choiceCount; ++i) {
    if (value == field.choiceValues[i]) return field.choiceWords[i];
  }
  return nullptr;
}

}  // namespace zavol
