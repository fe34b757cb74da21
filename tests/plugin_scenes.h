// Small asymmetric depth scenes and settings for the plug-in tests, so that a flipped row order,
// a swapped channel or a shifted column shows. Portable.
#pragma once

#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "render/settings.h"

namespace zavoltest {

// Background (-1e30) with a nearer block off-centre to the upper left and a slope rising to
// the right in the lower part; every row and column differs from its mirror image.
inline std::vector<float> AsymmetricDepth(int width, int height) {
  std::vector<float> depth(static_cast<std::size_t>(width) * height, -1e30f);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float& z = depth[static_cast<std::size_t>(y) * width + x];
      if (x >= width / 5 && x < width / 2 && y >= height / 6 && y < height / 2) z = -2.0f;
      if (y >= (2 * height) / 3) z = -8.0f + 5.0f * x / (width > 1 ? width - 1 : 1);
    }
  }
  return depth;
}

// Pattern pixels that say where they came from.
inline std::vector<zavol::Pixel64> CoordinatePattern(int width, int height) {
  std::vector<zavol::Pixel64> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels[static_cast<std::size_t>(y) * width + x] =
          zavol::Pixel64{static_cast<uint16_t>(1000 + x * 97), static_cast<uint16_t>(2000 + y * 89),
                         static_cast<uint16_t>(x * y), static_cast<uint16_t>(40000 + x)};
    }
  }
  return pixels;
}

// Defaults, but reproducible: the generator is seeded with 0 every frame.
inline StereogramSettings FixedSeedSettings() {
  StereogramSettings settings = DefaultSettings();
  settings.RandomizeEachFrame = 0;
  return settings;
}

}  // namespace zavoltest
