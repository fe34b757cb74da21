// Settings fields as command-line options and as text, both read from render/'s schema table.
#include "cli/settings_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "cli/tool.h"
#include "io/error.h"
#include "io/formats.h"
#include "render/settings_schema.h"

namespace zavol::cli {
namespace {

struct MediumEntry {
  const char* name;
  int32_t code;
};
constexpr MediumEntry kMedia[] = {
    {"14in", kMedium14InchMonitor}, {"15in", kMedium15InchMonitor},
    {"17in", kMedium17InchMonitor}, {"19in", kMedium19InchMonitor},
    {"21in", kMedium21InchMonitor}, {"a5", kMediumA5Paper},
    {"a4", kMediumA4Paper},         {"a3", kMediumA3Paper},
    {"dpi", kMediumCustomDpi},
};

// Shortest text that reads back as the same float.
std::string FormatReal(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The tool's words for each field, in the order --help lists them: the record's, except that
// the near distance comes before the far one. Ranges and codes are added from the schema.
struct FieldHelp {
  std::size_t offset;
  const char* text;
};
constexpr FieldHelp kFieldHelp[] = {
    {offsetof(StereogramSettings, NearObjectDepth),
     "separation of the nearest depth, as a fraction of the background's"},
    {offsetof(StereogramSettings, FarObjectDepth),
     "separation of the farthest depth, as a fraction of the background's"},
    {offsetof(StereogramSettings, BackgroundDepth),
     "background plane behind the image, in viewer distances"},
    {offsetof(StereogramSettings, ViewingMedium),
     "what the picture is viewed on; it sets the pixels per inch and with them every "
     "separation (the background repeats about 1.4 inches apart on the medium): "
     "14in|15in|17in|19in|21in (monitors of that diagonal showing --screen pixels), a5|a4|a3 "
     "(paper the image fills), dpi (--dpi), or the code"},
    {offsetof(StereogramSettings, CustomDpi),
     "pixels per inch of the custom medium; given without --medium it selects --medium dpi"},
    {offsetof(StereogramSettings, AutoDistance),
     "take the depth range from each frame (else from --near/--far-distance)"},
    {offsetof(StereogramSettings, NearDistance),
     "nearest scene distance from the camera; given without --auto-distance or "
     "--no-auto-distance it turns auto distance off"},
    {offsetof(StereogramSettings, FarDistance),
     "farthest scene distance from the camera; likewise turns auto distance off"},
    {offsetof(StereogramSettings, Color1), "first end of the dot colour ramp, as RRGGBB"},
    {offsetof(StereogramSettings, Color2), "second end of the dot colour ramp, as RRGGBB"},
    {offsetof(StereogramSettings, RampMode), ""},  // built from the codes, see below
    {offsetof(StereogramSettings, PutGuidePoints),
     "draw the convergence guide across rows 5 to 15"},
    {offsetof(StereogramSettings, RandomizeEachFrame),
     "seed every frame from the start time plus its frame number (or --seed), else every frame "
     "starts from seed 0"},
    {offsetof(StereogramSettings, PreventGhosting),
     "a pixel is repeated at most once per row"},
};
static_assert(sizeof kFieldHelp / sizeof kFieldHelp[0] == kSettingsFieldCount,
              "every field has an option");

std::string Range(const SettingsField& field) {
  return ShortNumber(field.minimum) + ".." + ShortNumber(field.maximum);
}

// Why a real or integer field's value is unusable: its bits and the reason; empty when it is a
// finite number within the field's range.
std::string InvalidValue(const SettingsField& field, const StereogramSettings& s) {
  return InvalidSettingValue(field, s);
}

std::string Named(const SettingsField& field) {
  return std::string(field.name) + " (--" + field.option + ")";
}

std::string HelpText(const SettingsField& field, const char* words) {
  std::string help = std::string(field.name) + ": ";
  if (field.offset == offsetof(StereogramSettings, RampMode)) {
    return help + "rgb (" + std::to_string(kRampRgb) +
           ") interpolates red, green, blue; hsv (" + std::to_string(kRampHsv) +
           ") hue, saturation, value";
  }
  help += words;
  if (field.kind == FieldKind::kCode) return help + " " + Range(field);
  // The distances' limit only keeps them finite: not worth a reader's attention.
  const bool numeric = field.kind == FieldKind::kReal || field.kind == FieldKind::kInteger;
  if (numeric && field.maximum < kDistanceLimit) help += " (" + Range(field) + ")";
  return help;
}

// An option whose value, once parsed and checked, is stored into field.
template <typename Value>
CLI::Option* AddValue(CLI::App& app, SettingsEdits& edits, const SettingsField& field,
                      const std::string& help) {
  return app.add_option_function<Value>(
      "--" + std::string(field.option),
      [&edits, &field](const Value& value) {
        const double stored = static_cast<double>(value);
        edits.edited.push_back(field.offset);
        edits.edits.push_back(
            [&field, stored](StereogramSettings& s) { SetFieldValue(s, field, stored); });
      },
      help);
}

void AddBoolean(CLI::App& app, SettingsEdits& edits, const SettingsField& field,
                const std::string& help) {
  auto setTo = [&edits, &field](double value) {
    edits.edited.push_back(field.offset);
    edits.edits.push_back(
        [&field, value](StereogramSettings& s) { SetFieldValue(s, field, value); });
  };
  const std::string name = field.option;
  CLI::Option* on = app.add_flag_callback("--" + name, [setTo] { setTo(1); }, help);
  CLI::Option* off =
      app.add_flag_callback("--no-" + name, [setTo] { setTo(0); }, "clears the field above");
  on->excludes(off);
}

// Words on the command line for the two coded fields: names or the codes themselves.
bool ParseCode(const SettingsField& field, const std::string& text, int32_t* code) {
  if (field.offset == offsetof(StereogramSettings, ViewingMedium)) return ParseMedium(text, code);
  if (text == "rgb" || text == std::to_string(kRampRgb)) *code = kRampRgb;
  else if (text == "hsv" || text == std::to_string(kRampHsv)) *code = kRampHsv;
  else return false;
  return true;
}

void AddCode(CLI::App& app, SettingsEdits& edits, const SettingsField& field,
             const std::string& help) {
  CLI::Option* option = app.add_option_function<std::string>(
      "--" + std::string(field.option),
      [&edits, &field](const std::string& text) {
        int32_t code = 0;
        ParseCode(field, text, &code);
        edits.edited.push_back(field.offset);
        edits.edits.push_back(
            [&field, code](StereogramSettings& s) { SetFieldValue(s, field, code); });
      },
      help);
  if (field.offset == offsetof(StereogramSettings, ViewingMedium)) {
    option
        ->check([](const std::string& text) {
          int32_t code;
          return ParseMedium(text, &code) ? std::string() : "unknown medium '" + text + "'";
        })
        ->type_name("MEDIUM");
  } else {
    const std::vector<std::string> words = {"rgb", "hsv", std::to_string(kRampRgb),
                                            std::to_string(kRampHsv)};
    option->check(CLI::IsMember(words))->type_name("rgb|hsv");
  }
}

std::string CodeName(const SettingsField& field, int32_t code) {
  if (field.offset == offsetof(StereogramSettings, ViewingMedium)) return MediumName(code);
  return code == kRampRgb ? "rgb" : "hsv";  // any mode but the RGB code selects the HSV ramp
}

}  // namespace

bool ParseColour(const std::string& text, uint32_t* colorref) {
  std::string hex = text;
  if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
  else if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X')) hex.erase(0, 2);
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return false;
  }
  const unsigned long rgb = std::strtoul(hex.c_str(), nullptr, 16);
  const uint32_t red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
  *colorref = red | green << 8 | blue << 16;
  return true;
}

std::string FormatColour(uint32_t colorref) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF,
                (colorref >> 16) & 0xFF);
  std::string result = text;
  if ((colorref >> 24) != 0) result += " (top byte " + std::to_string(colorref >> 24) + ")";
  return result;
}

