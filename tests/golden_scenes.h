// Golden scenes: small, odd-sized, asymmetric depth maps with fixed settings and the digest of
// the frame each renders on a 1024 x 768 screen, shared by the engine's and the cross-build
// golden tests, and writable as PFM files. Portable: settings record, the netpbm module and the
// standard library only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/netpbm.h"
#include "render/settings.h"

namespace golden {

// The depths use float arithmetic only, which gives the same bits on every platform built with
// SSE arithmetic and no contraction.

constexpr int kScreenWidth = 1024;  // what Wine's null display reports
constexpr int kScreenHeight = 768;
constexpr float kBackground = -1e30f;

struct Scene {
  const char* name;
  int width, height;
  std::vector<float> depth;  // row-major, y = 0 first
};

// A block to the upper left, a disc to the upper right and a slope in the lower rows that rises
// to exactly 0 at the right edge.
inline Scene StepsScene() {
  Scene s{"steps", 37, 23, {}};
  s.depth.assign(static_cast<std::size_t>(s.width) * s.height, kBackground);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      float& z = s.depth[static_cast<std::size_t>(y) * s.width + x];
      if (x >= 6 && x < 19 && y >= 3 && y < 11) z = -3.0f;
      if ((x - 27) * (x - 27) + (y - 6) * (y - 6) <= 16) z = -2.0f - 0.125f * static_cast<float>(x - 27);
      if (y >= 15) z = -9.0f + 0.25f * static_cast<float>(x);
    }
  }
  return s;
}

// A plane tilted both ways with a background hole at the upper right, a near column and a short
// run behind the camera.
inline Scene RampScene() {
  Scene s{"ramp", 41, 19, {}};
  s.depth.resize(static_cast<std::size_t>(s.width) * s.height);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      float z = -12.0f + 0.2f * static_cast<float>(x) - 0.1f * static_cast<float>(y);
      if (x > 28 && y < 7) z = kBackground;
      if (x == 9 || x == 10) z = -1.5f;
      if (y == 17 && x < 5) z = 0.5f;
      s.depth[static_cast<std::size_t>(y) * s.width + x] = z;
    }
  }
  return s;
}

// A diagonal wedge over background, taller than wide, with one depth that is not a number.
inline Scene TallScene() {
  Scene s{"tall", 29, 31, {}};
  s.depth.assign(static_cast<std::size_t>(s.width) * s.height, kBackground);
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      float& z = s.depth[static_cast<std::size_t>(y) * s.width + x];
      if (x + y > 20 && x - y < 8) z = -6.0f + 0.125f * static_cast<float>(y - x);
      if (y > 24 && x < 6) z = -20.0f;
    }
  }
  uint32_t nanBits = 0x7FC00000u;
  std::memcpy(&s.depth[static_cast<std::size_t>(28) * s.width + 3], &nanBits, 4);
  return s;
}

// Pattern pixels that tell where they came from, every channel different.
struct Rgba {
  uint16_t r, g, b, a;
};
inline std::vector<Rgba> CoordinatePattern(int width, int height) {
  std::vector<Rgba> p(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p[static_cast<std::size_t>(y) * width + x] =
          Rgba{static_cast<uint16_t>(1000 + 97 * x), static_cast<uint16_t>(2000 + 89 * y),
               static_cast<uint16_t>(13 * x * y), static_cast<uint16_t>(40000 + x)};
    }
  }
  return p;
}

struct Case {
  const char* name;
  Scene (*scene)();
  StereogramSettings settings;
  bool pattern;     // the scene-sized CoordinatePattern supplies the dots
  uint64_t digest;  // FNV-1a 64 of the rendered frame, r g b a little-endian per pixel
};

inline StereogramSettings SeedZero() {
  StereogramSettings s = DefaultSettings();
  s.RandomizeEachFrame = 0;
  return s;
}

inline std::vector<Case> Cases() {
  std::vector<Case> cases;
  {
    // A near background plane: separations of 8 to 21 pixels, so rows hold many links.
    StereogramSettings s = SeedZero();
    s.BackgroundDepth = 0.1f;
    s.Color1 = 0x0000FF;  // red
    s.Color2 = 0xFF8000;  // blue with half green
    cases.push_back(Case{"steps_rgb", StepsScene, s, false, 0x8f968c6d2e8543b3ull});
  }
  {
    StereogramSettings s = SeedZero();
    s.BackgroundDepth = 0.1f;
    s.NearObjectDepth = 0.25f;
    s.RampMode = kRampHsv;
    s.Color1 = 0x2080F0;
    s.Color2 = 0xC04010;
    cases.push_back(Case{"ramp_hsv", RampScene, s, false, 0xb336d53c6ec08decull});
  }
  {
    StereogramSettings s = SeedZero();
    s.BackgroundDepth = 0.15f;
    cases.push_back(Case{"tall_pattern", TallScene, s, true, 0xf716947028be0d24ull});
  }
  {
    // Small enough a separation for the guide to fit; every source may be repeated.
    StereogramSettings s = SeedZero();
    s.ViewingMedium = kMediumCustomDpi;
    s.CustomDpi = 8;
    s.PutGuidePoints = 1;
    s.PreventGhosting = 0;
    cases.push_back(Case{"steps_guide_ghosting", StepsScene, s, false, 0x58f099585ddd5be6ull});
  }
  {
    StereogramSettings s = SeedZero();
    s.ViewingMedium = kMediumA4Paper;
    s.AutoDistance = 0;
    s.NearDistance = 3.0f;
    s.FarDistance = 14.0f;
    s.Color1 = 0x00FF00;
    s.Color2 = 0x4000C0;
    cases.push_back(
        Case{"ramp_paper_fixed_distances", RampScene, s, false, 0x108e5b20a2ad4fa6ull});
  }
  return cases;
}

// The depth map as a PFM file: "Pf", size, scale -1 (little-endian), rows bottom-up.
inline std::string PfmBytes(const Scene& scene) {
  zavol::netpbm::PfmImage image;
  image.width = scene.width;
  image.height = scene.height;
  image.values = scene.depth;
  const std::vector<uint8_t> bytes = zavol::netpbm::EncodePfm(image, true);
  return std::string(bytes.begin(), bytes.end());
}

inline bool WritePfm(const Scene& scene, const std::string& path) {
  const std::string bytes = PfmBytes(scene);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace golden
