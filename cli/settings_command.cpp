// `zavol settings`: a 56-byte settings block (or the defaults) printed by field, edited by the
// field options, written as a block. Depends on the tool's other pieces and zavol_io.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/settings_options.h"
#include "cli/tool.h"
#include "io/error.h"
#include "render/field_table.h"

namespace zavol::cli {
namespace {

struct SettingsCommandOptions {
  std::string from, output;
  bool fields = false;
  SettingsEdits edits;
};

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// Every field of the table, one row each, as a Markdown table: what every face offers.
std::string DescribeFields() {
  static const char* const kTypes[] = {"real", "integer", "boolean", "colour", "choice"};
  static const char* const kPlaces[] = {"settings block", "frame option", "depth input"};
  std::string text =
      "| Name | Tool option | Where | Type | Range or words | Default | What it does |\n"
      "|---|---|---|---|---|---|---|\n";
  for (std::size_t i = 0; i < FieldCount(); ++i) {
    const FieldInfo& f = FieldAt(i);
    std::string range, fallback = Number(f.defaultValue);
    if (f.type == FieldType::kChoice) {
      for (int c = 0; c < f.choiceCount; ++c) {
        range += (c ? ", " : "") + std::string(f.choiceWords[c]) + " (" +
                 std::to_string(f.choiceValues[c]) + ")";
      }
      if (const char* word = ChoiceWord(f, f.defaultValue)) fallback = word;
    } else if (f.type == FieldType::kBoolean) {
      range = "0, 1";
    } else if (f.type == FieldType::kColour) {
      char colour[16];
      std::snprintf(colour, sizeof colour, "%06X", static_cast<unsigned>(f.defaultValue));
      range = "RRGGBB";
      fallback = colour;
    } else {
      range = Number(f.minimum) + " to " + Number(f.maximum);
    }
    text += "| `" + std::string(f.name) + "` | `--" + f.option + "` | " +
            kPlaces[static_cast<int>(f.place)] + " | " + kTypes[static_cast<int>(f.type)] + " | " +
            range + " | " + fallback + " | " + f.description + " |\n";
  }
  return text;
}

int RunSettings(const SettingsCommandOptions& o) {
  if (o.fields) {
    std::fputs(DescribeFields().c_str(), stdout);
    return 0;
  }
  StereogramSettings settings;
  try {
    settings = o.from.empty() ? DefaultSettings() : ReadSettingsBlock(o.from);
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  const std::vector<std::string> warnings = o.edits.Apply(settings);
  // The fields are shown whatever they hold: this is how a damaged block is looked into. A
  // block written to standard output leaves the description to standard error.
  FILE* text = o.output == "-" ? stderr : stdout;
  std::fputs(DescribeSettings(settings).c_str(), text);
  std::fflush(text);
  for (const std::string& warning : warnings) Warn(warning);
  const std::string unwritten = o.output.empty() ? "" : "; " + o.output + " not written";
  if (const int code = ReportUnusableSettings(settings, o.edits, o.from, "settings", unwritten)) {
    return code;
  }
  try {
    if (!o.output.empty()) WriteSettingsBlock(o.output, settings);
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  return 0;
}

}  // namespace

Command AddSettingsCommand(CLI::App& app) {
  auto o = std::make_shared<SettingsCommandOptions>();
  CLI::App* settings = app.add_subcommand(
      "settings", "Print the fourteen fields of a 56-byte settings block by name, edit them, "
                  "write a block");
  settings->add_option("--from,--settings", o->from,
                       "Block to start from (default: the record's defaults)")
      ->type_name("BLOCK");
  settings->add_option("-o,--output", o->output,
                       "Write the edited block (not when its values cannot make a picture); - for "
                       "standard output, the fields then going to standard error")
      ->type_name("BLOCK");
  settings->add_flag("--fields", o->fields,
                     "List every field a face of zavol offers (the block's, the frame's options "
                     "and the depth's inputs) with its names, range, default and meaning, as a "
                     "Markdown table, and do nothing else");
  AddSettingsOptions(*settings, o->edits);
  return {settings, [o] { return RunSettings(*o); }};
}

}  // namespace zavol::cli
