// The classic linking rule for one pixel, written once: pixel x of separation s repeats its
// source x - s, keeps the colour of the row above, or takes a new dot. The row builder's copier,
// the viewing options' union-find and the quality meter all decide through it, so the pixels,
// the sets and the meter's replay cannot disagree. Engine-internal; portable, header only.
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define ZAVOL_LINK_LIKELY(condition) __builtin_expect(static_cast<bool>(condition), 1)
#else
#define ZAVOL_LINK_LIKELY(condition) (condition)
#endif

namespace zavol {

enum class ClassicLink : uint8_t {
  kSource,    // repeats pixel x - s
  kRowAbove,  // its own source: keeps the colour the row above had there
  kNewDot,    // takes a new dot
};

// The link of pixel x at separation s in a row built left to right. A source within the row
// (1 <= s <= x) is repeated, except that with ghosting prevented a source is repeated at most
// once: unrepeated[p] is non-zero while pixel p may still be repeated (all set when the row
// starts) and is cleared here when x takes p. A separation of 0 keeps the row above, except in
// the first row with ghosting prevented, where nothing has been marked yet. Anything else (a
// source left of the row, or a negative separation, which only a record outside the dialog's
// ranges gives: it wraps above x as unsigned) takes a new dot, so no pixel right of x and none
// outside the row is ever named, for any value.
template <bool kPreventGhosting>
inline ClassicLink LinkClassicPixel(int32_t s, int x, bool firstRow, uint8_t* unrepeated) {
  const uint32_t sx = static_cast<uint32_t>(s);
  if (ZAVOL_LINK_LIKELY(sx - 1u < static_cast<uint32_t>(x))) {
    if (!kPreventGhosting) return ClassicLink::kSource;
    uint8_t& mark = unrepeated[static_cast<uint32_t>(x) - sx];
    if (ZAVOL_LINK_LIKELY(mark != 0)) {
      mark = 0;
      return ClassicLink::kSource;
    }
    return ClassicLink::kNewDot;
  }
  if (sx == 0) return kPreventGhosting && firstRow ? ClassicLink::kNewDot : ClassicLink::kRowAbove;
  return ClassicLink::kNewDot;
}

inline ClassicLink LinkClassicPixel(bool preventGhosting, int32_t s, int x, bool firstRow,
                                    uint8_t* unrepeated) {
  return preventGhosting ? LinkClassicPixel<true>(s, x, firstRow, unrepeated)
                         : LinkClassicPixel<false>(s, x, firstRow, unrepeated);
}

}  // namespace zavol
