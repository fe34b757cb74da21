// The viewing options beyond the plug-in on the command line: --dots, --dot-size, --anchor,
// --view, --oversample and --linking, for `zavol render`, `zavol demo` and `zavol decode`
// (which replays the links they make). Depends on CLI11 and the engine's options only.
#pragma once

#include <string>

#include "render/view_options.h"

namespace CLI {
class App;
}

namespace zavol::cli {

// The words as given; empty for an option not given.
struct ViewFlags {
  std::string dots, anchor, view, linking;
  int dotSize = 1, oversample = 1;

  ViewOptions Options() const;
};

void AddViewFlags(CLI::App& app, ViewFlags& flags);

}  // namespace zavol::cli
