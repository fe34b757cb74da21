// The tool's subcommands. Each adds itself, with its options, to the application and returns
// what runs it once the command line is parsed; main() only parses and dispatches, so a command
// or an option is added in its own file. Depends on CLI11.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace zavol::cli {

struct Command {
  CLI::App* app;             // the subcommand, to know whether it was given and for its help
  std::function<int()> run;  // returns the exit code
};

Command AddRenderCommand(CLI::App& app);    // render_command.cpp
Command AddDemoCommand(CLI::App& app);      // scene_commands.cpp
Command AddSettingsCommand(CLI::App& app);  // settings_command.cpp
Command AddSceneCommand(CLI::App& app);     // scene_commands.cpp
Command AddDecodeCommand(CLI::App& app);    // decode_command.cpp

}  // namespace zavol::cli
