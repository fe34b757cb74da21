// What the numbers of a depth buffer mean, and their conversion into the engine's convention
// (negative in front of the camera, nearer is closer to 0, background far below). Shared by the
// depth readers and the library interface. Portable; header only, nothing to link.
#pragma once

#include <cmath>
#include <cstddef>

#include "render/background.h"

namespace zavol {

//   host:      already in the engine's convention; taken as they are.
//   distance:  distance from the camera, d > 0: depth -d. Not finite, <= 0, or at/above the far
//              cutoff: background.
//   disparity: bigger is nearer; distance is proportional to 1/disparity, so depth -1/p for
//              p > 0. Not finite or <= 0: background.
//   height:    0..1, 1 nearest (white in a height map): depth h - 1, heights above 1 count as 1.
//              Not finite or <= 0 (black): background.
//   mist:      0 nearest .. 1 farthest: depth -m. Not finite, < 0, or >= 1 (the mist's far end,
//              where empty sky lands): background.
enum class DepthKind { kHost, kDistance, kDisparity, kHeight, kMist };

// One sample of the given kind into the engine's convention. farCutoff applies to distances.
inline float ToEngineDepth(DepthKind kind, float value, float farCutoff) {
  const bool finite = std::isfinite(value);
  switch (kind) {
    case DepthKind::kHost:
      return value;
    case DepthKind::kDistance:
      return finite && value > 0.0f && value < farCutoff ? -value : kEmptyDepth;
    case DepthKind::kDisparity:
      return finite && value > 0.0f ? -1.0f / value : kEmptyDepth;
    case DepthKind::kHeight:
      return finite && value > 0.0f ? (value < 1.0f ? value : 1.0f) - 1.0f : kEmptyDepth;
    case DepthKind::kMist:
      return finite && value >= 0.0f && value < 1.0f ? -value : kEmptyDepth;
  }
  return kEmptyDepth;
}

// count samples in place.
inline void ConvertDepth(float* values, std::size_t count, DepthKind kind, float farCutoff) {
  if (kind == DepthKind::kHost) return;
  for (std::size_t i = 0; i < count; ++i) values[i] = ToEngineDepth(kind, values[i], farCutoff);
}

}  // namespace zavol
