// What every row builder reads from the host before the first row: the frame's size, the
// depth's row step, the viewing geometry, the depth range and the rule from depth to separation.
// Engine-internal; portable, the host reached only through FrameHost.
#pragma once

#include <algorithm>
#include <cstddef>

#include "render/frame.h"
#include "render/geometry.h"

namespace zavol {

struct FrameSetup {
  int width;
  int height;
  std::size_t depthStride;
  ViewingGeometry geometry;
  DepthRange range;
  SeparationRule rule;
};

// depth is the host's depth channel (not null). The host is asked for its height, width and
// screen in this order, as the plug-in has always asked.
inline FrameSetup ReadFrameSetup(const StereogramSettings& settings, FrameHost& host,
                                 const float* depth, std::size_t depthRowStride) {
  // A negative size from the host is an empty frame.
  const int height = std::max(host.Height(), 0);
  const int width = std::max(host.Width(), 0);
  const std::size_t depthStride = std::max(depthRowStride, static_cast<std::size_t>(width));
  int screenWidth = 0, screenHeight = 0;
  host.ScreenSize(&screenWidth, &screenHeight);
  const ViewingGeometry geometry =
      ComputeGeometry(settings, width, height, screenWidth, screenHeight);
  const DepthRange range = FrameDepthRange(settings, depth, static_cast<std::size_t>(width),
                                           static_cast<std::size_t>(height), depthStride);
  return FrameSetup{width, height, depthStride, geometry, range, SeparationRule(geometry, range)};
}

}  // namespace zavol
