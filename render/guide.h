// The convergence guide: a white band across rows 5 to 15 carrying two black squares one
// background separation apart. Its runs come from the frame's width and background separation
// alone, so they are known before the first row; the plug-in's host draws them after the rows,
// buffers have them painted into each row as it leaves.
#pragma once

#include <cstdint>

#include "render/frame.h"

namespace zavol {

struct GuidePlan {
  bool drawn = false;  // the settings ask for it and the two squares fit beside each other
  int barX = 0;        // the band's left edge
  int band = 0;        // the band's width (at least 0)
  int leftX = 0, rightX = 0;  // the squares' left edges (runs may cross the image's edges)
};

constexpr int kGuideFirstRow = 5, kGuideLastRow = 15;
constexpr int kGuideSquareFirstRow = 7, kGuideSquareLastRow = 13;
constexpr int kGuideSquareSize = 7;

GuidePlan PlanGuide(bool wanted, int width, float maxSeparation);

// The guide's runs in the order the plug-in has always put them: the band's rows, then the
// squares' rows, left square before right. put(x, y, count, white): white runs are opaque white,
// the others black with alpha 0. Runs may cross the image's edges: whoever puts them clips.
template <class Put>
void ForEachGuideRun(const GuidePlan& guide, Put&& put) {
  if (!guide.drawn) return;
  for (int y = kGuideFirstRow; y <= kGuideLastRow; ++y) put(guide.barX, y, guide.band, true);
  for (int y = kGuideSquareFirstRow; y <= kGuideSquareLastRow; ++y) {
    put(guide.leftX, y, kGuideSquareSize, false);
    put(guide.rightX, y, kGuideSquareSize, false);
  }
}

// The guide's runs of row y painted over row (width pixels), clipped to it.
void PaintGuideRow(const GuidePlan& guide, int y, Pixel64* row, int width);

// The pixels a run of the guide puts.
constexpr Pixel64 kGuideWhite{65535, 65535, 65535, 65535};
constexpr Pixel64 kGuideSquare{0, 0, 0, 0};

}  // namespace zavol
