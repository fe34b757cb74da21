// Renders a frame through the engine with a host that behaves as the stand-in host does towards
// a filter: a 1024 x 768 screen, pattern pixels read only inside the pattern (a refused read
// keeps the slot), runs clipped to the image, the stand-in's HSV conversions. The reference side
// of the cross checks between the engine and the plug-in. Portable: engine and standard library.
#pragma once

#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "shell/frame_host.h"
#include "tests/recording_host.h"

namespace zavoltest {

constexpr int kHostScreenWidth = 1024;  // what Wine's null display reports
constexpr int kHostScreenHeight = 768;

struct ReferenceFrame {
  int result = -1;
  std::vector<zavol::Pixel64> pixels;  // row-major, the frame after rendering
  bool debugLinePrinted = false;
  double debugValue = 0.0;
  int rowsOffered = 0;  // progress reports
};

// depth: width x height values (empty for a frame without depth); pattern: patternWidth x
// patternHeight pixels, or null; initial: the frame's pixels before rendering.
inline ReferenceFrame RenderReference(const StereogramSettings& settings, int width, int height,
                                      const std::vector<float>& depth,
                                      const std::vector<zavol::Pixel64>* pattern,
                                      int patternWidth, int patternHeight,
                                      zavol::Pixel64 initial, int stopAtRow = -1) {
  FlatHost host(width, height, depth, initial);
  host.nullDepth = depth.empty();
  host.screenWidth = kHostScreenWidth;
  host.screenHeight = kHostScreenHeight;
  host.calendarTime = 0;  // scenes render with RandomizeEachFrame 0
  host.abortAtRow = stopAtRow;
  if (pattern != nullptr) {
    host.hasPattern = true;
    host.pattern = *pattern;
    host.patternWidth = patternWidth;
    host.patternHeight = patternHeight;
  }
  ReferenceFrame frame;
  frame.result = zavol::RenderStereogram(settings, host);
  frame.pixels = std::move(host.canvas);
  frame.debugLinePrinted = !host.debugLines.empty();
  frame.debugValue = frame.debugLinePrinted ? host.debugLines.back() : 0.0;
  frame.rowsOffered = host.progressReports;
  return frame;
}

}  // namespace zavoltest
