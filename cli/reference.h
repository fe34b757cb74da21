// The tool's reference pages and shell completions, written from the parsed command-line
// definitions themselves, so that an option added to a command appears in the manual and in
// every shell's completion without editing them. Depends on CLI11.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace zavol::cli {

// The name of the hidden command the build runs to write the reference: zavol NAME FOLDER.
constexpr const char* kReferenceCommand = "write-reference";

// Writes into folder (which must exist): zavol.1 and zavol-COMMAND.1 for each command that is
// not hidden (roff man pages), zavol.bash, _zavol (zsh) and zavol.fish. program is the tool's
// name ("zavol"); version its version text. Returns an empty string, or what failed.
std::string WriteReference(const CLI::App& app, const std::string& program, const std::string& version,
                           const std::string& folder);

}  // namespace zavol::cli
