// The convergence guide. Positions come from the image width and the background separation;
// every intermediate is taken in 64 bits, so no width or separation overflows an int.
#include "render/guide.h"

#include <algorithm>
#include <cstdint>

#include "render/geometry.h"

namespace zavol {
namespace {

// Halving rounded toward minus infinity, what an arithmetic shift right by one gives.
int64_t HalfDown(int64_t value) { return value >= 0 ? value / 2 : -((-value + 1) / 2); }

}  // namespace

GuidePlan PlanGuide(bool wanted, int width, float maxSeparation) {
  GuidePlan guide;
  if (!wanted) return guide;
  const int barWidth = SaturatingTrunc(static_cast<double>(maxSeparation) * 2.0);
  const int64_t barX = HalfDown(static_cast<int64_t>(width) - barWidth);
  if (barX <= 0) return guide;  // the pair would not fit beside each other
  guide.drawn = true;
  guide.barX = static_cast<int>(barX);
  // barX > 0 leaves the band at least two pixels narrower than the image. A negative bar width
  // (a hostile record) draws an empty band.
  guide.band = std::max(barWidth, 0);
  // The squares' left edges, the background separation apart (the right one measured from the
  // left one as a real).
  const int64_t left = HalfDown(static_cast<int64_t>(width) - SaturatingTrunc(maxSeparation)) - 3;
  guide.leftX = static_cast<int>(left);  // within int: width and the truncation both are
  guide.rightX = SaturatingTrunc(static_cast<float>(guide.leftX) + maxSeparation);
  return guide;
}

void PaintGuideRow(const GuidePlan& guide, int y, Pixel64* row, int width) {
  if (y < kGuideFirstRow || y > kGuideLastRow) return;
  ForEachGuideRun(guide, [&](int x, int runY, int count, bool white) {
    if (runY != y) return;
    const int64_t begin = std::max<int64_t>(x, 0);
    const int64_t end = std::min<int64_t>(int64_t{x} + count, width);
    for (int64_t i = begin; i < end; ++i) row[i] = white ? kGuideWhite : kGuideSquare;
  });
}

}  // namespace zavol