bool ParseMedium(const std::string& text, int32_t* code) {
  for (const MediumEntry& m : kMedia) {
    if (text == m.name || text == std::to_string(m.code)) {
      *code = m.code;
      return true;
    }
  }
  return false;
}

std::string MediumName(int32_t code) {
  for (const MediumEntry& m : kMedia) {
    if (m.code == code) return m.name;
  }
  return {};
}

void AddSettingsOptions(CLI::App& app, SettingsEdits& edits) {
  const char* group = "Settings (applied over the block or the defaults)";
  const std::size_t before = app.get_options().size();
  for (const FieldHelp& entry : kFieldHelp) {
    const SettingsField& field = SettingsFieldAt(entry.offset);
    const std::string help = HelpText(field, entry.text);
    switch (field.kind) {
      case FieldKind::kReal:
        AddValue<float>(app, edits, field, help)
            ->check(NumberWithin(field.minimum, field.maximum))
            ->type_name("X");
        break;
      case FieldKind::kInteger:
        AddValue<int>(app, edits, field, help)
            ->check(NumberWithin(field.minimum, field.maximum))
            ->type_name("N");
        break;
      case FieldKind::kBoolean:
        AddBoolean(app, edits, field, help);
        break;
      case FieldKind::kColour: {
        app.add_option_function<std::string>(
               "--" + std::string(field.option),
               [&edits, &field](const std::string& text) {
                 uint32_t colour = 0;
                 ParseColour(text, &colour);
                 edits.edited.push_back(field.offset);
                 edits.edits.push_back(
                     [&field, colour](StereogramSettings& s) { SetFieldValue(s, field, colour); });
               },
               help)
            ->check([](const std::string& text) {
              uint32_t colour;
              return ParseColour(text, &colour) ? std::string() : "'" + text + "' is not RRGGBB";
            })
            ->type_name("RRGGBB");
        break;
      }
      case FieldKind::kCode:
        AddCode(app, edits, field, help);
        break;
    }
  }
  const auto options = app.get_options();
  for (std::size_t i = before; i < options.size(); ++i) options[i]->group(group);
}

