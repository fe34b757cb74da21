// Row synthesis for a frame host: one stereogram frame, row by row from row 0, with the host's
// progress and abort query before each row and the rows handed over in order. Portable: the
// frame is reached only through FrameHost; no I/O, no globals.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "render/dots.h"
#include "render/frame.h"
#include "render/frame_setup.h"
#include "render/geometry.h"
#include "render/guide.h"
#include "render/random.h"
#include "render/row_builder.h"
#include "render/separation_table.h"

namespace zavol {
namespace {

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

// The last row's index for the progress report; the host's height is asked anew for each row.
int LastRow(int height) { return height == INT_MIN ? INT_MIN : height - 1; }

}  // namespace

int RenderStereogram(const StereogramSettings& settings, FrameHost& host) {
  return RenderStereogram(settings, host, 0);
}

int RenderStereogram(const StereogramSettings& settings, FrameHost& host,
                     std::size_t depthRowStride) {
  const float* depth = host.DepthChannel();
  if (depth == nullptr) return 0;
  const FrameSetup frame = ReadFrameSetup(settings, host, depth, depthRowStride);
  const auto& [width, height, depthStride, geometry, range, rule] = frame;
  const SeparationTable separationTable(rule);

  // The row builder's one allocation: the current row's separations and copy marks, then the
  // row buffer, zero-filled (black). The row buffer ends the block, so a run read past it leaves
  // the allocation (where a checking allocator sees it). An image without columns still gets
  // one pixel, so that an empty row is not mistaken for a failed allocation.
  const std::size_t columns = width > 0 ? static_cast<std::size_t>(width) : 1;
  const std::size_t separationSlots = rows::SeparationSlots(columns);
  const std::size_t markSlots = rows::MarkSlots(columns);
  if (columns > (SIZE_MAX - 128) / (sizeof(Pixel64) + sizeof(int32_t) + 1)) return 0;
  std::unique_ptr<void, FreeBlock> block(std::calloc(
      1, separationSlots * sizeof(int32_t) + markSlots + columns * sizeof(Pixel64)));
  if (!block) return 0;
  int32_t* const separations = static_cast<int32_t*>(block.get());
  uint8_t* const marks = reinterpret_cast<uint8_t*>(separations + separationSlots);
  Pixel64* const row = reinterpret_cast<Pixel64*>(marks + markSlots);

  // One generator per frame, seeded once; it lives in the ramp that draws from it (a pattern
  // draws nothing).
  const uint32_t seed = settings.RandomizeEachFrame != 0 ? host.CalendarTime() : 0u;
  const bool pattern = host.HasPattern();
  const bool hsv = settings.RampMode != kRampRgb;
  const bool preventGhosting = settings.PreventGhosting != 0;
  RgbRampDots rgbDots(settings.Color1, settings.Color2, seed);
  HsvRampDots hsvDots(settings.Color1, settings.Color2, seed, host);

  const uint64_t alphaMask = rows::AlphaMask();
  int result = 1;
  for (int y = 0; y < height; ++y) {
    if (host.ProgressAndAbortQuery(y, LastRow(host.Height()))) {
      result = 0;
      break;
    }
    separationTable.Fill(depth + static_cast<std::size_t>(y) * depthStride,
                         static_cast<std::size_t>(width), separations);
    const bool firstRow = y == 0;
    using rows::RowMode;
    if (pattern) {
      PatternDots patternDots(host, y);
      rows::BuildRow<RowMode::kInOrder>(preventGhosting, row, marks, separations, width,
                                        firstRow, patternDots, alphaMask);
    } else if (hsv) {
      rows::BuildRow<RowMode::kInOrder>(preventGhosting, row, marks, separations, width,
                                        firstRow, hsvDots, alphaMask);
    } else {
      rows::BuildRow<RowMode::kInOrder>(preventGhosting, row, marks, separations, width,
                                        firstRow, rgbDots, alphaMask);
    }
    host.PutPixels(0, y, width, row);
  }

  if (settings.PutGuidePoints != 0) {
    DrawGuide(host, width, geometry.maxSeparation, row, columns);
  }
  block.reset();
  host.DebugLine(range.farthestDepth);
  return result;
}

}  // namespace zavol
