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
#include "render/separation_table.h"
#include "render/simd.h"

namespace zavol {
namespace {

// Most pixels repeat their source; new dots are the exception.
#if defined(__GNUC__)
#define ZAVOL_LIKELY(condition) __builtin_expect(static_cast<bool>(condition), 1)
#else
#define ZAVOL_LIKELY(condition) (condition)
#endif

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

// Copy marks: one byte per pixel beside the row, non-zero while the pixel may still be repeated
// once. Kept apart from the pixels, every written pixel keeps alpha 65535 and a stretch of
// certain copies clears its sources' marks in one sweep.
constexpr uint8_t kMarkSet = 1;

// The alpha field of a pixel as a 64-bit word; pixels move as whole words.
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

// The first index after x at which the separation differs from s (or width).
int StretchEnd(const int32_t* separations, int x, int width, int32_t s) {
  int end = x + 1;
#if defined(ZAVOL_HAVE_SSE2)
  const __m128i wanted = _mm_set1_epi32(s);
  auto equal4 = [&wanted](const int32_t* p) {
    return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wanted);
  };
  while (width - end >= 16) {
    const __m128i all = _mm_and_si128(_mm_and_si128(equal4(separations + end),
                                                    equal4(separations + end + 4)),
                                      _mm_and_si128(equal4(separations + end + 8),
                                                    equal4(separations + end + 12)));
    if (_mm_movemask_epi8(all) != 0xFFFF) break;
    end += 16;
  }
#endif
  while (end < width && separations[end] == s) ++end;
  return end;
}

int32_t MinSeparation(const int32_t* begin, const int32_t* end) {
  int32_t least = INT32_MAX;
  for (const int32_t* s = begin; s < end; ++s) least = std::min(least, *s);
  return least;
}

// Stretches shorter than this are cheaper to take pixel by pixel than to prove certain.
constexpr int kShortStretch = 16;

// Pixels [begin, end), all at separation s >= 2, whose sources are built in this row and may
// be repeated: each repeats its source (whose alpha is already 65535). A forward copy in pieces
// of at most s pixels never reads a pixel before it is written.
void CopyStretch(Pixel64* row, int begin, int end, int s) {
  int x = begin;
  if (s >= 16) {
    while (x < end) {
      const int piece = std::min(end - x, s);
      std::memcpy(row + x, row + (x - s), static_cast<std::size_t>(piece) * sizeof(Pixel64));
      x += piece;
    }
    return;
  }
#if defined(ZAVOL_HAVE_SSE2)
  for (; end - x >= 2; x += 2) {
    const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + (x - s)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), pair);
  }
#endif
  for (; x < end; ++x) row[x] = row[x - s];
}

