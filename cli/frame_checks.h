// What the tool works out about a frame before rendering it, in the tool's words: the --verbose
// report and the warnings about pictures that cannot be seen in relief. The checks themselves
// (and the dpi --fit chooses) are render/frame_checks.h, shared with the library and Python.
// Depends on the engine's frame plan and the depth map type only.
#pragma once

#include <string>

#include "io/depth_map.h"
#include "render/frame_checks.h"
#include "render/frame_plan.h"
#include "render/settings.h"

namespace zavol::cli {

using zavol::DepthSpread;
using zavol::FitDpi;
using zavol::kFewestRepeats;
using zavol::kFitRepeats;

DepthSpread LookAtDepth(const io::DepthMap& depth);

// The frame's geometry from the plan it renders from: the medium's resolution, the depth range
// used (scanned or from the distances), the separations of the nearest and farthest depths and
// of the background. One line, for --verbose.
std::string DescribeGeometry(const StereogramSettings& settings, const FramePlan& plan,
                             const DepthSpread& spread, int screenWidth, int screenHeight);

// One line each (through WarnOnce) when the frame renders but cannot be fused as set up:
// fewer than kFewestRepeats background repeats across the width, near and far separations
// equal, or the farthest flat level of the depth at the background's separation (it merges
// with the background); each names the option that would fix it. name names the frame.
void WarnIfUnfusable(const std::string& name, const StereogramSettings& settings,
                     const FramePlan& plan, const DepthSpread& spread);

}  // namespace zavol::cli
