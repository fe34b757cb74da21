// The settings record on the command line: one option per field, applied over a block or the
// defaults, and the fields printed by name. Depends on CLI11 and the settings record only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "render/frame_checks.h"
#include "render/settings.h"

namespace CLI {
class App;
}

namespace zavol::cli {

// Edits collected while parsing, applied in the order given.
struct SettingsEdits {
  std::vector<std::function<void(StereogramSettings&)>> edits;
  std::vector<std::size_t> edited;  // offsets of the fields the options set

  bool Edited(std::size_t offset) const;
  // Applies the edits, then what they imply where the intent is plain: a near or far distance
  // given without --auto-distance/--no-auto-distance turns auto distance off, a dpi given
  // without --medium selects the custom medium. Returns a warning for each option the settings
  // then leave without effect (a distance with --auto-distance, a dpi with another medium).
  std::vector<std::string> Apply(StereogramSettings& settings) const;
};

// Adds --near-object-depth ... --prevent-ghosting/--no-prevent-ghosting to app.
void AddSettingsOptions(CLI::App& app, SettingsEdits& edits);

// "rrggbb"/"RRGGBB", optionally after '#' or "0x", to a COLORREF (red in the low byte).
bool ParseColour(const std::string& text, uint32_t* colorref);
std::string FormatColour(uint32_t colorref);

// A medium name (14in, 15in, 17in, 19in, 21in, a5, a4, a3, dpi) or its code 1000..1008.
bool ParseMedium(const std::string& text, int32_t* code);
// The name of a code; empty for a code without one.
std::string MediumName(int32_t code);

// The fourteen fields, one per line: name, value, and a word for coded values. A real that is
// not a finite number within its field's range, or a dpi outside its range, shows as
// "invalid (0x7fc00000: not a number)" with its bits.
std::string DescribeSettings(const StereogramSettings& settings);

// The first field whose value keeps the engine from making a picture
// (render/frame_checks.h), named with its option: "BackgroundDepth (--background-depth)".
using zavol::SettingsProblem;
SettingsProblem FindUnusableField(const StereogramSettings& settings);

// Reports what FindUnusableField finds: a usage error when an option set one of the fields
// (or there is no block), else the fault of block. after ends the line. Returns 0 when the
// settings can make a picture, else the exit code.
int ReportUnusableSettings(const StereogramSettings& settings, const SettingsEdits& edits,
                           const std::string& block, const std::string& command,
                           const std::string& after = "");

// A 56-byte block from a file / into a file (under a temporary name). Throw io::IoError.
StereogramSettings ReadSettingsBlock(const std::string& path);
void WriteSettingsBlock(const std::string& path, const StereogramSettings& settings);

}  // namespace zavol::cli
