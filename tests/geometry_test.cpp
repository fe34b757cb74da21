// Viewing geometry, depth range and the per-pixel separation rule. The same table runs natively
// and in the i686 build: equal results prove the floating-point set-up of the cross build.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "render/geometry.h"

namespace {

using zavol::ComputeGeometry;
using zavol::DepthRange;
using zavol::FrameDepthRange;
using zavol::SeparationRule;
using zavol::ViewingGeometry;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kBg = -1e30f;

struct SeparationCase {
  std::string name;
  std::function<void(StereogramSettings&)> edit;
  int width, height;            // depth is row-major, height rows of width values
  std::vector<float> depth;
  std::vector<int> separations; // expected, same order as depth
  float nearest, farthest;      // expected depth range
};

std::vector<int> Separations(const StereogramSettings& s, const SeparationCase& c, DepthRange* range) {
  ViewingGeometry g = ComputeGeometry(s, c.width, c.height, 800, 600);
  *range = FrameDepthRange(s, c.depth.data(), c.width, c.height);
  SeparationRule rule(g, *range);
  std::vector<int> out;
  for (float z : c.depth) out.push_back(rule(z));
  return out;
}

void Keep(StereogramSettings&) {}

class SeparationTable : public ::testing::TestWithParam<SeparationCase> {};

TEST_P(SeparationTable, GivesExpectedRangeAndSeparations) {
  const SeparationCase& c = GetParam();
  StereogramSettings s = DefaultSettings();
  c.edit(s);
  DepthRange range;
  std::vector<int> got = Separations(s, c, &range);
  EXPECT_EQ(got, c.separations);
  EXPECT_EQ(range.nearestDepth, c.nearest);
  EXPECT_EQ(range.farthestDepth, c.farthest);
}

// Defaults on an 800 x 600 15-inch screen: 66.67 pixels per inch, background separation 91.67.
INSTANTIATE_TEST_SUITE_P(
    Geometry, SeparationTable,
    ::testing::Values(
        SeparationCase{"DefaultsNearestAndBackground", Keep, 3, 1, {kBg, -10.0f, -5.0f},
                       {91, 91, 36}, -5.0f, -10.0f},
        SeparationCase{"BackgroundDepthZeroMakesEverySeparationZero",
                       [](StereogramSettings& s) { s.BackgroundDepth = 0.0f; }, 4, 1,
                       {1.0f, -5.0f, kBg, -10.0f}, {0, 1, 1, 1}, -1e30f, -10.0f},
        SeparationCase{"AllBackgroundKeepsInitialRangeAndTakesNearSeparation", Keep, 2, 2,
                       {kBg, kBg, kBg, kBg}, {36, 36, 36, 36}, -1e30f, 1e30f},
        SeparationCase{"AllBackgroundWithNearDepthZeroGivesOne",
                       [](StereogramSettings& s) { s.NearObjectDepth = 0.0f; }, 2, 1, {kBg, kBg},
                       {1, 1}, -1e30f, 1e30f},
        SeparationCase{"AllMinus1e25RaiseTheNearEnd", Keep, 2, 1, {-1e25f, -1e25f}, {36, 36},
                       -1e25f, 1e30f},
        SeparationCase{"SingleScenePixelGetsFarBackgroundGetsNear", Keep, 3, 1,
                       {kBg, -7.0f, kBg}, {36, 91, 36}, -1e30f, -7.0f},
        SeparationCase{"StrictlyDecreasingInVisitingOrderLeavesNearAtInitial", Keep, 3, 1,
                       {-1.0f, -2.0f, -3.0f}, {91, 91, 91}, -1e30f, -3.0f},
        // Columns are visited first: (0,0) -1, (0,1) -2, (1,0) -3, (1,1) -4 strictly decrease.
        // Visiting rows first would have made -2 the near end.
        SeparationCase{"ColumnsAreTheOuterLoopOfTheScan", Keep, 2, 2,
                       {-1.0f, -3.0f, -2.0f, -4.0f}, {91, 91, 91, 91}, -1e30f, -4.0f},
        SeparationCase{"NaNDepthGetsOneAndStaysOutOfTheRange", Keep, 3, 1,
                       {-5.0f, kNaN, -10.0f}, {91, 1, 91}, -1e30f, -10.0f},
        SeparationCase{"EqualDepthsGiveOneEverywhere", Keep, 4, 1, {-4.0f, -4.0f, -4.0f, kBg},
                       {1, 1, 1, 1}, -4.0f, -4.0f},
        SeparationCase{"NegativeSpanGivesBackgroundOne",
                       [](StereogramSettings& s) { s.FarObjectDepth = 0.2f; }, 3, 1,
                       {kBg, -10.0f, -5.0f}, {1, 18, 36}, -5.0f, -10.0f},
        SeparationCase{"ZeroDepthTakesTheComputedPath", Keep, 3, 1, {0.0f, -10.0f, -5.0f},
                       {1, 91, 36}, -5.0f, -10.0f},
        SeparationCase{"PositiveDepthTakesTheBackgroundSeparation", Keep, 3, 1,
                       {0.5f, -10.0f, -5.0f}, {91, 91, 36}, -5.0f, -10.0f},
        SeparationCase{"FixedDistancesWhenAutoDistanceIsOff",
                       [](StereogramSettings& s) {
                         s.AutoDistance = 0;
                         s.NearDistance = 5.0f;
                         s.FarDistance = 10.0f;
                       },
                       3, 1, {kBg, -10.0f, -7.5f}, {91, 91, 64}, -5.0f, -10.0f},
        SeparationCase{"HostileBackgroundDepthMinusOneSaturates",
                       [](StereogramSettings& s) { s.BackgroundDepth = -1.0f; }, 2, 1,
                       {1.0f, -5.0f}, {std::numeric_limits<int>::min(), 1}, -1e30f, -5.0f},
        SeparationCase{"HostileHugeDpiSaturates",
                       [](StereogramSettings& s) {
                         s.ViewingMedium = kMediumCustomDpi;
                         s.CustomDpi = 2000000000;
                       },
                       1, 1, {1.0f}, {std::numeric_limits<int>::max()}, -1e30f, 1.0f}),
    [](const ::testing::TestParamInfo<SeparationCase>& p) { return p.param.name; });

struct ResolutionCase {
  const char* name;
  int32_t medium;
  int width, height;
  float expected;
};

class ResolutionTable : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(ResolutionTable, PixelsPerInch) {
  const ResolutionCase& c = GetParam();
  StereogramSettings s = DefaultSettings();
  s.ViewingMedium = c.medium;
  s.CustomDpi = 300;
  EXPECT_FLOAT_EQ(zavol::PixelsPerInch(s, c.width, c.height, 800, 600), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, ResolutionTable,
    ::testing::Values(ResolutionCase{"Screen15", kMedium15InchMonitor, 10, 10, 1000.0f / 15.0f},
                      ResolutionCase{"Screen21", kMedium21InchMonitor, 10, 10, 1000.0f / 21.0f},
                      ResolutionCase{"A4Paper640x480", kMediumA4Paper, 640, 480, 800.0f / 14.32f},
                      ResolutionCase{"A3PaperLargestImage", kMediumA3Paper, 65535, 65535,
                                     static_cast<float>(std::sqrt(2.0) * 65535.0 / 20.25)},
                      ResolutionCase{"CustomDpi", kMediumCustomDpi, 10, 10, 300.0f},
                      // A loaded record with no known medium renders as the 15-inch screen.
                      ResolutionCase{"UnknownCodeTakesTheDefaultScreen", 0, 10, 10, 1000.0f / 15.0f},
                      ResolutionCase{"UnknownHighCode", 5000, 10, 10, 1000.0f / 15.0f}),
    [](const ::testing::TestParamInfo<ResolutionCase>& p) { return p.param.name; });

TEST(Geometry, DefaultSeparationsOn800x600FifteenInchScreen) {
  ViewingGeometry g = ComputeGeometry(DefaultSettings(), 640, 480, 800, 600);
  EXPECT_FLOAT_EQ(g.pixelsPerInch, 66.666664f);
  EXPECT_EQ(g.eyeBaseInches, 1.375f);
  EXPECT_FLOAT_EQ(g.maxSeparation, 91.666664f);
  EXPECT_FLOAT_EQ(g.nearSeparation, 36.666668f);
  EXPECT_FLOAT_EQ(g.farSeparation, 91.666664f);
  EXPECT_FLOAT_EQ(g.separationSpan, 55.0f);
}

TEST(Geometry, SaturatingTruncIsDefinedForEveryDouble) {
  EXPECT_EQ(zavol::SaturatingTrunc(std::nan("")), 0);
  EXPECT_EQ(zavol::SaturatingTrunc(INFINITY), std::numeric_limits<int>::max());
  EXPECT_EQ(zavol::SaturatingTrunc(-INFINITY), std::numeric_limits<int>::min());
  EXPECT_EQ(zavol::SaturatingTrunc(3e9), std::numeric_limits<int>::max());
  EXPECT_EQ(zavol::SaturatingTrunc(-3e9), std::numeric_limits<int>::min());
  EXPECT_EQ(zavol::SaturatingTrunc(-2.9), -2);
  EXPECT_EQ(zavol::SaturatingTrunc(0.99), 0);
  EXPECT_EQ(zavol::SaturatingTrunc(91.67), 91);
}

// The row-major scan must agree with the plain column-major scan on every input.
TEST(Geometry, ScanMatchesColumnMajorReferenceOnRandomFrames) {
  uint32_t state = 7;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  const float specials[] = {kBg, -1e25f, 1e25f, 2e30f, kNaN, 0.0f, 1.0f, -1e20f, 1e20f};
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + next() % 9, h = 1 + next() % 9;
    std::vector<float> d(w * h);
    for (float& z : d) {
      const uint32_t pick = next() % 12;
      z = pick < 9 ? specials[pick] : -static_cast<float>(next() % 50) / 4.0f;
    }
    float far = 1e30f, near = -1e30f;
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) {
        const float z = d[y * w + x];
        if (z < far && z > -1e20f) far = z;
        else if (z > near && z < 1e20f) near = z;
      }
    DepthRange r = zavol::ScanDepthRange(d.data(), w, h);
    ASSERT_EQ(r.farthestDepth, far) << "trial " << trial;
    ASSERT_EQ(r.nearestDepth, near) << "trial " << trial;
  }
}

}  // namespace
