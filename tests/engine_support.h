// Test side of the engine: the recording frame host, a plain reference renderer that follows the
// row-synthesis steps one pixel at a time, and an output digest. Portable: engine and the
// standard library only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "shell/frame_host.h"
#include "render/geometry.h"
#include "render/random.h"
#include "render/settings.h"
#include "tests/recording_host.h"

namespace enginetest {

using zavol::Pixel64;
using zavoltest::RecordingHost;
using zavoltest::Run;

// FNV-1a, 64 bits, over every channel of every pixel as little-endian bytes.
inline uint64_t Digest(const std::vector<Pixel64>& pixels) {
  uint64_t hash = 0xcbf29ce484222325ull;
  auto add = [&hash](uint16_t word) {
    for (int shift = 0; shift < 16; shift += 8) {
      hash ^= static_cast<uint8_t>(word >> shift);
      hash *= 0x100000001b3ull;
    }
  };
  for (const Pixel64& p : pixels) {
    add(p.r);
    add(p.g);
    add(p.b);
    add(p.a);
  }
  return hash;
}

// The row synthesis written out step by step, one pixel at a time, with the plain column-major
// depth scan and the scalar separation rule: slow and obvious, the yardstick for the engine.
inline int ReferenceRender(const StereogramSettings& settings, zavol::FrameHost& host) {
  const float* depth = host.DepthChannel();
  if (depth == nullptr) return 0;
  const int height = std::max(host.Height(), 0);
  const int width = std::max(host.Width(), 0);
  int screenWidth = 0, screenHeight = 0;
  host.ScreenSize(&screenWidth, &screenHeight);
  const zavol::ViewingGeometry g =
      zavol::ComputeGeometry(settings, width, height, screenWidth, screenHeight);
  float farthest = 1e30f, nearest = -1e30f;
  if (settings.AutoDistance != 0) {
    for (int x = 0; x < width; ++x) {
      for (int y = 0; y < height; ++y) {
        const float z = depth[static_cast<std::size_t>(y) * width + x];
        if (z < farthest && z > -1e20f) {
          farthest = z;
        } else if (z > nearest && z < 1e20f) {
          nearest = z;
        }
      }
    }
  } else {
    farthest = -settings.FarDistance;
    nearest = -settings.NearDistance;
  }
  const zavol::SeparationRule rule(g, zavol::DepthRange{nearest, farthest});

  std::vector<Pixel64> row(static_cast<std::size_t>(std::max(width, 1)), Pixel64{0, 0, 0, 0});
  zavol::DotRandom random(settings.RandomizeEachFrame != 0 ? host.CalendarTime() : 0u);
  const bool pattern = host.HasPattern();
  const uint32_t c1 = settings.Color1, c2 = settings.Color2;
  auto newDot = [&](int x, int y) {
    Pixel64& p = row[x];
    if (pattern) {
      host.ReadPatternPixel(x, y, &p);
    } else if (settings.RampMode != kRampRgb) {
      int h1, s1, v1, h2, s2, v2;
      host.RgbToHsv(c1, &h1, &s1, &v1);
      host.RgbToHsv(c2, &h2, &s2, &v2);
      const int h = zavol::SaturatingTrunc(random.NextFraction() * (1.0 * h2 - h1) + h1);
      const int s = zavol::SaturatingTrunc(random.NextFraction() * (1.0 * s2 - s1) + s1);
      const int v = zavol::SaturatingTrunc(random.NextFraction() * (1.0 * v2 - v1) + v1);
      const uint32_t rgb = host.HsvToRgb(h, s, v);
      p.r = static_cast<uint16_t>((rgb & 0xFF) * 256);
      p.g = static_cast<uint16_t>(((rgb >> 8) & 0xFF) * 256);
      p.b = static_cast<uint16_t>(((rgb >> 16) & 0xFF) * 256);
    } else {
      const int r1 = c1 & 0xFF, g1 = (c1 >> 8) & 0xFF, b1 = (c1 >> 16) & 0xFF;
      const int r2 = c2 & 0xFF, g2 = (c2 >> 8) & 0xFF, b2 = (c2 >> 16) & 0xFF;
      double f = random.NextFraction();
      p.r = static_cast<uint16_t>(static_cast<int>(f * (r2 * 256 - r1 * 256) + r1 * 256));
      f = random.NextFraction();
      p.g = static_cast<uint16_t>(static_cast<int>(f * (g2 * 256 - g1 * 256) + g1 * 256));
      f = random.NextFraction();
      p.b = static_cast<uint16_t>(static_cast<int>(f * (b2 * 256 - b1 * 256) + b1 * 256));
    }
  };

  int result = 1;
  for (int y = 0; y < height; ++y) {
    if (host.ProgressAndAbortQuery(y, host.Height() - 1)) {
      result = 0;
      break;
    }
    for (int x = 0; x < width; ++x) {
      const int s = rule(depth[static_cast<std::size_t>(y) * width + x]);
      const bool linked = s >= 0 && x >= s;
      if (linked && row[x - s].a != 0) {
        row[x] = row[x - s];
        row[x - s].a = 0;
      } else if (settings.PreventGhosting == 0 && linked) {
        row[x] = row[x - s];
      } else {
        newDot(x, y);
      }
      row[x].a = 65535;
    }
    for (Pixel64& p : row) p.a = 65535;
    host.PutPixels(0, y, width, row.data());
  }

  if (settings.PutGuidePoints != 0) {
    const long long barWidth = zavol::SaturatingTrunc(g.maxSeparation * 2.0);
    auto floorHalf = [](long long v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
    const long long barX = floorHalf(static_cast<long long>(width) - barWidth);
    if (barX > 0) {
      const int band = static_cast<int>(std::max(barWidth, 0LL));
      for (int i = 0; i < band; ++i) row.at(i) = Pixel64{65535, 65535, 65535, 65535};
      for (int y = 5; y <= 15; ++y) host.PutPixels(static_cast<int>(barX), y, band, row.data());
      const int left = static_cast<int>(
          floorHalf(static_cast<long long>(width) - zavol::SaturatingTrunc(g.maxSeparation)) - 3);
      const int right = zavol::SaturatingTrunc(static_cast<float>(left) + g.maxSeparation);
      const Pixel64 square[7] = {};
      for (int y = 7; y <= 13; ++y) {
        host.PutPixels(left, y, 7, square);
        host.PutPixels(right, y, 7, square);
      }
    }
  }
  host.DebugLine(farthest);
  return result;
}

}  // namespace enginetest
