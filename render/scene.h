// A built-in depth scene (a sphere in front of a tilted plane, over background) for the demo,
// the benchmarks and the tests. Portable; the same bits on every platform.
#pragma once

#include <vector>

#include "render/background.h"

namespace zavol {

// Depth of the scene's background: far beyond the scan's background threshold.
constexpr float kDemoBackgroundDepth = kEmptyDepth;

// width x height depths, row-major, in the engine's convention: negative in front of the camera,
// larger (closer to 0) is nearer. The plane rises from the lower edge toward the middle and
// leans to the right; the sphere sits above and right of the centre, nearer than the plane.
// Empty for a size of 0 or less.
std::vector<float> MakeDemoScene(int width, int height);

// Frame number frame of the scene in motion: shifted left by kDemoScenePixelsPerFrame pixels a
// frame, what leaves at the left edge coming back at the right.
constexpr int kDemoScenePixelsPerFrame = 8;
std::vector<float> MakeDemoSceneFrame(int width, int height, int frame);

}  // namespace zavol
