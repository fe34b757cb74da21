// Integer HSV conversions on a 0..255 scale. The hue circle is divided into six sectors of 42.5
// steps, so that the primaries fall on whole steps and survive a round trip exactly.
#include "render/hsv.h"

#include <algorithm>

namespace zavol {
namespace {

constexpr double kHueSteps = 255.0;  // one full turn
constexpr double kSectors = 6.0;

int Clamp255(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }
int Round(double value) { return static_cast<int>(value + 0.5); }  // value is never negative

}  // namespace

void RgbToHsv255(uint32_t rgb, int* hue, int* saturation, int* value) {
  const int r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
  const int maxC = std::max(r, std::max(g, b));
  const int minC = std::min(r, std::min(g, b));
  const int chroma = maxC - minC;
  *value = maxC;
  *saturation = maxC == 0 ? 0 : (chroma * 255 + maxC / 2) / maxC;
  if (chroma == 0) {
    *hue = 0;
    return;
  }
  double sector;  // 0 .. 6
  if (maxC == r) {
    sector = static_cast<double>(g - b) / chroma;
    if (sector < 0) sector += kSectors;
  } else if (maxC == g) {
    sector = 2.0 + static_cast<double>(b - r) / chroma;
  } else {
    sector = 4.0 + static_cast<double>(r - g) / chroma;
  }
  int h = Round(sector * kHueSteps / kSectors);
  if (h >= 255) h -= 255;
  *hue = h;
}

uint32_t HsvToRgb255(int hue, int saturation, int value) {
  const int h = Clamp255(hue) % 255;
  const int s = Clamp255(saturation);
  const int v = Clamp255(value);
  if (s == 0) return static_cast<uint32_t>(v | (v << 8) | (v << 16));
  const double sector = h * kSectors / kHueSteps;
  const int index = static_cast<int>(sector);
  const double f = sector - index;
  const double vs = v, ss = s / 255.0;
  const int p = Round(vs * (1.0 - ss));
  const int q = Round(vs * (1.0 - ss * f));
  const int t = Round(vs * (1.0 - ss * (1.0 - f)));
  int r, g, b;
  switch (index) {
    case 0: r = v; g = t; b = p; break;
    case 1: r = q; g = v; b = p; break;
    case 2: r = p; g = v; b = t; break;
    case 3: r = p; g = q; b = v; break;
    case 4: r = t; g = p; b = v; break;
    default: r = v; g = p; b = q; break;
  }
  return static_cast<uint32_t>(r | (g << 8) | (b << 16));
}

}  // namespace zavol
