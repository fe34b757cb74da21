// Row synthesis: one stereogram frame, row by row from row 0, each pixel repeating the pixel one
// separation to its left or taking a new dot. Portable: the frame is reached only through
// FrameHost; no I/O, no globals.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "render/dots.h"
#include "render/frame.h"
#include "render/geometry.h"
#include "render/guide.h"
#include "render/random.h"

namespace zavol {
namespace {

// The alpha word doubles as the copy mark while a row is built: non-zero means the pixel may
// still be repeated once. Written rows are opaque.
struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

// Pixels move as whole 64-bit words: the copy mark is the word's alpha field (alphaMask), and a
// mark is cleared with a full-word store so that a later read of the same source is served from
// the store in flight instead of waiting for it.
uint64_t AlphaMask() {
  const Pixel64 alphaOnly{0, 0, 0, 0xFFFF};
  uint64_t mask;
  std::memcpy(&mask, &alphaOnly, sizeof mask);
  return mask;
}

template <class Dots>
uint64_t NewDot(Dots& dots, int x, const Pixel64* slot) {
  Pixel64 pixel;  // starts as the buffer's pixel: a refused pattern read keeps it
  std::memcpy(&pixel, slot, sizeof pixel);
  dots.New(x, pixel);
  uint64_t word;
  std::memcpy(&word, &pixel, sizeof word);
  return word;
}

// One row, left to right. With ghosting prevented a source is repeated at most once; the next
// pixel that links to it takes a new dot. A separation of 0 makes a pixel its own source: it
// keeps the colour of the row above while its mark is still set from that row's reset.
template <bool kPreventGhosting, class Dots>
void BuildRow(Pixel64* row, const int32_t* separations, int width, Dots& dots,
              uint64_t alphaMask) {
  for (int x = 0; x < width; ++x) {
    // 0..x names a source at or left of x. A negative separation (only from a record outside
    // the dialog's ranges) wraps above x as unsigned and so takes a new dot: no pixel right of
    // x, none outside the row, and no overflow for any value.
    const uint32_t s = static_cast<uint32_t>(separations[x]);
    uint64_t word;
    if (s <= static_cast<uint32_t>(x)) {
      Pixel64* const source = row + (static_cast<uint32_t>(x) - s);
      std::memcpy(&word, source, sizeof word);
      if ((word & alphaMask) != 0) {
        const uint64_t used = word & ~alphaMask;  // before the store below: x may be the source
        std::memcpy(source, &used, sizeof used);
      } else if (kPreventGhosting) {
        word = NewDot(dots, x, row + x);
      }
    } else {
      word = NewDot(dots, x, row + x);
    }
    word |= alphaMask;
    std::memcpy(row + x, &word, sizeof word);
  }
}

template <class Dots>
void BuildRow(bool preventGhosting, Pixel64* row, const int32_t* separations, int width,
              Dots& dots, uint64_t alphaMask) {
  if (preventGhosting) {
    BuildRow<true>(row, separations, width, dots, alphaMask);
  } else {
    BuildRow<false>(row, separations, width, dots, alphaMask);
  }
}

// Every mark set again (the written row is opaque), a word at a time.
void SetAllMarks(Pixel64* row, int width, uint64_t alphaMask) {
  for (int x = 0; x < width; ++x) {
    uint64_t word;
    std::memcpy(&word, row + x, sizeof word);
    word |= alphaMask;
    std::memcpy(row + x, &word, sizeof word);
  }
}

// The last row's index for the progress report; the host's height is asked anew for each row.
int LastRow(int height) { return height == INT_MIN ? INT_MIN : height - 1; }

}  // namespace

int RenderStereogram(const StereogramSettings& settings, FrameHost& host) {
  const float* depth = host.DepthChannel();
  if (depth == nullptr) return 0;
  // A negative size from the host is an empty frame.
  const int height = std::max(host.Height(), 0);
  const int width = std::max(host.Width(), 0);
  int screenWidth = 0, screenHeight = 0;
  host.ScreenSize(&screenWidth, &screenHeight);
  const ViewingGeometry geometry =
      ComputeGeometry(settings, width, height, screenWidth, screenHeight);
  const DepthRange range = FrameDepthRange(settings, depth, static_cast<std::size_t>(width),
                                           static_cast<std::size_t>(height));
  const SeparationRule rule(geometry, range);

  // The frame's one allocation: the current row's separations, then the row buffer, zero-filled
  // (black, every copy mark clear). The row buffer ends the block, so a run read past it leaves
  // the allocation (where a checking allocator sees it). An image without columns still gets
  // one pixel, so that an empty row is not mistaken for a failed allocation.
  const std::size_t columns = width > 0 ? static_cast<std::size_t>(width) : 1;
  const std::size_t separationSlots = (columns + 15) & ~static_cast<std::size_t>(15);
  if (columns > (SIZE_MAX - 64) / (sizeof(Pixel64) + sizeof(int32_t))) return 0;
  std::unique_ptr<void, FreeBlock> block(
      std::calloc(1, separationSlots * sizeof(int32_t) + columns * sizeof(Pixel64)));
  if (!block) return 0;
  int32_t* const separations = static_cast<int32_t*>(block.get());
  Pixel64* const row = reinterpret_cast<Pixel64*>(separations + separationSlots);

  DotRandom random(settings.RandomizeEachFrame != 0 ? host.CalendarTime() : 0u);
  const bool pattern = host.HasPattern();
  const bool hsv = settings.RampMode != kRampRgb;
  const bool preventGhosting = settings.PreventGhosting != 0;
  RgbRampDots rgbDots(settings.Color1, settings.Color2, random);
  HsvRampDots hsvDots(settings.Color1, settings.Color2, random, host);

  const uint64_t alphaMask = AlphaMask();
  int result = 1;
  for (int y = 0; y < height; ++y) {
    if (host.ProgressAndAbortQuery(y, LastRow(host.Height()))) {
      result = 0;
      break;
    }
    rule.Fill(depth + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
              static_cast<std::size_t>(width), separations);
    if (pattern) {
      PatternDots patternDots(host, y);
      BuildRow(preventGhosting, row, separations, width, patternDots, alphaMask);
    } else if (hsv) {
      BuildRow(preventGhosting, row, separations, width, hsvDots, alphaMask);
    } else {
      BuildRow(preventGhosting, row, separations, width, rgbDots, alphaMask);
    }
    SetAllMarks(row, width, alphaMask);
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
