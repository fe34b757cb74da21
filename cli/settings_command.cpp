// `zavol settings`: a 56-byte settings block (or the defaults) printed by field, edited by the
// field options, written as a block. Depends on the tool's other pieces and zavol_io.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/settings_options.h"
#include "cli/tool.h"
#include "io/error.h"

namespace zavol::cli {
namespace {

struct SettingsCommandOptions {
  std::string from, output;
  SettingsEdits edits;
};

int RunSettings(const SettingsCommandOptions& o) {
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
  AddSettingsOptions(*settings, o->edits);
  return {settings, [o] { return RunSettings(*o); }};
}

}  // namespace zavol::cli
