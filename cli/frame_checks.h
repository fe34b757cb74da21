// What the tool works out about a frame before rendering it, with the engine's own geometry
// functions so that the numbers are the ones the frame is rendered with: the --verbose report,
// the warnings about pictures that cannot be seen in relief, and the dpi --fit chooses.
// Depends on the engine's geometry and the depth map type only.
#pragma once

#include <string>

#include "io/depth_map.h"
#include "render/settings.h"

namespace zavol::cli {

// --fit makes the background repeat this fraction of the width: 1/8, enough repeats to fuse
// easily and deep enough for the relief to show.
constexpr int kFitRepeats = 8;

// Fewer background repeats than this across the width are hard or impossible to fuse.
constexpr double kFewestRepeats = 3.0;

// The dpi (custom medium) at which the background repeat is width / kFitRepeats, within the
// dpi field's range.
int FitDpi(const StereogramSettings& settings, int width);

// A quick look at a frame's depth: whether any pixel lies in front of the background (scene
// depth: above the background threshold and not behind the camera), and whether the scene
// depths differ. It stops at the second distinct scene depth, so on most frames it reads a few
// rows; the engine's own scan of the range would read the whole frame once more.
struct DepthSpread {
  bool scene = false;
  bool varied = false;
};
DepthSpread LookAtDepth(const io::DepthMap& depth);

// The frame's geometry as the engine computes it: the medium's resolution, the depth range
// used (scanned or from the distances), the separations of the nearest and farthest depths and
// of the background. One line, for --verbose.
std::string DescribeGeometry(const StereogramSettings& settings, const io::DepthMap& depth,
                             int screenWidth, int screenHeight);

// One line each (through WarnOnce) when the frame renders but cannot be fused as set up:
// fewer than kFewestRepeats background repeats across the width, near and far separations
// equal, or the farthest flat level of the depth at the background's separation (it merges
// with the background); each names the option that would fix it. name names the frame.
void WarnIfUnfusable(const std::string& name, const StereogramSettings& settings,
                     const io::DepthMap& depth, const DepthSpread& spread, int screenWidth,
                     int screenHeight);

}  // namespace zavol::cli
