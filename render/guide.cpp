// The convergence guide. Positions come from the image width and the background separation;
// every intermediate is taken in 64 bits, so no width or separation overflows an int.
#include "render/guide.h"

#include <cstdint>

#include "render/geometry.h"

namespace zavol {
namespace {

constexpr int kBandFirstRow = 5, kBandLastRow = 15;
constexpr int kSquareFirstRow = 7, kSquareLastRow = 13;
constexpr int kSquareSize = 7;

// Halving rounded toward minus infinity, what an arithmetic shift right by one gives.
int64_t HalfDown(int64_t value) { return value >= 0 ? value / 2 : -((-value + 1) / 2); }

}  // namespace

void DrawGuide(FrameHost& host, int width, float maxSeparation, Pixel64* rowBuffer,
               std::size_t rowBufferLength) {
  const int barWidth = SaturatingTrunc(static_cast<double>(maxSeparation) * 2.0);
  const int64_t barX = HalfDown(static_cast<int64_t>(width) - barWidth);
  if (barX <= 0) return;  // the pair would not fit beside each other
  // barX > 0 leaves the band at least two pixels narrower than the image; the clip below only
  // keeps that promise visible. A negative bar width (a hostile record) draws an empty band.
  std::size_t band = barWidth > 0 ? static_cast<std::size_t>(barWidth) : 0;
  if (band > rowBufferLength) band = rowBufferLength;
  for (std::size_t i = 0; i < band; ++i) rowBuffer[i] = Pixel64{65535, 65535, 65535, 65535};
  for (int y = kBandFirstRow; y <= kBandLastRow; ++y) {
    host.PutPixels(static_cast<int>(barX), y, static_cast<int>(band), rowBuffer);
  }

  // The squares' left edges, the background separation apart (the right one measured from the
  // left one as a real). From a run of their own, so an image narrower than a square never
  // makes the row buffer lend more pixels than it has.
  const int64_t left = HalfDown(static_cast<int64_t>(width) - SaturatingTrunc(maxSeparation)) - 3;
  const int leftX = static_cast<int>(left);  // within int: width and the truncation both are
  const int rightX = SaturatingTrunc(static_cast<float>(leftX) + maxSeparation);
  static const Pixel64 kSquareRun[kSquareSize] = {};  // black with alpha 0
  for (int y = kSquareFirstRow; y <= kSquareLastRow; ++y) {
    host.PutPixels(leftX, y, kSquareSize, kSquareRun);
    host.PutPixels(rightX, y, kSquareSize, kSquareRun);
  }
}

}  // namespace zavol
