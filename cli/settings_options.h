// The settings record on the command line: one option per field, applied over a block or the
// defaults, and the fields printed by name. Depends on CLI11 and the settings record only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "render/settings.h"

namespace CLI {
class App;
}

namespace zavol::cli {

// Edits collected while parsing, applied in the order given.
struct SettingsEdits {
  std::vector<std::function<void(StereogramSettings&)>> edits;
  void Apply(StereogramSettings& settings) const {
    for (const auto& edit : edits) edit(settings);
  }
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

// The fourteen fields, one per line: name, value, and a word for coded values.
std::string DescribeSettings(const StereogramSettings& settings);

// A 56-byte block from a file / into a file (under a temporary name). Throw io::IoError.
StereogramSettings ReadSettingsBlock(const std::string& path);
void WriteSettingsBlock(const std::string& path, const StereogramSettings& settings);

}  // namespace zavol::cli
