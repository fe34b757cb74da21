// The host's colour conversions on the 0..255 scale: exact greys and primaries, and round trips
// within the error that the quantised hue allows. Portable: runs natively and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "render/hsv.h"

namespace {

uint32_t Rgb(int r, int g, int b) { return static_cast<uint32_t>(r | (g << 8) | (b << 16)); }

struct Hsv {
  int h, s, v;
};

Hsv ToHsv(uint32_t rgb) {
  Hsv result{-1, -1, -1};
  zavol::RgbToHsv255(rgb, &result.h, &result.s, &result.v);
  return result;
}

int Channel(uint32_t rgb, int index) { return static_cast<int>((rgb >> (8 * index)) & 0xFF); }

int LargestChannelError(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(Channel(a, i) - Channel(b, i)));
  return worst;
}

int HueDistance(int a, int b) {
  const int d = std::abs(a - b);
  return std::min(d, 255 - d);
}

struct ExactCase {
  const char* name;
  uint32_t rgb;
  Hsv hsv;
};

// Both directions give these exactly.
const ExactCase kExact[] = {
    {"black", Rgb(0, 0, 0), {0, 0, 0}},
    {"white", Rgb(255, 255, 255), {0, 0, 255}},
    {"mid grey", Rgb(128, 128, 128), {0, 0, 128}},
    {"dark grey", Rgb(1, 1, 1), {0, 0, 1}},
    {"red", Rgb(255, 0, 0), {0, 255, 255}},
    {"green", Rgb(0, 255, 0), {85, 255, 255}},
    {"blue", Rgb(0, 0, 255), {170, 255, 255}},
    {"half red", Rgb(128, 0, 0), {0, 255, 128}},
    {"half blue", Rgb(0, 0, 100), {170, 255, 100}},
    {"pale green", Rgb(0, 255, 0) | Rgb(51, 0, 51), {85, 204, 255}},
};

TEST(HsvConversion, GreysAndPrimariesConvertExactlyBothWays) {
  for (const ExactCase& c : kExact) {
    SCOPED_TRACE(c.name);
    const Hsv hsv = ToHsv(c.rgb);
    EXPECT_EQ(hsv.h, c.hsv.h);
    EXPECT_EQ(hsv.s, c.hsv.s);
    EXPECT_EQ(hsv.v, c.hsv.v);
    EXPECT_EQ(zavol::HsvToRgb255(c.hsv.h, c.hsv.s, c.hsv.v), c.rgb);
  }
}

TEST(HsvConversion, TopByteOfTheColourWordIsIgnored) {
  const Hsv plain = ToHsv(Rgb(10, 200, 30));
  const Hsv tagged = ToHsv(Rgb(10, 200, 30) | 0xFF000000u);
  EXPECT_EQ(plain.h, tagged.h);
  EXPECT_EQ(plain.s, tagged.s);
  EXPECT_EQ(plain.v, tagged.v);
}

struct ClampCase {
  const char* name;
  Hsv in;
  uint32_t rgb;
};

TEST(HsvConversion, ComponentsOutsideTheScaleAreClamped) {
  const ClampCase cases[] = {
      {"negative value is black", {40, 255, -7}, Rgb(0, 0, 0)},
      {"value above 255 is full", {0, 255, 900}, Rgb(255, 0, 0)},
      {"negative saturation is grey", {40, -3, 77}, Rgb(77, 77, 77)},
      {"hue 255 is hue 0", {255, 255, 255}, Rgb(255, 0, 0)},
      {"hue above 255 clamps to 255, i.e. 0", {5000, 255, 255}, Rgb(255, 0, 0)},
      {"negative hue is hue 0", {-20, 255, 255}, Rgb(255, 0, 0)},
  };
  for (const ClampCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(zavol::HsvToRgb255(c.in.h, c.in.s, c.in.v), c.rgb);
  }
}

// One hue step is 6/255 of a sector; a colour between two steps is moved by at most half a
// step, i.e. chroma * 3/255 <= 3 units in the channel that varies within the sector. The
// rounding of saturation and of the channels stays inside that in practice: the whole cube's
// worst case is 3 (checked exhaustively), which the grid below reaches, e.g. at (0, 3, 234).
TEST(HsvConversion, RgbRoundTripStaysWithinHalfAHueStep) {
  int worst = 0;
  for (int r = 0; r < 256; r += 3) {
    for (int g = 0; g < 256; g += 3) {
      for (int b = 0; b < 256; b += 3) {
        const uint32_t rgb = Rgb(r, g, b);
        const Hsv hsv = ToHsv(rgb);
        ASSERT_GE(hsv.h, 0);
        ASSERT_LE(hsv.h, 254);
        ASSERT_EQ(hsv.v, std::max(r, std::max(g, b)));
        const uint32_t back = zavol::HsvToRgb255(hsv.h, hsv.s, hsv.v);
        const int error = LargestChannelError(rgb, back);
        ASSERT_LE(error, 3) << r << "," << g << "," << b;
        worst = std::max(worst, error);
      }
    }
  }
  EXPECT_EQ(worst, 3);  // the bound is tight: a looser conversion would show here first
}

// From HSV, the value always survives; the hue is defined only where the colour has enough
// chroma (v * s / 255) to tell the hue steps apart: one hue step moves the varying channel by
// chroma * 6/255, so from a chroma of 85 on (two units a step) the hue comes back exactly.
TEST(HsvConversion, HsvRoundTripIsStableWhereHueIsDefined) {
  for (int h = 0; h < 255; h += 2) {
    for (int s = 0; s < 256; s += 3) {
      for (int v = 0; v < 256; v += 3) {
        const uint32_t rgb = zavol::HsvToRgb255(h, s, v);
        const Hsv back = ToHsv(rgb);
        ASSERT_EQ(back.v, v) << h << "," << s << "," << v;
        if (s == 0 || v == 0) {
          ASSERT_EQ(back.s, 0);
          ASSERT_EQ(back.h, 0);
        } else if (v * s >= 85 * 255) {
          ASSERT_EQ(back.h, h) << h << "," << s << "," << v;
          ASSERT_LE(std::abs(back.s - s), 1) << h << "," << s << "," << v;
        } else if (v * s >= 25 * 255) {
          ASSERT_LE(HueDistance(back.h, h), 1) << h << "," << s << "," << v;
        }
        // A second trip through HSV settles: the colour moves by at most one unit.
        ASSERT_LE(LargestChannelError(zavol::HsvToRgb255(back.h, back.s, back.v), rgb), 1);
      }
    }
  }
}

// The HSV ramp hands HSVtoRGB hues between two results of RGBtoHSV: every hue on the circle
// gives a fully saturated colour of the expected sector.
TEST(HsvConversion, EveryHueOfFullChromaHasOneFullChannelAndOneEmpty) {
  for (int h = 0; h < 255; ++h) {
    const uint32_t rgb = zavol::HsvToRgb255(h, 255, 255);
    int full = 0, empty = 0;
    for (int i = 0; i < 3; ++i) {
      full += Channel(rgb, i) == 255;
      empty += Channel(rgb, i) == 0;
    }
    EXPECT_GE(full, 1) << h;
    EXPECT_GE(empty, 1) << h;
    EXPECT_EQ(ToHsv(rgb).h, h);
  }
}

}  // namespace
