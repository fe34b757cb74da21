// The zavol command-line tool: renders depth files into stereogram images with the plug-in's
// engine. This file only parses the command line, explains what it cannot parse and dispatches
// to the subcommands (cli/commands.h). Native only.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/reference.h"
#include "cli/tool.h"
#include "render/version.h"

namespace {

using zavol::cli::Command;
using zavol::cli::UsageError;

std::vector<std::string> CommandNames(const std::vector<Command>& commands) {
  std::vector<std::string> names;
  for (const Command& c : commands) names.push_back(c.app->get_name());
  names.push_back("help");
  return names;
}

std::string List(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  }
  return text;
}

const Command* Given(const std::vector<Command>& commands) {
  for (const Command& c : commands) {
    if (c.app->parsed()) return &c;
  }
  return nullptr;
}

bool LooksLikeOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// The option names of a subcommand as they are typed: --long and -s.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

int UnknownCommand(const std::string& word, const std::vector<Command>& commands) {
  const std::vector<std::string> names = CommandNames(commands);
  const std::string guess = zavol::cli::Closest(word, names);
  return UsageError("unknown command '" + word + "'; " +
                    (guess.empty() ? "the commands are " + List(names) : "did you mean " + guess + "?"));
}

// What the parser left over, explained: an option before the command, an unknown command, or
// an unknown option of the command with the nearest of its options. 0 when nothing was left.
int ExplainLeftovers(const CLI::App& app, const std::vector<Command>& commands) {
  const Command* command = Given(commands);
  const std::vector<std::string> top = app.remaining();
  if (!top.empty()) {
    if (!LooksLikeOption(top[0])) return UnknownCommand(top[0], commands);
    if (command == nullptr) {
      return UsageError("options go after a command (" + List(CommandNames(commands)) +
                        "), not before it: '" + top[0] + "'");
    }
    std::string moved = "zavol " + command->app->get_name();
    for (const std::string& word : top) moved += " " + word;
    return UsageError("options go after the command: " + moved + " ...", command->app->get_name());
  }
  if (command == nullptr) return 0;
  const std::string name = command->app->get_name();
  const std::vector<std::string> rest = command->app->remaining();
  for (const std::string& word : rest) {
    if (!LooksLikeOption(word)) continue;
    const std::string option = word.substr(0, word.find('='));
    const std::string guess = zavol::cli::Closest(option, OptionNames(*command->app));
    return UsageError(name + ": unknown option " + option +
                          (guess.empty() ? "" : "; did you mean " + guess + "?"),
                      name);
  }
  if (!rest.empty()) return UsageError(name + ": unexpected argument '" + rest[0] + "'", name);
  return 0;
}

int ShowHelp(const CLI::App& app, const std::vector<Command>& commands, const std::string& topic) {
  if (topic.empty()) {
    // App::help would describe the help command itself, the one that was given.
    std::fputs(app.get_formatter()->make_help(&app, "zavol", CLI::AppFormatMode::Normal).c_str(), stdout);
    return 0;
  }
  for (const Command& c : commands) {
    if (c.app->get_name() == topic) {
      std::fputs(c.app->help("zavol").c_str(), stdout);
      return 0;
    }
  }
  return UnknownCommand(topic, commands);
}

int Run(int argc, char** argv) {
  CLI::App app{
      "zavol renders depth maps into random-dot autostereograms with the same engine as the\n"
      "zavol.dlf plug-in: identical pixels for identical depth and settings."};
  app.set_version_flag("--version", "zavol " ZAVOL_VERSION_TEXT);
  app.require_subcommand(0, 1);
  app.allow_extras();  // explained by ExplainLeftovers, with suggestions
  app.footer("Exit codes: 0 done, 1 a bad input file or a failed frame, 2 a usage error, 128+N "
             "stopped by signal N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n"
             "'zavol help COMMAND' shows a command's options; 'man zavol-COMMAND' explains "
             "them.");

  const std::vector<Command> commands = {
      zavol::cli::AddRenderCommand(app), zavol::cli::AddDemoCommand(app),
      zavol::cli::AddSettingsCommand(app), zavol::cli::AddSceneCommand(app),
      zavol::cli::AddDecodeCommand(app)};
  for (const Command& c : commands) c.app->allow_extras();
  std::string helpTopic;
  CLI::App* help = app.add_subcommand("help", "Show the commands, or the options of one");
  help->add_option("COMMAND", helpTopic, "The command to show the options of");
  // Hidden: the build writes the man pages and completions from these same definitions.
  std::string referenceFolder;
  CLI::App* reference = app.add_subcommand(zavol::cli::kReferenceCommand, "")->group("");
  reference->add_option("FOLDER", referenceFolder)->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    // A misspelt option often leaves a required one unfilled: the misspelling is the news.
    if (const int code = ExplainLeftovers(app, commands); code != 0) return code;
    const Command* command = Given(commands);
    return UsageError(e.what(), command != nullptr ? command->app->get_name() : "");
  }
  if (const int code = ExplainLeftovers(app, commands); code != 0) return code;
  if (help->parsed()) return ShowHelp(app, commands, helpTopic);
  if (reference->parsed()) {
    const std::string failure = zavol::cli::WriteReference(app, "zavol", ZAVOL_VERSION_TEXT, referenceFolder);
    if (failure.empty()) return 0;
    zavol::cli::Report(failure);
    return zavol::cli::kFailed;
  }
  if (const Command* command = Given(commands)) {
    zavol::cli::CatchStopSignals();
    return command->run();
  }
  return UsageError("a subcommand is required: " + List(CommandNames(commands)));
}

}  // namespace

// The last catch: whatever a command did not turn into a message of its own (memory that could
// not be had, above all) ends the tool with one line and exit code 1, and unwinding on the way
// removes any output still under its temporary name.
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zavol: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zavol: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "zavol: failed for an unknown reason\n");
  }
  return 1;
}
