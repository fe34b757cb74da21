// The random frames of the engine's sweeps, one generator for all of them (the engine against
// the reference renderer, the viewing options' builder against the plug-in's, threads against
// one thread): widths from 1 to several hundred, tiny resolutions (separations of 0 and 1),
// hostile records (negative separations, unknown media), depths with NaN, signed zeros, values
// behind the camera and beyond the scan's limits, columns mostly empty, and patterns smaller
// than the frame. Its own generator, so the cases do not follow the engine's.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "render/settings.h"
#include "tests/recording_host.h"

namespace enginetest {

class Sweep {
 public:
  explicit Sweep(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t state_;
};

struct SweepFrame {
  int width = 0, height = 0;
  std::vector<float> depth;
  StereogramSettings settings{};
  int screenWidth = 1024, screenHeight = 768;
  uint32_t seed = 0;  // the host's calendar time
  std::vector<zavol::Pixel64> pattern;
  int patternWidth = 0, patternHeight = 0;
  int abortAt = -1;  // the host's stop row, -1 for none

  // A host holding the frame; extra goes to the host's constructor after the depth.
  template <class Host, class... Extra>
  Host MakeHost(Extra... extra) const {
    Host host(width, height, depth, extra...);
    host.screenWidth = screenWidth;
    host.screenHeight = screenHeight;
    host.calendarTime = seed;
    host.abortAtRow = abortAt;
    if (!pattern.empty()) {
      host.hasPattern = true;
      host.pattern = pattern;
      host.patternWidth = patternWidth;
      host.patternHeight = patternHeight;
    }
    return host;
  }
};

inline SweepFrame MakeSweepFrame(Sweep& rnd) {
  SweepFrame f;
  const int shape = rnd.Below(10);
  f.width = shape < 5 ? 1 + rnd.Below(12) : shape < 9 ? 1 + rnd.Below(90) : 256 + rnd.Below(500);
  f.height = 1 + rnd.Below(shape == 9 ? 24 : 40);
  StereogramSettings& s = f.settings;
  s = DefaultSettings();
  s.RandomizeEachFrame = rnd.Below(2);
  f.seed = rnd.Next();
  s.PreventGhosting = rnd.Below(2);
  s.RampMode = rnd.Below(3) == 0 ? kRampHsv : kRampRgb;
  s.Color1 = rnd.Next() & 0xFFFFFF;
  s.Color2 = rnd.Next() & 0xFFFFFF;
  s.PutGuidePoints = rnd.Below(4) == 0;
  s.AutoDistance = rnd.Below(4) != 0;
  s.NearDistance = static_cast<float>(rnd.Below(5));
  s.FarDistance = static_cast<float>(5 + rnd.Below(40));
  // Tiny resolutions give separations of 0 and 1 (pixels that keep the row above), larger ones
  // real links; one frame in five is viewed on a monitor or paper (1009: no such medium).
  s.ViewingMedium = rnd.Below(5) == 0 ? 1000 + rnd.Below(10) : kMediumCustomDpi;
  const int dpiPick = rnd.Below(4);
  s.CustomDpi = dpiPick == 0 ? 1 + rnd.Below(2) : dpiPick == 1 ? 3 + rnd.Below(10) : 10 + rnd.Below(60);
  // A few hostile records give negative separations.
  s.BackgroundDepth = rnd.Below(12) == 0 ? -0.5f : 0.2f + 0.1f * static_cast<float>(rnd.Below(10));
  s.NearObjectDepth = 0.1f * static_cast<float>(rnd.Below(6));
  s.FarObjectDepth = rnd.Below(4) == 0 ? 0.01f * static_cast<float>(rnd.Below(101)) : 1.0f;
  f.screenWidth = 640 + rnd.Below(4) * 320;
  f.screenHeight = 480 + rnd.Below(4) * 180;
  // Depth: background, a few planes and slopes, NaN, 0, behind the camera; some columns mostly
  // empty, so that their first scene depth falls in any band of rows.
  f.depth.resize(static_cast<std::size_t>(f.width) * f.height);
  const int planes = 1 + rnd.Below(4);
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      const int pick = rnd.Below(x % 4 == 0 ? 8 : 40);
      float z = -1.0f - static_cast<float>((x * planes / std::max(f.width, 1) + y / 7) % 5);
      z -= 0.03f * static_cast<float>(x % 11);
      if (pick == 0) z = -1e30f;
      if (pick == 1) z = std::nanf("");
      if (pick == 2) z = rnd.Below(2) ? 0.0f : -0.0f;
      if (pick == 3) z = 0.5f;
      // Beyond the scan's limits on either side: never the far end, never the near end.
      if (pick == 4) z = 1e25f;
      if (pick == 5) z = -1e25f;
      if (pick == 6) z = -std::numeric_limits<float>::infinity();
      f.depth[static_cast<std::size_t>(y) * f.width + x] = z;
    }
  }
  if (rnd.Below(3) == 0) {
    // A pattern that may be smaller than the frame: reads beyond it keep the row above.
    f.patternWidth = std::max(1, f.width - rnd.Below(3));
    f.patternHeight = std::max(1, f.height - rnd.Below(3));
    f.pattern.resize(static_cast<std::size_t>(f.patternWidth) * f.patternHeight);
    for (zavol::Pixel64& p : f.pattern) {
      p = zavol::Pixel64{static_cast<uint16_t>(rnd.Next()), static_cast<uint16_t>(rnd.Next()),
                         static_cast<uint16_t>(rnd.Next()), static_cast<uint16_t>(rnd.Next())};
    }
  }
  return f;
}

}  // namespace enginetest