std::string DescribeSettings(const StereogramSettings& s) {
  std::string text;
  for (const SettingsField& field : kSettingsFields) {
    const double value = FieldValue(s, field);
    std::string shown;
    const bool numeric = field.kind == FieldKind::kReal || field.kind == FieldKind::kInteger;
    const std::string invalid = numeric ? InvalidValue(field, s) : std::string();
    switch (field.kind) {
      case FieldKind::kReal:
        shown = FormatReal(static_cast<float>(value));
        break;
      case FieldKind::kColour:
        shown = FormatColour(static_cast<uint32_t>(value));
        break;
      case FieldKind::kCode: {
        const int32_t code = static_cast<int32_t>(value);
        const std::string name = CodeName(field, code);
        shown = std::to_string(code) + (name.empty() ? "" : " (" + name + ")");
        break;
      }
      default:
        shown = std::to_string(static_cast<int32_t>(value));
        break;
    }
    if (!invalid.empty()) shown = "invalid (" + invalid + ")";
    char head[32];
    std::snprintf(head, sizeof head, "%-20s", field.name);
    text += head + shown + "\n";
  }
  return text;
}

bool SettingsEdits::Edited(std::size_t offset) const {
  return std::find(edited.begin(), edited.end(), offset) != edited.end();
}

std::vector<std::string> SettingsEdits::Apply(StereogramSettings& settings) const {
  for (const auto& edit : edits) edit(settings);
  std::vector<std::string> warnings;
  const bool distance = Edited(offsetof(StereogramSettings, NearDistance)) ||
                        Edited(offsetof(StereogramSettings, FarDistance));
  if (distance) {
    if (!Edited(offsetof(StereogramSettings, AutoDistance))) {
      settings.AutoDistance = 0;
    } else if (settings.AutoDistance != 0) {
      warnings.push_back("--near-distance and --far-distance have no effect with --auto-distance, "
                         "which takes the depth range from each frame");
    }
  }
  if (Edited(offsetof(StereogramSettings, CustomDpi))) {
    if (!Edited(offsetof(StereogramSettings, ViewingMedium))) {
      settings.ViewingMedium = kMediumCustomDpi;
    } else if (settings.ViewingMedium != kMediumCustomDpi) {
      const std::string medium = MediumName(settings.ViewingMedium);
      warnings.push_back("--dpi has no effect with --medium " +
                         (medium.empty() ? std::to_string(settings.ViewingMedium) : medium) +
                         "; --medium dpi uses it");
    }
  }
  return warnings;
}

SettingsProblem FindUnusableField(const StereogramSettings& s) { return FindUnusableSetting(s, Named); }

int ReportUnusableSettings(const StereogramSettings& settings, const SettingsEdits& edits,
                           const std::string& block, const std::string& command,
                           const std::string& after) {
  const SettingsProblem problem = FindUnusableField(settings);
  if (problem.fields.empty()) return 0;
  const bool fromOptions = std::any_of(problem.fields.begin(), problem.fields.end(),
                                       [&edits](std::size_t f) { return edits.Edited(f); });
  if (fromOptions || block.empty()) {
    return UsageError(problem.text + ": the settings cannot make a picture" + after, command);
  }
  Report(block + ": " + problem.text + ": this block cannot make a picture" + after);
  return kFailed;
}

StereogramSettings ReadSettingsBlock(const std::string& path) {
  const std::vector<uint8_t> bytes = io::ReadSmallFile(path, kSettingsSize);
  if (bytes.size() != kSettingsSize) {
    throw io::IoError(path, "settings block is " +
                                (bytes.size() > kSettingsSize ? std::string("more than 56")
                                                              : std::to_string(bytes.size())) +
                                " bytes, not 56");
  }
  StereogramSettings settings;
  LoadSettings(settings, bytes.data());
  return settings;
}

void WriteSettingsBlock(const std::string& path, const StereogramSettings& settings) {
  io::OutputFile out(path);
  unsigned char block[kSettingsSize];
  SaveSettings(settings, block);
  if (std::fwrite(block, 1, sizeof block, out.Stream()) != sizeof block) {
    throw io::IoError(path, "cannot write");
  }
  out.Commit();
}

}  // namespace zavol::cli
