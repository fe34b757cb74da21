// The built-in depth scene. Only basic arithmetic and sqrt (correctly rounded everywhere), so
// every platform computes the same depths.
#include "render/scene.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace zavol {

std::vector<float> MakeDemoScene(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  std::vector<float> depth(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                           kDemoBackgroundDepth);
  const double w = width, h = height;
  const double horizon = 0.35 * h;  // the plane's far edge
  const double cx = 0.58 * w, cy = 0.42 * h;
  const double radius = 0.3 * (w < h ? w : h);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double z = kDemoBackgroundDepth;
      if (y >= horizon) {
        // From 20 units away at the horizon to 9 at the lower edge, 2 units nearer at the right.
        const double down = (y - horizon) / (h - horizon);
        z = -(20.0 - 11.0 * down) + 2.0 * (x / w);
      }
      const double dx = (x - cx) / radius, dy = (y - cy) / radius;
      const double inside = 1.0 - (dx * dx + dy * dy);
      if (inside > 0.0) {
        const double sphere = -(8.0 - 3.5 * std::sqrt(inside));  // -8 at the rim, -4.5 in front
        if (sphere > z) z = sphere;
      }
      depth[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x] =
          static_cast<float>(z);
    }
  }
  return depth;
}

std::vector<float> MakeDemoSceneFrame(int width, int height, int frame) {
  const std::vector<float> scene = MakeDemoScene(width, height);
  if (scene.empty()) return scene;
  std::vector<float> moved(scene.size());
  const int64_t travel = int64_t{frame} * kDemoScenePixelsPerFrame % width;
  const int shift = static_cast<int>(travel < 0 ? travel + width : travel);
  for (int y = 0; y < height; ++y) {
    const float* from = scene.data() + static_cast<std::size_t>(y) * width;
    float* to = moved.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) to[x] = from[(x + shift) % width];
  }
  return moved;
}

}  // namespace zavol
