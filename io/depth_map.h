// Depth maps in the engine's convention and the conversions into it from what renderers write.
// Depends on the standard library and render/'s depth conventions only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/large_buffer.h"
#include "render/background.h"
#include "render/depth_kind.h"
#include "render/frame.h"

namespace zavol::io {

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

// The engine's depth convention: negative in front of the camera, nearer is closer to 0, and
// background pixels hold kBackgroundDepth, far below the engine's background threshold.
constexpr float kBackgroundDepth = kEmptyDepth;

// Largest side a frame may have (the host's limit).
constexpr int64_t kMaxSide = kMaxImageSide;

// What the numbers of a depth file mean, and the conversion of one sample (render/depth_kind.h).
using zavol::DepthKind;
using zavol::ToEngineDepth;

std::optional<DepthKind> ParseDepthKind(const std::string& name);
const char* DepthKindName(DepthKind kind);

// The depth file formats the readers know.
enum class DepthFormat { kUnknown, kPfm, kPng, kExr, kVideo };

struct DepthMap {
  int width = 0;
  int height = 0;
  LargeVector<float> depth;  // width * height, row-major, row 0 at the top
  // What the reader read, and what it took the numbers to mean.
  DepthFormat format = DepthFormat::kUnknown;
  DepthKind kind = DepthKind::kHost;
};

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
// The cap SetMemoryBudget set; 0: the default.
uint64_t MemoryBudget();

}  // namespace zavol::io
