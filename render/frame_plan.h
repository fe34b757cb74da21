// Everything a frame needs before its first row, worked out once: its size and depth rows, the
// viewing geometry, the depth range, the rule from depth to separation, the seed of its dots and
// where the guide goes. The row builders, the thread scheduler, the decoder's meter, the tool's
// warnings and its --verbose line all read the plan instead of working it out again.
#pragma once

#include <cstdint>

#include "render/depth_levels.h"
#include "render/frame.h"
#include "render/geometry.h"
#include "render/guide.h"
#include "render/settings.h"

namespace zavol {

struct FramePlan {
  DepthView depth;  // sides at least 0, rowStride at least the width
  ViewingGeometry geometry;
  DepthRange range;  // farthestDepth is what the debug line shows
  SeparationRule rule;
  uint32_t seed;  // the frame's first generator state
  GuidePlan guide;
  bool preventGhosting;
  // The depth's farthest level, when the depth scan counted it (asked for, and the range
  // scanned); the frame checks count it themselves otherwise.
  bool levelKnown = false;
  FarthestLevel level;

  int width() const { return depth.width; }
  int height() const { return depth.height; }
  const float* DepthRow(int y) const { return depth.values + y * depth.rowStride; }
};

// The seed a frame's dots start from: the supplied one (the host's calendar time, the caller's
// seed) when the settings ask for a new pattern each frame, else 0.
inline uint32_t FrameSeed(const StereogramSettings& settings, uint32_t supplied) {
  return settings.RandomizeEachFrame != 0 ? supplied : 0u;
}

// The plan of settings over depth (values may be null only when there is nothing to scan) for a
// screen of the given size. A negative side is an empty frame; a stride below the width is the
// width. The depth range is scanned on up to scanThreads threads (the same result on any count);
// with countLevels the scan also counts the farthest level, for the frame checks.
FramePlan PlanFrame(const StereogramSettings& settings, const DepthView& depth, int screenWidth,
                    int screenHeight, uint32_t suppliedSeed, int scanThreads = 1,
                    bool countLevels = false);

}  // namespace zavol
