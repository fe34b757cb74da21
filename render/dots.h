// Dot colour sources for new dots: the pattern, the hue-saturation-value ramp and the
// red-green-blue ramp. Engine-internal; the caller's pattern reader and colour conversions are
// reached only for pattern pixels and the HSV ramp, so the RGB ramp stays free of virtual calls.
#pragma once

#include <cstdint>

#include "render/frame.h"
#include "render/geometry.h"
#include "render/random.h"

namespace zavol {

// COLORREF bytes: red lowest, then green, then blue.
inline int RedOf(uint32_t colour) { return static_cast<int>(colour & 0xFFu); }
inline int GreenOf(uint32_t colour) { return static_cast<int>((colour >> 8) & 0xFFu); }
inline int BlueOf(uint32_t colour) { return static_cast<int>((colour >> 16) & 0xFFu); }

// Each channel is trunc(f * (c2*256 - c1*256) + c1*256) with f = draw / 32768. Every term is exact
// in double (the product needs 31 bits, the sum 32) and never negative, so the integer form
// below gives the same value without leaving the integer unit.
class RgbRampDots {
 public:
  RgbRampDots(uint32_t colour1, uint32_t colour2, uint32_t seed) : random_(seed) {
    const int first[3] = {RedOf(colour1), GreenOf(colour1), BlueOf(colour1)};
    const int second[3] = {RedOf(colour2), GreenOf(colour2), BlueOf(colour2)};
    for (int c = 0; c < 3; ++c) {
      base_[c] = static_cast<int64_t>(first[c]) * 256 * 32768;
      delta_[c] = static_cast<int64_t>(second[c] - first[c]) * 256;
    }
  }

  // Draws red, then green, then blue.
  void New(int /*x*/, Pixel64& slot) {
    int red, green, blue;
    random_.NextThree(&red, &green, &blue);
    slot.r = Channel(0, red);
    slot.g = Channel(1, green);
    slot.b = Channel(2, blue);
  }

 private:
  uint16_t Channel(int c, int draw) const {
    return static_cast<uint16_t>((draw * delta_[c] + base_[c]) >> 15);
  }

  DotRandom random_;
  int64_t base_[3];   // c1*256, in units of 1/32768
  int64_t delta_[3];  // c2*256 - c1*256
};

// Both ramp ends are converted again for every dot (the plug-in's host has conversions of its
// own that may answer differently from call to call), then the dot's hue, saturation and value
// back.
class HsvRampDots {
 public:
  HsvRampDots(uint32_t colour1, uint32_t colour2, uint32_t seed, const ColourConversions& colours)
      : colour1_(colour1), colour2_(colour2), random_(seed), host_(&colours) {}

  // Draws hue, then saturation, then value.
  void New(int /*x*/, Pixel64& slot) {
    int h1 = 0, s1 = 0, v1 = 0, h2 = 0, s2 = 0, v2 = 0;
    host_->RgbToHsv(colour1_, &h1, &s1, &v1);
    host_->RgbToHsv(colour2_, &h2, &s2, &v2);
    const int h = Between(h1, h2);
    const int s = Between(s1, s2);
    const int v = Between(v1, v2);
    const uint32_t rgb = host_->HsvToRgb(h, s, v);
    slot.r = static_cast<uint16_t>(RedOf(rgb) * 256);
    slot.g = static_cast<uint16_t>(GreenOf(rgb) * 256);
    slot.b = static_cast<uint16_t>(BlueOf(rgb) * 256);
  }

 private:
  // The host's integers may be anything: the difference is taken in double (exact for every
  // pair of ints) and the truncation saturates.
  int Between(int first, int second) {
    const double f = random_.NextFraction();
    return SaturatingTrunc(f * (static_cast<double>(second) - static_cast<double>(first)) + first);
  }

  uint32_t colour1_, colour2_;
  DotRandom random_;
  const ColourConversions* host_;
};

// The pattern pixel at the dot's own place, all four words; no random number is drawn.
class PatternDots {
 public:
  PatternDots(PatternReader& pattern, int y) : pattern_(&pattern), y_(y) {}
  void New(int x, Pixel64& slot) { pattern_->Read(x, y_, &slot); }

 private:
  PatternReader* pattern_;
  int y_;
};

}  // namespace zavol
