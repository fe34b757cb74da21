// The C interface: checks every argument, translates the C structs into the engine's views and
// renders through render/image_render. Depends on render/ only; no state outside the calls.
#include "libzavol/zavol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "render/depth_kind.h"
#include "render/field_table.h"
#include "render/frame_checks.h"
#include "render/frame.h"
#include "render/image_render.h"
#include "render/settings.h"
#include "render/view_options.h"
#include "render/version.h"

// The C record and the stored one are the same fourteen words in the same order.
static_assert(sizeof(zavol_settings) == kSettingsSize, "the settings record is 56 bytes");
static_assert(ZAVOL_SETTINGS_BYTES == kSettingsSize, "the stored block is 56 bytes");
#define ZAVOL_SAME_FIELD(c, record)                                                         \
  static_assert(offsetof(zavol_settings, c) == offsetof(StereogramSettings, record) &&     \
                    sizeof(zavol_settings::c) == sizeof(StereogramSettings::record),       \
                "zavol_settings." #c " mirrors StereogramSettings." #record)
ZAVOL_SAME_FIELD(near_object_depth, NearObjectDepth);
ZAVOL_SAME_FIELD(far_object_depth, FarObjectDepth);
ZAVOL_SAME_FIELD(background_depth, BackgroundDepth);
ZAVOL_SAME_FIELD(viewing_medium, ViewingMedium);
ZAVOL_SAME_FIELD(custom_dpi, CustomDpi);
ZAVOL_SAME_FIELD(auto_distance, AutoDistance);
ZAVOL_SAME_FIELD(far_distance, FarDistance);
ZAVOL_SAME_FIELD(near_distance, NearDistance);
ZAVOL_SAME_FIELD(color1, Color1);
ZAVOL_SAME_FIELD(color2, Color2);
ZAVOL_SAME_FIELD(ramp_mode, RampMode);
ZAVOL_SAME_FIELD(put_guide_points, PutGuidePoints);
ZAVOL_SAME_FIELD(randomize_each_frame, RandomizeEachFrame);
ZAVOL_SAME_FIELD(prevent_ghosting, PreventGhosting);
#undef ZAVOL_SAME_FIELD
static_assert(ZAVOL_MAX_SIDE == zavol::kMaxImageSide, "one limit for the library and the engine");
static_assert(ZAVOL_DOTS_STABLE == static_cast<int>(zavol::DotSource::kStable) &&
                  ZAVOL_ANCHOR_CENTRE == static_cast<int>(zavol::Anchor::kCentre) &&
                  ZAVOL_ANCHOR_LEFT == static_cast<int>(zavol::Anchor::kLeft) &&
                  ZAVOL_VIEW_CROSS == static_cast<int>(zavol::ViewDirection::kCross) &&
                  ZAVOL_LINKING_SYMMETRIC == static_cast<int>(zavol::Linking::kSymmetric),
              "the C constants are the engine's values");
static_assert(ZAVOL_FEWEST_REPEATS == zavol::kFewestRepeats &&
                  ZAVOL_FIT_REPEATS == zavol::kFitRepeats,
              "the findings' limits are the checks' own");
static_assert(ZAVOL_FIELD_CHOICE == static_cast<int>(zavol::FieldType::kChoice) &&
                  ZAVOL_FIELD_COLOUR == static_cast<int>(zavol::FieldType::kColour) &&
                  ZAVOL_FIELD_INPUT == static_cast<int>(zavol::FieldPlace::kInput) &&
                  ZAVOL_DEPTH_MIST == static_cast<int>(zavol::DepthKind::kMist),
              "the field constants are the table's");

namespace {

// The options as the first release defined them: the least struct_size a caller may pass.
constexpr std::size_t kOptionsFirstSize = offsetof(zavol_options, user) + sizeof(void*);

// Whether the caller's struct (struct_size bytes) holds the field that ends at end.
bool Holds(const zavol_options& o, std::size_t end) { return o.struct_size >= end; }
#define ZAVOL_FIELD_END(field) (offsetof(zavol_options, field) + sizeof(zavol_options::field))

// The viewing options the caller knows of; the rest keep their defaults.
zavol::ViewOptions ViewOptionsOf(const zavol_options& o) {
  zavol::ViewOptions view;
  if (Holds(o, ZAVOL_FIELD_END(dots))) view.dots = static_cast<zavol::DotSource>(o.dots);
  if (Holds(o, ZAVOL_FIELD_END(dot_size))) view.dotSize = o.dot_size;
  if (Holds(o, ZAVOL_FIELD_END(anchor))) view.anchor = static_cast<zavol::Anchor>(o.anchor);
  if (Holds(o, ZAVOL_FIELD_END(view))) view.view = static_cast<zavol::ViewDirection>(o.view);
  if (Holds(o, ZAVOL_FIELD_END(oversample))) view.oversample = o.oversample;
  if (Holds(o, ZAVOL_FIELD_END(linking))) view.linking = static_cast<zavol::Linking>(o.linking);
  return view;
}
#undef ZAVOL_FIELD_END

StereogramSettings ToRecord(const zavol_settings& s) {
  StereogramSettings record;
  std::memcpy(&record, &s, kSettingsSize);
  return record;
}

// Where a view's words lie, for the overlap check: [begin, end) in bytes.
struct Extent {
  std::uintptr_t begin, end;
};
bool Overlap(const Extent& a, const Extent& b) { return a.begin < b.end && b.begin < a.end; }

// Checks one view's pointer, sides and stride (0 becomes a row) and gives its extent. Words
// per pixel: 1 for depth, 4 for images.
template <class Word>
int CheckView(const Word* words, int width, int height, std::ptrdiff_t* rowStride,
              std::ptrdiff_t wordsPerPixel, Extent* extent) {
  if (words == nullptr) return ZAVOL_E_NULL;
  if (width <= 0 || height <= 0 || width > ZAVOL_MAX_SIDE || height > ZAVOL_MAX_SIDE) {
    return ZAVOL_E_SIZE;
  }
  const std::ptrdiff_t row = wordsPerPixel * width;
  if (*rowStride == 0) *rowStride = row;
  if (*rowStride < row) return ZAVOL_E_STRIDE;
  // The last row must end within what a pointer can address.
  constexpr std::ptrdiff_t kMaxWords = PTRDIFF_MAX / static_cast<std::ptrdiff_t>(sizeof(Word));
  if (height > 1 && *rowStride > (kMaxWords - row) / (height - 1)) return ZAVOL_E_STRIDE;
  const std::ptrdiff_t span = *rowStride * (height - 1) + row;
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(words);
  const std::uintptr_t bytes = static_cast<std::uintptr_t>(span) * sizeof(Word);
  if (bytes > UINTPTR_MAX - begin) return ZAVOL_E_STRIDE;
  *extent = Extent{begin, begin + bytes};
  return ZAVOL_OK;
}

int CheckDepth(const zavol_depth& depth, zavol::DepthView* view, Extent* extent) {
  std::ptrdiff_t stride = depth.row_stride;
  const int status = CheckView(depth.values, depth.width, depth.height, &stride, 1, extent);
  *view = zavol::DepthView{depth.values, depth.width, depth.height, stride};
  return status;
}

template <class View>
int CheckImage(const zavol_image& image, View* view, Extent* extent) {
  std::ptrdiff_t stride = image.row_stride;
  const int status = CheckView(image.pixels, image.width, image.height, &stride, 4, extent);
  *view = View{image.pixels, image.width, image.height, stride};
  return status;
}

// The engine's field table as C rows, made once.
struct CFieldTable {
  std::vector<zavol_field_info> rows;
  CFieldTable() {
    for (std::size_t i = 0; i < zavol::FieldCount(); ++i) {
      const zavol::FieldInfo& f = zavol::FieldAt(i);
      rows.push_back(zavol_field_info{f.name, f.option, f.label, f.description,
                                      static_cast<int>(f.type), static_cast<int>(f.place),
                                      f.defaultValue, f.minimum, f.maximum, f.step,
                                      f.choiceCount, f.choiceWords, f.choiceValues});
    }
  }
};
const CFieldTable& FieldTable() {
  static const CFieldTable table;
  return table;
}

// Where an option field lives in zavol_options, and whether a caller's struct holds it.
template <class Member>
struct OptionSlot {
  Member zavol_options::*member;
  std::size_t end;
};
#define ZAVOL_SLOT(field) \
  { &zavol_options::field, offsetof(zavol_options, field) + sizeof(zavol_options::field) }
constexpr OptionSlot<int> kIntSlots[] = {ZAVOL_SLOT(screen_width), ZAVOL_SLOT(screen_height),
                                         ZAVOL_SLOT(dots),         ZAVOL_SLOT(dot_size),
                                         ZAVOL_SLOT(anchor),       ZAVOL_SLOT(view),
                                         ZAVOL_SLOT(oversample),   ZAVOL_SLOT(linking),
                                         ZAVOL_SLOT(threads)};
constexpr const char* kIntSlotNames[] = {"screen_width", "screen_height", "dots",
                                         "dot_size",     "anchor",        "view",
                                         "oversample",   "linking",       "threads"};
#undef ZAVOL_SLOT
static_assert(sizeof kIntSlots / sizeof kIntSlots[0] ==
                  sizeof kIntSlotNames / sizeof kIntSlotNames[0],
              "one name per slot");

// The int member behind an option field, or null for the seed (a uint32_t) and unknown names.
const OptionSlot<int>* IntSlot(const char* name) {
  for (std::size_t i = 0; i < sizeof kIntSlotNames / sizeof kIntSlotNames[0]; ++i) {
    if (std::strcmp(name, kIntSlotNames[i]) == 0) return &kIntSlots[i];
  }
  return nullptr;
}

constexpr std::size_t kSeedEnd = offsetof(zavol_options, seed) + sizeof(uint32_t);

// The findings as their first release defined them: the least struct_size a caller may pass.
constexpr std::size_t kFindingsFirstSize =
    offsetof(zavol_findings, lifted_by_far_object_depth) + sizeof(int);

// The table's row of a settings field, or -1.
int RowOf(const zavol::SettingsField& field) {
  for (std::size_t i = 0; i < zavol::FieldCount(); ++i) {
    if (zavol::FieldAt(i).record == &field) return static_cast<int>(i);
  }
  return -1;
}

// text into [out, out + size) as a C string, cut where it must be at a character boundary, so
// that a cut never leaves half a UTF-8 sequence behind.
void CopyText(const std::string& text, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  std::size_t length = text.size();
  if (length >= size) {
    length = size - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
}

int FlatKind(zavol::Fusing::Flat flat) {
  switch (flat) {
    case zavol::Fusing::Flat::kNo: return ZAVOL_FLAT_NO;
    case zavol::Fusing::Flat::kSameDepth: return ZAVOL_FLAT_SAME_DEPTH;
    case zavol::Fusing::Flat::kSameFraction: return ZAVOL_FLAT_SAME_FRACTION;
    case zavol::Fusing::Flat::kResolution: return ZAVOL_FLAT_RESOLUTION;
  }
  return ZAVOL_FLAT_NO;
}

// The frame's checks, read from the plan it was rendered from, into the fields the caller's
// struct holds; its struct_size stays.
void FillFindings(const StereogramSettings& settings, const zavol::FramePlan& plan,
                  zavol_findings* findings) {
  const zavol::DepthView& depth = plan.depth;
  const zavol::DepthSpread spread =
      zavol::LookAtDepth(depth.values, depth.width, depth.height, depth.rowStride);
  const zavol::Fusing f = zavol::CheckFusing(settings, plan, spread);
  zavol_findings all{};
  all.scene = spread.scene ? 1 : 0;
  all.background = f.background;
  all.repeats = f.repeats;
  all.few_repeats = f.fewRepeats ? 1 : 0;
  all.flat = FlatKind(f.flat);
  all.separation = f.separation;
  all.level_merges = f.levelMerges ? 1 : 0;
  all.level_pixels = f.levelPixels;
  all.level_depth = f.levelDepth;
  all.lifted_by_far_object_depth = f.liftedByFarObjectDepth ? 1 : 0;
  constexpr std::size_t kFirst = sizeof findings->struct_size;
  const std::size_t end = std::min(findings->struct_size, sizeof all);
  std::memcpy(reinterpret_cast<char*>(findings) + kFirst, reinterpret_cast<const char*>(&all) + kFirst,
              end - kFirst);
}

}  // namespace

extern "C" {

int zavol_field_count(void) noexcept { return static_cast<int>(FieldTable().rows.size()); }

const zavol_field_info* zavol_field(int index) noexcept {
  const CFieldTable& table = FieldTable();
  if (index < 0 || static_cast<std::size_t>(index) >= table.rows.size()) return nullptr;
  return &table.rows[static_cast<std::size_t>(index)];
}

int zavol_field_find(const char* word) noexcept { return zavol::FindField(word); }

int zavol_field_get(const zavol_settings* s, const zavol_options* o, int index,
                    double* value) noexcept {
  if (zavol_field(index) == nullptr) return ZAVOL_E_OPTION_VALUE;
  const zavol::FieldInfo& field = zavol::FieldAt(static_cast<std::size_t>(index));
  if (value == nullptr) return ZAVOL_E_NULL;
  if (field.place == zavol::FieldPlace::kSettings) {
    if (s == nullptr) return ZAVOL_E_NULL;
    *value = zavol::FieldValue(ToRecord(*s), *field.record);
    return ZAVOL_OK;
  }
  if (field.place != zavol::FieldPlace::kOptions) return ZAVOL_E_OPTION_VALUE;
  if (o == nullptr) return ZAVOL_E_NULL;
  if (const OptionSlot<int>* slot = IntSlot(field.name)) {
    if (!Holds(*o, slot->end)) return ZAVOL_E_OPTIONS;
    *value = o->*(slot->member);
    return ZAVOL_OK;
  }
  if (!Holds(*o, kSeedEnd)) return ZAVOL_E_OPTIONS;
  *value = o->seed;
  return ZAVOL_OK;
}

int zavol_field_set(zavol_settings* s, zavol_options* o, int index, double value) noexcept {
  if (zavol_field(index) == nullptr) return ZAVOL_E_OPTION_VALUE;
  const zavol::FieldInfo& field = zavol::FieldAt(static_cast<std::size_t>(index));
  if (field.place == zavol::FieldPlace::kSettings) {
    if (s == nullptr) return ZAVOL_E_NULL;
    if (!zavol::FieldAccepts(field, value)) return ZAVOL_E_SETTING_VALUE;
    StereogramSettings record = ToRecord(*s);
    zavol::SetFieldValue(record, *field.record, value);
    std::memcpy(s, &record, kSettingsSize);
    return ZAVOL_OK;
  }
  if (field.place != zavol::FieldPlace::kOptions) return ZAVOL_E_OPTION_VALUE;
  if (o == nullptr) return ZAVOL_E_NULL;
  if (!zavol::FieldAccepts(field, value)) return ZAVOL_E_OPTION_VALUE;
  if (const OptionSlot<int>* slot = IntSlot(field.name)) {
    if (!Holds(*o, slot->end)) return ZAVOL_E_OPTIONS;
    o->*(slot->member) = static_cast<int>(value);
    return ZAVOL_OK;
  }
  if (!Holds(*o, kSeedEnd)) return ZAVOL_E_OPTIONS;
  o->seed = static_cast<uint32_t>(value);
  return ZAVOL_OK;
}


void zavol_settings_default(zavol_settings* s) noexcept {
  if (s == nullptr) return;
  const StereogramSettings record = DefaultSettings();
  std::memcpy(s, &record, kSettingsSize);
}

int zavol_settings_from_bytes(zavol_settings* s, const void* bytes, size_t size) noexcept {
  if (s == nullptr || bytes == nullptr) return ZAVOL_E_NULL;
  if (size != kSettingsSize) return ZAVOL_E_SETTINGS_SIZE;
  StereogramSettings record;
  LoadSettings(record, bytes);
  std::memcpy(s, &record, kSettingsSize);
  return ZAVOL_OK;
}

void zavol_settings_to_bytes(const zavol_settings* s, void* bytes56) noexcept {
  if (s == nullptr || bytes56 == nullptr) return;
  SaveSettings(ToRecord(*s), bytes56);
}

void zavol_options_default(zavol_options* o) noexcept {
  if (o == nullptr) return;
  const zavol::ImageRenderOptions defaults;
  *o = zavol_options{};
  o->struct_size = sizeof(zavol_options);
  o->screen_width = defaults.screenWidth;
  o->screen_height = defaults.screenHeight;
  o->seed = defaults.seed;
  o->dots = static_cast<int>(defaults.view.dots);
  o->dot_size = defaults.view.dotSize;
  o->anchor = static_cast<int>(defaults.view.anchor);
  o->view = static_cast<int>(defaults.view.view);
  o->oversample = defaults.view.oversample;
  o->linking = static_cast<int>(defaults.view.linking);
}

int zavol_render(const zavol_settings* s, const zavol_depth* depth, const zavol_options* o,
                 zavol_image* out) noexcept {
  if (s == nullptr || depth == nullptr || o == nullptr) return ZAVOL_E_NULL;
  if (o->struct_size < kOptionsFirstSize || o->struct_size > sizeof(zavol_options)) {
    return ZAVOL_E_OPTIONS;
  }
  // A field the caller's header did not have: no row sink, so out is required.
  const auto rows =
      Holds(*o, offsetof(zavol_options, rows) + sizeof o->rows) ? o->rows : nullptr;
  if (out == nullptr && rows == nullptr) return ZAVOL_E_NULL;
  zavol_findings* const findings =
      Holds(*o, offsetof(zavol_options, findings) + sizeof o->findings) ? o->findings : nullptr;
  if (findings != nullptr && (findings->struct_size < kFindingsFirstSize ||
                              findings->struct_size > sizeof(zavol_findings))) {
    return ZAVOL_E_OPTIONS;
  }
  const zavol::ViewOptions view = ViewOptionsOf(*o);
  if (!view.Valid()) return ZAVOL_E_OPTION_VALUE;
  // The settings the tool refuses (a NaN, a background depth of 0...) are refused here too.
  const StereogramSettings record = ToRecord(*s);
  if (!zavol::FindUnusableSetting(record, [](const zavol::SettingsField& f) { return std::string(f.name); })
           .fields.empty()) {
    return ZAVOL_E_SETTING_VALUE;
  }
  // A field the caller's header did not have takes its default: every core.
  const int threads =
      Holds(*o, offsetof(zavol_options, threads) + sizeof o->threads) ? o->threads : 0;
  if (threads < 0) return ZAVOL_E_OPTION_VALUE;
  zavol::DepthView depthView;
  zavol::PixelView outView;
  zavol::ConstPixelView patternView;
  Extent depthExtent{}, outExtent{}, patternExtent{};
  int status = CheckDepth(*depth, &depthView, &depthExtent);
  if (status == ZAVOL_OK && out != nullptr) status = CheckImage(*out, &outView, &outExtent);
  if (status == ZAVOL_OK && o->pattern != nullptr) {
    status = CheckImage(*o->pattern, &patternView, &patternExtent);
  }
  if (status != ZAVOL_OK) return status;
  if (out != nullptr) {
    if (out->width != depth->width || out->height != depth->height) {
      return ZAVOL_E_SIZE_MISMATCH;
    }
    if (Overlap(outExtent, depthExtent) ||
        (o->pattern != nullptr && Overlap(outExtent, patternExtent))) {
      return ZAVOL_E_OVERLAP;
    }
  } else {
    outView = zavol::PixelView{nullptr, depth->width, 0, 0};
  }

  zavol::ImageRenderOptions options;
  options.screenWidth = o->screen_width;
  options.screenHeight = o->screen_height;
  options.seed = o->seed;
  options.pattern = o->pattern != nullptr ? &patternView : nullptr;
  options.progress = o->progress;
  options.rows = rows;
  options.user = o->user;
  options.view = view;
  options.threads = threads;
  // One plan for the pixels and the findings: the depth is scanned once for its range and, when
  // findings are asked for, its farthest level.
  const zavol::FramePlan plan = zavol::PlanImage(record, depthView, options, findings != nullptr);
  switch (zavol::RenderImage(record, plan, options, outView).status) {
    case zavol::FrameStatus::kDone:
      if (findings != nullptr) FillFindings(record, plan, findings);
      return ZAVOL_OK;
    case zavol::FrameStatus::kStopped: return ZAVOL_E_STOPPED;
    case zavol::FrameStatus::kOutOfMemory: return ZAVOL_E_NO_MEMORY;
    case zavol::FrameStatus::kBadOptions: return ZAVOL_E_OPTION_VALUE;
  }
  return ZAVOL_E_NO_MEMORY;
}

int zavol_settings_check(const zavol_settings* s, const char* const* names, char* text,
                         size_t text_size, int* field) noexcept {
  if (s == nullptr) return ZAVOL_E_NULL;
  const auto name = [names](const zavol::SettingsField& f) {
    const int row = RowOf(f);
    const char* given = names != nullptr && row >= 0 ? names[row] : nullptr;
    if (given != nullptr) return std::string(given);
    return std::string(row >= 0 ? zavol::FieldAt(static_cast<std::size_t>(row)).name : f.name);
  };
  zavol::SettingsProblem problem;
  try {
    problem = zavol::FindUnusableSetting(ToRecord(*s), name);
  } catch (const std::bad_alloc&) {
    return ZAVOL_E_NO_MEMORY;
  }
  if (field != nullptr) {
    *field = problem.fields.empty() ? -1 : RowOf(zavol::SettingsFieldAt(problem.fields.front()));
  }
  CopyText(problem.text, text, text_size);
  return problem.fields.empty() ? ZAVOL_OK : ZAVOL_E_SETTING_VALUE;
}

int zavol_fit_dpi(const zavol_settings* s, int width) noexcept {
  if (s == nullptr) return ZAVOL_E_NULL;
  if (width <= 0 || width > ZAVOL_MAX_SIDE) return ZAVOL_E_SIZE;
  return zavol::FitDpi(ToRecord(*s), width);
}

const char* zavol_status_text(int status) noexcept {
  switch (status) {
    case ZAVOL_OK: return "done";
    case ZAVOL_E_NULL: return "a required pointer is null";
    case ZAVOL_E_SIZE: return "a width or height is not between 1 and 65535";
    case ZAVOL_E_STRIDE: return "a row stride is shorter than a row, or too long to address";
    case ZAVOL_E_SIZE_MISMATCH: return "the output image is not the size of the depth";
    case ZAVOL_E_STOPPED: return "stopped before the last row";
    case ZAVOL_E_NO_MEMORY: return "out of memory for the frame";
    case ZAVOL_E_DEPTH_KIND: return "unknown depth kind";
    case ZAVOL_E_SETTINGS_SIZE: return "a settings block must be 56 bytes";
    case ZAVOL_E_OVERLAP: return "the output image overlaps the depth or the pattern";
    case ZAVOL_E_OPTIONS:
      return "options not set up by zavol_options_default, or findings without their struct_size";
    case ZAVOL_E_OPTION_VALUE:
      return "an option (dots, dot_size, anchor, view, oversample, linking, threads) is out of range";
    case ZAVOL_E_SETTING_VALUE: return "a settings field is not a number within its range, or the settings cannot make a picture";
    default: return "unknown status";
  }
}

int zavol_depth_convert(float* values, size_t count, int kind, float far_cutoff) noexcept {
  zavol::DepthKind engineKind;
  switch (kind) {
    case ZAVOL_DEPTH_HOST: engineKind = zavol::DepthKind::kHost; break;
    case ZAVOL_DEPTH_DISTANCE: engineKind = zavol::DepthKind::kDistance; break;
    case ZAVOL_DEPTH_DISPARITY: engineKind = zavol::DepthKind::kDisparity; break;
    case ZAVOL_DEPTH_HEIGHT: engineKind = zavol::DepthKind::kHeight; break;
    case ZAVOL_DEPTH_MIST: engineKind = zavol::DepthKind::kMist; break;
    default: return ZAVOL_E_DEPTH_KIND;
  }
  if (values == nullptr && count != 0) return ZAVOL_E_NULL;
  zavol::ConvertDepth(values, count, engineKind, far_cutoff);
  return ZAVOL_OK;
}

const char* zavol_version(void) noexcept { return ZAVOL_VERSION_TEXT; }

}  // extern "C"