// One row, left to right. With ghosting prevented a source is repeated at most once; the next
// pixel that links to it takes a new dot. Every mark is set when the row starts, and a pixel's
// own mark stays set until a later pixel repeats it; so a pixel of separation 0 (its own
// source) keeps the colour of the row above, except in the first row, where nothing has been
// marked yet: it keeps black when ghosting is allowed and gets a new dot otherwise.
template <bool kPreventGhosting, class Dots>
void BuildRow(Pixel64* row, uint8_t* marks, const int32_t* separations, int width, bool firstRow,
              Dots& frameDots, uint64_t alphaMask) {
  // A copy of the dot source (with its generator) for the row, so that the generator's state
  // stays in registers instead of being written back after every store into the row.
  Dots dots = frameDots;
  if (kPreventGhosting) std::memset(marks, kMarkSet, static_cast<std::size_t>(width));
  // Every separation in [runStart, x) is runSeparation: the known part of the run of equal
  // separations that ends at x - 1.
  int runStart = 0;
  int32_t runSeparation = 0;
  int x = 0;
  while (x < width) {
    const int stepStart = x;
    const int32_t s = separations[x];
    int pixelsEnd = x + 1;  // the pixels taken one at a time in this step
    int stretchEnd = x;
    if (s >= 2 && s <= x) {
      // A stretch of equal separations: from its s-th pixel on, every source was built within
      // the stretch and repeated by nobody else, so the copy is certain. Without ghosting
      // prevention every linked pixel copies.
      stretchEnd = StretchEnd(separations, x, width, s);
      pixelsEnd = !kPreventGhosting ? x : stretchEnd - x > s ? x + s : stretchEnd;
      // The first s pixels have their sources p in [x - s, x). Only a pixel p' in (p, x) with
      // separation p' - p < s can have repeated one: when no separation in (x - s, x) is below
      // s (the stretch is no farther than what precedes it), their copies are certain too.
      if (kPreventGhosting && pixelsEnd - x >= kShortStretch) {
        const int windowStart = x - s + 1;
        int32_t least = runSeparation;
        if (runStart > windowStart) {
          least = std::min(least, MinSeparation(separations + windowStart,
                                                separations + runStart));
        }
        if (least >= s) pixelsEnd = x;
      }
    }
    for (; x < pixelsEnd; ++x) {
      // 1..x names a source left of x, 0 the pixel itself. A negative separation (only from a
      // record outside the dialog's ranges) wraps above x as unsigned and so takes a new dot:
      // no pixel right of x, none outside the row, and no overflow for any value.
      const uint32_t sx = static_cast<uint32_t>(separations[x]);
      uint64_t word;
      if (ZAVOL_LIKELY(sx - 1u < static_cast<uint32_t>(x))) {
        const uint32_t source = static_cast<uint32_t>(x) - sx;
        std::memcpy(&word, row + source, sizeof word);
        if (kPreventGhosting) {
          if (ZAVOL_LIKELY(marks[source] != 0)) {
            marks[source] = 0;
          } else {
            word = NewDot(dots, x, row + x);
          }
        }
      } else if (sx == 0) {
        std::memcpy(&word, row + x, sizeof word);
        if (kPreventGhosting && firstRow) word = NewDot(dots, x, row + x);
      } else {
        word = NewDot(dots, x, row + x);
      }
      word |= alphaMask;
      std::memcpy(row + x, &word, sizeof word);
    }
    if (x < stretchEnd) {
      CopyStretch(row, x, stretchEnd, s);
      if (kPreventGhosting) {
        std::memset(marks + (x - s), 0, static_cast<std::size_t>(stretchEnd - x));
      }
      x = stretchEnd;
    }
    // Every pixel of this step had the separation of its first one.
    if (separations[stepStart] != runSeparation) {
      runStart = stepStart;
      runSeparation = separations[stepStart];
    }
  }
  frameDots = dots;
}

template <class Dots>
void BuildRow(bool preventGhosting, Pixel64* row, uint8_t* marks, const int32_t* separations,
              int width, bool firstRow, Dots& dots, uint64_t alphaMask) {
  if (preventGhosting) {
    BuildRow<true>(row, marks, separations, width, firstRow, dots, alphaMask);
  } else {
    BuildRow<false>(row, marks, separations, width, firstRow, dots, alphaMask);
  }
}

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
  const SeparationRule rule(geometry, range);
  const SeparationTable separationTable(rule);

  // The row builder's one allocation: the current row's separations and copy marks, then the
  // row buffer, zero-filled (black). The row buffer ends the block, so a run read past it leaves
  // the allocation (where a checking allocator sees it). An image without columns still gets
  // one pixel, so that an empty row is not mistaken for a failed allocation.
  const std::size_t columns = width > 0 ? static_cast<std::size_t>(width) : 1;
  const std::size_t separationSlots = (columns + 15) & ~static_cast<std::size_t>(15);
  const std::size_t markSlots = (columns + 63) & ~static_cast<std::size_t>(63);
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

  const uint64_t alphaMask = AlphaMask();
  int result = 1;
  for (int y = 0; y < height; ++y) {
    if (host.ProgressAndAbortQuery(y, LastRow(host.Height()))) {
      result = 0;
      break;
    }
    separationTable.Fill(depth + static_cast<std::size_t>(y) * depthStride,
                         static_cast<std::size_t>(width), separations);
    const bool firstRow = y == 0;
    if (pattern) {
      PatternDots patternDots(host, y);
      BuildRow(preventGhosting, row, marks, separations, width, firstRow, patternDots, alphaMask);
    } else if (hsv) {
      BuildRow(preventGhosting, row, marks, separations, width, firstRow, hsvDots, alphaMask);
    } else {
      BuildRow(preventGhosting, row, marks, separations, width, firstRow, rgbDots, alphaMask);
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
