// Depth maps in the engine's convention and the conversions into it from what renderers write.
// Depends on the standard library and render/'s background markers only.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/large_buffer.h"
#include "render/background.h"

namespace zavol::io {

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

// The engine's depth convention: negative in front of the camera, nearer is closer to 0, and
// background pixels hold kBackgroundDepth, far below the engine's background threshold.
constexpr float kBackgroundDepth = kEmptyDepth;

// Largest side a frame may have: the host's bitmaps count pixels in 16 bits.
constexpr int64_t kMaxSide = 65535;

// What the numbers of a depth file mean.
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

std::optional<DepthKind> ParseDepthKind(const std::string& name);
const char* DepthKindName(DepthKind kind);

// The depth file formats the readers know.
enum class DepthFormat { kUnknown, kPfm, kPng, kExr };

struct DepthMap {
  int width = 0;
  int height = 0;
  LargeVector<float> depth;  // width * height, row-major, row 0 at the top
  // What the reader read, and what it took the numbers to mean.
  DepthFormat format = DepthFormat::kUnknown;
  DepthKind kind = DepthKind::kHost;
};

// One sample of the given kind into the engine's convention. farCutoff applies to distances.
inline float ToEngineDepth(DepthKind kind, float value, float farCutoff) {
  const bool finite = std::isfinite(value);
  switch (kind) {
    case DepthKind::kHost:
      return value;
    case DepthKind::kDistance:
      return finite && value > 0.0f && value < farCutoff ? -value : kBackgroundDepth;
    case DepthKind::kDisparity:
      return finite && value > 0.0f ? -1.0f / value : kBackgroundDepth;
    case DepthKind::kHeight:
      return finite && value > 0.0f ? (value < 1.0f ? value : 1.0f) - 1.0f : kBackgroundDepth;
    case DepthKind::kMist:
      return finite && value >= 0.0f && value < 1.0f ? -value : kBackgroundDepth;
  }
  return kBackgroundDepth;
}

// How to read a depth file. kind unset: each format's default (EXR distance, PFM host,
// PNG height). channel empty: the reader's choice of depth channel (EXR only).
struct DepthReadOptions {
  std::optional<DepthKind> kind;
  std::string channel;
  float farCutoff = 1e9f;
  int threads = 0;  // extra decoding threads a reader may use (EXR)
};

// Checks a frame's sides against the host's limit and the pixel count against memory, then
// sizes map for width x height. Throws IoError naming file.
void SizeDepthMap(const std::string& file, int64_t width, int64_t height, DepthMap& map);

// Whether bytes more can be held without starving the machine: half its physical memory, or
// the budget set below if that is smaller.
bool FitsInMemory(uint64_t bytes);

// Caps what FitsInMemory allows, process-wide; 0 restores the default (half of physical memory).
// For a process that must stay small beside others, such as a fuzzer reading hostile files.
void SetMemoryBudget(uint64_t bytes);

}  // namespace zavol::io
