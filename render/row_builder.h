// The classic row builder: one stereogram row, left to right, each pixel repeating the pixel one
// separation to its left or taking a new dot. Engine-internal and portable; shared by the rows
// built in order (row_loop.cpp) and, through its count mode and ApplyRow, the rows built ahead
// on several threads (parallel_render.cpp).
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/classic_link.h"
#include "render/frame.h"
#include "render/simd.h"

namespace zavol::rows {

// How a row is built.
enum class RowMode {
  // After the row above, in the row buffer that holds it: a pixel of separation 0 keeps the
  // buffer's colour, and every word written gets full alpha.
  kInOrder,
  // Only which pixels take new dots: Dots::New(x, slot) is called for them (the slot means
  // nothing), and no pixel is written. ApplyRow builds the row from that later.
  kCount,
};

// Copy marks: one byte per pixel beside the row, non-zero while the pixel may still be repeated
// once. Kept apart from the pixels, every written pixel keeps alpha 65535 and a stretch of
// certain copies clears its sources' marks in one sweep.
constexpr uint8_t kMarkSet = 1;

// The alpha field of a pixel as a 64-bit word; pixels move as whole words.
inline uint64_t AlphaMask() {
  const Pixel64 alphaOnly{0, 0, 0, 0xFFFF};
  uint64_t mask;
  std::memcpy(&mask, &alphaOnly, sizeof mask);
  return mask;
}

// A new dot for pixel x of row (null when counting).
template <RowMode kMode, class Dots>
uint64_t NewDot(Dots& dots, const Pixel64* row, int x) {
  Pixel64 pixel;
  // The dot starts as the buffer's pixel: a refused pattern read keeps it.
  if constexpr (kMode == RowMode::kInOrder) std::memcpy(&pixel, row + x, sizeof pixel);
  dots.New(x, pixel);
  uint64_t word = 0;
  if constexpr (kMode != RowMode::kCount) std::memcpy(&word, &pixel, sizeof word);
  return word;
}

// The first index after x at which the separation differs from s (or width).
inline int StretchEnd(const int32_t* separations, int x, int width, int32_t s) {
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

inline int32_t MinSeparation(const int32_t* begin, const int32_t* end) {
  int32_t least = INT32_MAX;
  for (const int32_t* s = begin; s < end; ++s) least = std::min(least, *s);
  return least;
}

// Stretches shorter than this are cheaper to take pixel by pixel than to prove certain.
constexpr int kShortStretch = 16;

// Pixels [begin, end), all at separation s >= 2, whose sources are built in this row and may
// be repeated: each repeats its source (whose alpha is already 65535). A forward copy in pieces
// of at most s pixels never reads a pixel before it is written.
inline void CopyStretch(Pixel64* row, int begin, int end, int s) {
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

// One row, left to right, each pixel linked by LinkClassicPixel (the marks are its unrepeated
// sources, all set when the row starts), with stretches of certain copies taken whole. In the
// first row a pixel that keeps the row above keeps the buffer's black. Which pixels take new
// dots depends on the separations alone, never on colours, so both modes call Dots::New at the
// same pixels.
template <bool kPreventGhosting, RowMode kMode, class Dots>
void BuildRow(Pixel64* row, uint8_t* marks, const int32_t* separations, int width, bool firstRow,
              Dots& frameDots, uint64_t alphaMask) {
  constexpr bool kPixels = kMode != RowMode::kCount;
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
      const int32_t sx = separations[x];
      uint64_t word = 0;
      switch (LinkClassicPixel<kPreventGhosting>(sx, x, firstRow, marks)) {
        case ClassicLink::kSource:
          if constexpr (kPixels) std::memcpy(&word, row + (x - sx), sizeof word);
          break;
        case ClassicLink::kRowAbove:
          if constexpr (kPixels) std::memcpy(&word, row + x, sizeof word);
          break;
        case ClassicLink::kNewDot:
          word = NewDot<kMode>(dots, row, x);
          break;
      }
      if constexpr (kPixels) {
        word |= alphaMask;
        std::memcpy(row + x, &word, sizeof word);
      }
    }
    if (x < stretchEnd) {
      if constexpr (kPixels) CopyStretch(row, x, stretchEnd, s);
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

template <RowMode kMode, class Dots>
void BuildRow(bool preventGhosting, Pixel64* row, uint8_t* marks, const int32_t* separations,
              int width, bool firstRow, Dots& dots, uint64_t alphaMask) {
  if (preventGhosting) {
    BuildRow<true, kMode>(row, marks, separations, width, firstRow, dots, alphaMask);
  } else {
    BuildRow<false, kMode>(row, marks, separations, width, firstRow, dots, alphaMask);
  }
}

// ---- Rows built apart from the rows above them, once BuildRow's count mode has said which
// pixels take new dots: the same pixels as the ordered rows, without the copy marks.

// A word that stands for the colour of column x in the row above, where a pixel keeps it.
// Finished words always have alpha 65535, these alpha 0; the column fits the red field (sides
// are at most 65535).
inline Pixel64 AboveMarker(int x) { return Pixel64{static_cast<uint16_t>(x), 0, 0, 0}; }

// Replaces the markers of a row with the colours they name in the finished row above (null
// above the first row: the row buffer's first black).
inline void ResolveAbove(Pixel64* row, int width, const Pixel64* above) {
  for (int x = 0; x < width; ++x) {
    if (row[x].a != 0) continue;
    row[x] = above != nullptr ? above[row[x].r] : Pixel64{0, 0, 0, 0xFFFF};
  }
}

// One bit per pixel, set where the pixel takes a new dot: what count mode learns of a row.
class NewDotBits {
 public:
  static constexpr std::size_t Words(std::size_t columns) { return (columns + 63) / 64; }
  explicit NewDotBits(uint64_t* bits) : bits_(bits) {}
  void New(int x, Pixel64&) {
    bits_[x >> 6] |= uint64_t{1} << (x & 63);
    ++dots_;
  }
  uint64_t dots() const { return dots_; }

 private:
  uint64_t* bits_;
  uint64_t dots_ = 0;
};

// The first pixel at or after x that takes a new dot, or width.
inline int NextNewDot(const uint64_t* bits, int x, int width) {
  std::size_t word = static_cast<std::size_t>(x) >> 6;
  uint64_t pending = bits[word] & (~uint64_t{0} << (x & 63));
  const std::size_t words = NewDotBits::Words(static_cast<std::size_t>(width));
  while (pending == 0) {
    if (++word >= words) return width;
    pending = bits[word];
  }
#if defined(__GNUC__)
  const int bit = __builtin_ctzll(pending);
#else
  int bit = 0;
  while (((pending >> bit) & 1u) == 0) ++bit;
#endif
  return std::min(width, static_cast<int>(word * 64) + bit);
}

// Pixels [begin, end) that take no new dot, all at separation s: each repeats its source
// (1 <= s <= its column) or, at 0, keeps the row above's colour. True when it left markers.
inline bool RepeatRun(Pixel64* row, int begin, int end, int32_t s) {
  if (s == 0) {
    for (int x = begin; x < end; ++x) row[x] = AboveMarker(x);
    return true;
  }
  if (s == 1) {
    std::fill(row + begin, row + end, row[begin - 1]);
  } else {
    CopyStretch(row, begin, end, s);
  }
  return false;
}

// Builds a row whose new dots are known: every pixel whose bit is set takes the next dot
// (Dots::New writes all four fields, or a marker), the others repeat their sources. The row
// above need not exist yet; the pixels that keep its colour hold markers. True when the row
// has markers from RepeatRun (the dots report their own).
template <class Dots>
bool ApplyRow(Pixel64* row, const int32_t* separations, const uint64_t* newDots, int width,
              Dots& frameDots) {
  Dots dots = frameDots;  // in registers for the row, as in BuildRow
  bool markers = false;
  int x = 0;
  while (x < width) {
    const int next = NextNewDot(newDots, x, width);
    while (x < next) {
      const int32_t s = separations[x];
      const int end = StretchEnd(separations, x, next, s);
      markers |= RepeatRun(row, x, end, s);
      x = end;
    }
    if (x < width) {
      dots.New(x, row[x]);
      ++x;
    }
  }
  frameDots = dots;
  return markers;
}

// The row builder's scratch for one row: its separations (padded to whole vectors), its copy
// marks and, when asked for, the row buffer itself, zero-filled (black).
constexpr std::size_t SeparationSlots(std::size_t columns) {
  return (columns + 15) & ~static_cast<std::size_t>(15);
}
constexpr std::size_t MarkSlots(std::size_t columns) {
  return (columns + 63) & ~static_cast<std::size_t>(63);
}

}  // namespace zavol::rows
