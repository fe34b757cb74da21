// Settings fields as command-line options and as text.
#include "cli/settings_options.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <cstring>

#include "io/error.h"
#include "io/formats.h"

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

// A real option limited to the setup dialog's range for that field.
void AddReal(CLI::App& app, SettingsEdits& edits, const char* name, float StereogramSettings::*field,
             double low, double high, const std::string& help) {
  app.add_option_function<float>(
         name, [&edits, field](const float& value) {
           edits.edits.push_back([field, value](StereogramSettings& s) { s.*field = value; });
         },
         help)
      ->check(CLI::Range(low, high))
      ->type_name("X");
}

void AddBoolean(CLI::App& app, SettingsEdits& edits, const std::string& name,
                int32_t StereogramSettings::*field, const std::string& help) {
  CLI::Option* on = app.add_flag_callback(
      "--" + name,
      [&edits, field] { edits.edits.push_back([field](StereogramSettings& s) { s.*field = 1; }); },
      help);
  CLI::Option* off = app.add_flag_callback(
      "--no-" + name,
      [&edits, field] { edits.edits.push_back([field](StereogramSettings& s) { s.*field = 0; }); },
      "clears the field above");
  on->excludes(off);
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
  AddReal(app, edits, "--near-object-depth", &StereogramSettings::NearObjectDepth, 0, 1,
          "NearObjectDepth: separation of the nearest depth, as a fraction of the background's (0..1)");
  AddReal(app, edits, "--far-object-depth", &StereogramSettings::FarObjectDepth, 0, 1,
          "FarObjectDepth: separation of the farthest depth, as a fraction of the background's (0..1)");
  AddReal(app, edits, "--background-depth", &StereogramSettings::BackgroundDepth, 0, 100,
          "BackgroundDepth: background plane behind the image, in viewer distances (0..100)");
  app.add_option_function<std::string>(
         "--medium",
         [&edits](const std::string& text) {
           int32_t code = 0;
           ParseMedium(text, &code);
           edits.edits.push_back([code](StereogramSettings& s) { s.ViewingMedium = code; });
         },
         "ViewingMedium: 14in|15in|17in|19in|21in (monitors, with --screen), a5|a4|a3 (paper, "
         "the image fills the sheet), dpi (--dpi), or the code 1000..1008")
      ->check([](const std::string& text) {
        int32_t code;
        return ParseMedium(text, &code) ? std::string() : "unknown medium '" + text + "'";
      })
      ->type_name("MEDIUM");
  app.add_option_function<int>(
         "--dpi",
         [&edits](const int& dpi) {
           edits.edits.push_back([dpi](StereogramSettings& s) { s.CustomDpi = dpi; });
         },
         "CustomDpi: pixels per inch for --medium dpi (1..2400)")
      ->check(CLI::Range(1, 2400))
      ->type_name("N");
  AddBoolean(app, edits, "auto-distance", &StereogramSettings::AutoDistance,
             "AutoDistance: take the depth range from each frame (else --near/--far-distance)");
  AddReal(app, edits, "--near-distance", &StereogramSettings::NearDistance, 0, 1e30,
          "NearDistance: nearest scene distance from the camera, without auto distance");
  AddReal(app, edits, "--far-distance", &StereogramSettings::FarDistance, 0, 1e30,
          "FarDistance: farthest scene distance from the camera, without auto distance");
  for (int which = 1; which <= 2; ++which) {
    uint32_t StereogramSettings::*field = which == 1 ? &StereogramSettings::Color1
                                                     : &StereogramSettings::Color2;
    app.add_option_function<std::string>(
           "--color" + std::to_string(which),
           [&edits, field](const std::string& text) {
             uint32_t colour = 0;
             ParseColour(text, &colour);
             edits.edits.push_back([field, colour](StereogramSettings& s) { s.*field = colour; });
           },
           std::string("Color") + std::to_string(which) + ": " +
               (which == 1 ? "first" : "second") + " end of the dot colour ramp, as RRGGBB")
        ->check([](const std::string& text) {
          uint32_t colour;
          return ParseColour(text, &colour) ? std::string() : "'" + text + "' is not RRGGBB";
        })
        ->type_name("RRGGBB");
  }
  app.add_option_function<std::string>(
         "--ramp",
         [&edits](const std::string& text) {
           const int32_t mode = text == "rgb" || text == "1023" ? kRampRgb : kRampHsv;
           edits.edits.push_back([mode](StereogramSettings& s) { s.RampMode = mode; });
         },
         "RampMode: rgb (1023) interpolates red, green, blue; hsv (1024) hue, saturation, value")
      ->check(CLI::IsMember({"rgb", "hsv", "1023", "1024"}))
      ->type_name("rgb|hsv");
  AddBoolean(app, edits, "guide", &StereogramSettings::PutGuidePoints,
             "PutGuidePoints: draw the convergence guide across rows 5 to 15");
  AddBoolean(app, edits, "randomize", &StereogramSettings::RandomizeEachFrame,
             "RandomizeEachFrame: seed every frame from the start time plus its frame number "
             "(or --seed), else every frame starts from seed 0");
  AddBoolean(app, edits, "prevent-ghosting", &StereogramSettings::PreventGhosting,
             "PreventGhosting: a pixel is repeated at most once per row");
  const auto options = app.get_options();
  for (std::size_t i = before; i < options.size(); ++i) options[i]->group(group);
}

std::string DescribeSettings(const StereogramSettings& s) {
  std::string text;
  auto line = [&text](const char* name, const std::string& value) {
    char head[32];
    std::snprintf(head, sizeof head, "%-20s", name);
    text += head + value + "\n";
  };
  auto coded = [](int32_t code, const std::string& name) {
    return std::to_string(code) + (name.empty() ? "" : " (" + name + ")");
  };
  line("NearObjectDepth", FormatReal(s.NearObjectDepth));
  line("FarObjectDepth", FormatReal(s.FarObjectDepth));
  line("BackgroundDepth", FormatReal(s.BackgroundDepth));
  line("ViewingMedium", coded(s.ViewingMedium, MediumName(s.ViewingMedium)));
  line("CustomDpi", std::to_string(s.CustomDpi));
  line("AutoDistance", std::to_string(s.AutoDistance));
  line("FarDistance", FormatReal(s.FarDistance));
  line("NearDistance", FormatReal(s.NearDistance));
  line("Color1", FormatColour(s.Color1));
  line("Color2", FormatColour(s.Color2));
  // Any mode but the RGB code selects the HSV ramp.
  line("RampMode", coded(s.RampMode, s.RampMode == kRampRgb ? "rgb" : "hsv"));
  line("PutGuidePoints", std::to_string(s.PutGuidePoints));
  line("RandomizeEachFrame", std::to_string(s.RandomizeEachFrame));
  line("PreventGhosting", std::to_string(s.PreventGhosting));
  return text;
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
