// Depth kinds by name and the size checks every reader makes before it allocates.
#include "io/depth_map.h"

#include <unistd.h>

#include <atomic>
#include <new>

#include "io/error.h"

namespace zavol::io {
namespace {

struct KindName {
  DepthKind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {DepthKind::kHost, "host"},         {DepthKind::kDistance, "distance"},
    {DepthKind::kDisparity, "disparity"}, {DepthKind::kHeight, "height"},
    {DepthKind::kMist, "mist"},
};

}  // namespace

std::optional<DepthKind> ParseDepthKind(const std::string& name) {
  for (const KindName& k : kKindNames) {
    if (name == k.name) return k.kind;
  }
  return std::nullopt;
}

const char* DepthKindName(DepthKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

namespace {
std::atomic<uint64_t> memoryBudget{0};
}  // namespace

void SetMemoryBudget(uint64_t bytes) { memoryBudget.store(bytes, std::memory_order_relaxed); }

uint64_t MemoryBudget() { return memoryBudget.load(std::memory_order_relaxed); }

bool FitsInMemory(uint64_t bytes) {
  const uint64_t budget = memoryBudget.load(std::memory_order_relaxed);
  if (budget != 0 && bytes > budget) return false;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return true;  // unknown: let the allocation decide
  return bytes <= static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2;
}

void SizeDepthMap(const std::string& file, int64_t width, int64_t height, DepthMap& map) {
  if (width <= 0 || height <= 0) {
    throw IoError(file, "image has no pixels (" + std::to_string(width) + "x" +
                            std::to_string(height) + ")");
  }
  if (width > kMaxSide || height > kMaxSide) {
    throw IoError(file, "dimensions " + std::to_string(width) + "x" + std::to_string(height) +
                            " are over 65535, the host's limit");
  }
  // Both sides are at most 65535: the product and its byte count fit 64 bits.
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (!FitsInMemory(pixels * 16)) {  // the depth map and a frame's pixels
    throw IoError(file, "image of " + std::to_string(width) + "x" + std::to_string(height) +
                            " is too large for memory");
  }
  try {
    map.depth.resize(static_cast<std::size_t>(pixels));
  } catch (const std::bad_alloc&) {
    throw IoError(file, "image of " + std::to_string(width) + "x" + std::to_string(height) +
                            " is too large for memory");
  }
  map.width = static_cast<int>(width);
  map.height = static_cast<int>(height);
}

}  // namespace zavol::io
