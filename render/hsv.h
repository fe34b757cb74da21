// The host's colour conversions between red-green-blue (COLORREF order: red in the low byte)
// and hue-saturation-value, each component an integer 0..255. Portable: core.dll exports them,
// the command-line tool links them directly, so both render identical HSV ramps.
#pragma once

#include <cstdint>

namespace zavol {

// Hue runs 0..254 around the circle with the primaries on exact steps (red 0, green 85,
// blue 170); saturation and value 0..255. Greys have hue 0 and saturation 0.
void RgbToHsv255(uint32_t rgb, int* hue, int* saturation, int* value);

// Inverse of RgbToHsv255 up to rounding: greys and primaries come back exactly. Components
// outside 0..255 are clamped; a hue of 255 is the same as 0.
uint32_t HsvToRgb255(int hue, int saturation, int value);

}  // namespace zavol
