// The engine through a recording frame host: call order, progress and abort, the seed, copy marks
// and ghosting, the dot sources, the guide, and empty or hostile frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "render/frame.h"
#include "shell/frame_host.h"
#include "render/geometry.h"
#include "render/random.h"
#include "render/scene.h"
#include "render/separation_table.h"
#include "render/hsv.h"
#include "tests/engine_support.h"

namespace {

using enginetest::Pixel64;
using enginetest::RecordingHost;

constexpr float kBg = -1e30f;
const Pixel64 kWhite{65535, 65535, 65535, 65535};

std::vector<float> Flat(int width, int height, float z) {
  return std::vector<float>(static_cast<std::size_t>(width) * height, z);
}

bool SameColour(const Pixel64& a, const Pixel64& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// Every pixel a new dot: a background separation far wider than the frame.
StereogramSettings AllNewDots() {
  StereogramSettings s = DefaultSettings();
  s.RandomizeEachFrame = 0;
  s.AutoDistance = 0;
  s.ViewingMedium = kMediumCustomDpi;
  s.CustomDpi = 100000;
  return s;
}

TEST(EngineCalls, FollowTheFrameOrder) {
  RecordingHost host(3, 2, Flat(3, 2, kBg));
  host.calendarTime = 99;
  StereogramSettings s = DefaultSettings();
  ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
  const std::vector<std::string> expected = {
      "DepthChannel", "Height", "Width", "ScreenSize", "CalendarTime", "HasPattern",
      "Height", "Progress 0", "PutPixels 0,0,3",
      "Height", "Progress 1", "PutPixels 0,1,3",
      "DebugLine"};
  EXPECT_EQ(host.calls, expected);
  EXPECT_EQ(host.progress, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}}));
  ASSERT_EQ(host.debugLines.size(), 1u);
  EXPECT_EQ(host.debugLines[0], 1e30f);  // no scene depth lowered the far end
}

TEST(EngineCalls, FixedSeedNeverAsksForTheTime) {
  RecordingHost host(2, 1, Flat(2, 1, kBg));
  StereogramSettings s = DefaultSettings();
  s.RandomizeEachFrame = 0;
  zavol::RenderStereogram(s, host);
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "CalendarTime"), 0);
}

TEST(EngineCalls, NoDepthChannelStopsAtOnce) {
  RecordingHost host(4, 4, Flat(4, 4, kBg));
  host.nullDepth = true;
  EXPECT_EQ(zavol::RenderStereogram(DefaultSettings(), host), 0);
  EXPECT_EQ(host.calls, std::vector<std::string>{"DepthChannel"});
}

TEST(EngineCalls, HeightZeroWritesNoRowButPrintsAndSucceeds) {
  RecordingHost host(5, 0, {});
  EXPECT_EQ(zavol::RenderStereogram(DefaultSettings(), host), 1);
  EXPECT_TRUE(host.progress.empty());
  EXPECT_TRUE(host.runs.empty());
  EXPECT_EQ(host.debugLines.size(), 1u);
}

// A frame without columns still reports every row (so the host can stop it) and writes empty
// rows; it is not a failure.
TEST(EngineCalls, WidthZeroReportsEveryRowAndSucceeds) {
  RecordingHost host(0, 3, {});
  StereogramSettings s = DefaultSettings();
  s.PutGuidePoints = 1;
  EXPECT_EQ(zavol::RenderStereogram(s, host), 1);
  EXPECT_EQ(host.progress.size(), 3u);
  ASSERT_EQ(host.runs.size(), 3u);  // the guide does not fit
  for (const auto& run : host.runs) EXPECT_EQ(run.count, 0);
  EXPECT_EQ(host.debugLines.size(), 1u);
}

TEST(EngineCalls, NegativeSizesAreEmptyFrames) {
  RecordingHost host(-4, -2, {});
  EXPECT_EQ(zavol::RenderStereogram(DefaultSettings(), host), 1);
  EXPECT_TRUE(host.runs.empty());
  EXPECT_EQ(host.debugLines.size(), 1u);
}

TEST(EngineAbort, StopBeforeRowZeroStillDrawsTheGuide) {
  RecordingHost host(640, 20, Flat(640, 20, kBg));
  host.screenWidth = 800;
  host.screenHeight = 600;
  host.abortAtRow = 0;
  StereogramSettings s = DefaultSettings();
  s.PutGuidePoints = 1;
  EXPECT_EQ(zavol::RenderStereogram(s, host), 0);
  EXPECT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.debugLines.size(), 1u);
  for (const auto& run : host.runs) EXPECT_NE(run.count, 640) << "a stereogram row was written";
  EXPECT_EQ(host.runs.size(), 11u + 14u);
  EXPECT_EQ(host.At(228, 5), kWhite);
  EXPECT_EQ(host.At(271, 7), (Pixel64{0, 0, 0, 0}));
  EXPECT_EQ(host.At(0, 0), RecordingHost::kUntouched);
}

TEST(EngineAbort, RowsBeforeTheStopStay) {
  RecordingHost host(50, 6, Flat(50, 6, kBg));
  host.abortAtRow = 2;
  EXPECT_EQ(zavol::RenderStereogram(DefaultSettings(), host), 0);
  EXPECT_EQ(host.runs.size(), 2u);
  EXPECT_EQ(host.progress.size(), 3u);
  EXPECT_EQ(host.At(10, 1).a, 65535);
  EXPECT_EQ(host.At(10, 2), RecordingHost::kUntouched);
  EXPECT_EQ(host.debugLines.size(), 1u);
}

// Background separation 91.67 on an 800 x 600 screen: band 183 wide at column 228, squares at
// 271 and 362, and alpha 0 nowhere else.
TEST(EngineGuide, SitsWhereTheBackgroundSeparationPutsIt) {
  const int w = 640, h = 24;
  RecordingHost host(w, h, Flat(w, h, kBg));
  host.screenWidth = 800;
  host.screenHeight = 600;
  StereogramSettings s = DefaultSettings();
  s.PutGuidePoints = 1;
  ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool band = y >= 5 && y <= 15 && x >= 228 && x <= 410;
      const bool square =
          y >= 7 && y <= 13 && ((x >= 271 && x < 278) || (x >= 362 && x < 369));
      const Pixel64& p = host.At(x, y);
      if (square) {
        ASSERT_EQ(p, (Pixel64{0, 0, 0, 0})) << x << "," << y;
      } else if (band) {
        ASSERT_EQ(p, kWhite) << x << "," << y;
      } else {
        ASSERT_EQ(p.a, 65535) << x << "," << y;
        ASSERT_FALSE(p == kWhite) << "random dots never reach 65535: " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(host.pixelsOutsideImage, 0);
}

TEST(EngineGuide, TooWideForTheImageDrawsNothing) {
  RecordingHost host(183, 20, Flat(183, 20, kBg));  // 2 x 91.67 >= width - 1
  host.screenWidth = 800;
  host.screenHeight = 600;
  StereogramSettings s = DefaultSettings();
  s.PutGuidePoints = 1;
  zavol::RenderStereogram(s, host);
  EXPECT_EQ(host.runs.size(), 20u);
}

// Separation 0: both squares on ((width >> 1) - 3), a band of no pixels; narrower than a
// square, and nothing is read past the row buffer (the recording host reads every run).
TEST(EngineGuide, ZeroSeparationOnImagesNarrowerThanASquare) {
  for (int w = 1; w <= 8; ++w) {
    RecordingHost host(w, 16, Flat(w, 16, kBg));
    StereogramSettings s = DefaultSettings();
    s.BackgroundDepth = 0.0f;
    s.PutGuidePoints = 1;
    ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
    ASSERT_GE(host.runs.size(), 16u);
    int squares = 0;
    for (std::size_t i = 16; i < host.runs.size(); ++i) {  // after the 16 rows
      const enginetest::Run& run = host.runs[i];
      {
        if (run.count == 7) {
          ++squares;
          EXPECT_EQ(run.x, (w >> 1) - 3);
        } else {
          EXPECT_EQ(run.count, 0) << "band of a zero separation";
        }
      }
    }
    EXPECT_EQ(squares, w >= 2 ? 14 : 0) << "width " << w;  // width 1: barX is 0
  }
}

// With AutoDistance off and nothing but background, every pixel has the background separation:
// a row is its first trunc(91.67) dots repeated, whatever PreventGhosting says.
TEST(EngineRows, FlatBackgroundRowsArePeriodic) {
  for (int ghosting = 0; ghosting <= 1; ++ghosting) {
    const int w = 400, h = 5;
    RecordingHost host(w, h, Flat(w, h, kBg));
    host.screenWidth = 800;
    host.screenHeight = 600;
    StereogramSettings s = DefaultSettings();
    s.AutoDistance = 0;
    s.PreventGhosting = ghosting;
    ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
    for (int y = 0; y < h; ++y) {
      int distinct = 0;
      for (int x = 1; x < 91; ++x) distinct += !SameColour(host.At(x, y), host.At(0, y));
      EXPECT_GT(distinct, 80) << "the first period is random dots";
      for (int x = 91; x < w; ++x) {
        ASSERT_EQ(host.At(x, y), host.At(x - 91, y)) << "ghosting " << ghosting << " " << x << "," << y;
      }
    }
  }
}

// Near pixels (separation 36) then far ones (91): the far pixels link to sources the near ones
// already repeated. With ghosting prevented they take new dots, otherwise repeat again.
TEST(EngineRows, GrowingSeparationSharesSourcesOnlyWithoutGhostingPrevention) {
  for (int ghosting = 0; ghosting <= 1; ++ghosting) {
    std::vector<float> depth(200);
    for (int x = 0; x < 200; ++x) depth[x] = x < 100 ? -5.0f : -10.0f;
    RecordingHost host(200, 1, depth);
    host.screenWidth = 800;
    host.screenHeight = 600;
    StereogramSettings s = DefaultSettings();
    s.PreventGhosting = ghosting;
    ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
    for (int x = 36; x < 100; ++x) ASSERT_EQ(host.At(x, 0), host.At(x - 36, 0));
    int repeated = 0;
    for (int x = 100; x < 155; ++x) repeated += SameColour(host.At(x, 0), host.At(x - 91, 0));
    EXPECT_EQ(repeated, ghosting ? 0 : 55);
    for (int x = 155; x < 200; ++x) ASSERT_EQ(host.At(x, 0), host.At(x - 91, 0)) << x;
  }
}

// Far then near: separations shrink, no source is wanted twice, every pixel repeats its source.
TEST(EngineRows, ShrinkingSeparationNeverSharesASource) {
  std::vector<float> depth(200);
  for (int x = 0; x < 200; ++x) depth[x] = x < 100 ? -10.0f : -5.0f;
  RecordingHost host(200, 1, depth);
  host.screenWidth = 800;
  host.screenHeight = 600;
  ASSERT_EQ(zavol::RenderStereogram(DefaultSettings(), host), 1);
  for (int x = 91; x < 100; ++x) ASSERT_EQ(host.At(x, 0), host.At(x - 91, 0));
  for (int x = 100; x < 200; ++x) ASSERT_EQ(host.At(x, 0), host.At(x - 36, 0)) << x;
}

// A stretch of separation 36 after background (91) is copied in bulk once nothing before it can
// have repeated its sources, but here a depth that is not a number (separation 1) just inside
// that window has repeated the source of the stretch's first pixel, which must take a new dot.
TEST(EngineRows, ARepeatJustBeforeANearerStretchIsHonoured) {
  std::vector<float> depth(320, kBg);
  depth[200 - 35] = std::nanf("");
  for (int x = 200; x < 300; ++x) depth[x] = -5.0f;
  for (int x = 300; x < 320; ++x) depth[x] = -10.0f;
  RecordingHost engine(320, 1, depth), reference(320, 1, depth);
  engine.screenWidth = reference.screenWidth = 800;
  engine.screenHeight = reference.screenHeight = 600;
  zavol::RenderStereogram(DefaultSettings(), engine);
  enginetest::ReferenceRender(DefaultSettings(), reference);
  EXPECT_EQ(engine.At(165, 0), engine.At(164, 0)) << "separation 1 repeats its neighbour";
  EXPECT_FALSE(SameColour(engine.At(200, 0), engine.At(164, 0))) << "the source was taken";
  EXPECT_EQ(engine.At(201, 0), engine.At(165, 0));
  EXPECT_EQ(engine.canvas, reference.canvas);
}

// Separation 0 (BackgroundDepth 0, depths behind the camera): a pixel is its own source. Row 0
// has no marks yet: a new dot with ghosting prevented, the buffer's black without. Later rows
// keep the row above.
TEST(EngineRows, ZeroSeparationKeepsTheRowAbove) {
  for (int ghosting = 0; ghosting <= 1; ++ghosting) {
    RecordingHost host(30, 4, Flat(30, 4, 1.0f));
    StereogramSettings s = DefaultSettings();
    s.BackgroundDepth = 0.0f;
    s.PreventGhosting = ghosting;
    ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
    int black = 0;
    for (int x = 0; x < 30; ++x) {
      black += host.At(x, 0) == Pixel64{0, 0, 0, 65535};
      for (int y = 1; y < 4; ++y) ASSERT_EQ(host.At(x, y), host.At(x, 0));
    }
    EXPECT_EQ(black, ghosting ? 0 : 30);
  }
}

TEST(EngineSeed, SameSettingsSameFrame) {
  const std::vector<float> depth = zavol::MakeDemoScene(120, 40);
  StereogramSettings s = DefaultSettings();
  s.RandomizeEachFrame = 0;
  RecordingHost first(120, 40, depth), second(120, 40, depth);
  zavol::RenderStereogram(s, first);
  zavol::RenderStereogram(s, second);
  EXPECT_EQ(first.canvas, second.canvas);
}

// The calendar time is the seed: the same time gives the same frame, another time another
// frame, and time 0 the frame of the fixed seed.
TEST(EngineSeed, RandomizeEachFrameSeedsFromTheCalendarTime) {
  const std::vector<float> depth = zavol::MakeDemoScene(120, 40);
  auto render = [&depth](int randomize, uint32_t time) {
    RecordingHost host(120, 40, depth);
    host.calendarTime = time;
    StereogramSettings s = DefaultSettings();
    s.RandomizeEachFrame = randomize;
    zavol::RenderStereogram(s, host);
    return host.canvas;
  };
  EXPECT_EQ(render(1, 1234), render(1, 1234));
  EXPECT_NE(render(1, 1234), render(1, 1235));
  EXPECT_EQ(render(1, 0), render(0, 777));
}

struct RampRange {
  const char* name;
  uint32_t colour1, colour2;
  uint16_t lowest, highest;  // over every channel of every dot
};

class EngineRgbRamp : public ::testing::TestWithParam<RampRange> {};

// 65536 dots, enough for the generator to reach both ends of its range.
TEST_P(EngineRgbRamp, ChannelsSpanExactlyTheRange) {
  const RampRange& c = GetParam();
  RecordingHost host(256, 256, Flat(256, 256, kBg));
  StereogramSettings s = AllNewDots();
  s.Color1 = c.colour1;
  s.Color2 = c.colour2;
  ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
  uint16_t lowest = 65535, highest = 0;
  for (const Pixel64& p : host.canvas) {
    for (uint16_t v : {p.r, p.g, p.b}) {
      lowest = std::min(lowest, v);
      highest = std::max(highest, v);
    }
  }
  EXPECT_EQ(lowest, c.lowest);
  EXPECT_EQ(highest, c.highest);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, EngineRgbRamp,
    ::testing::Values(
        // trunc(32767 / 32768 * 65280) = 65278: the fraction never reaches 1.
        RampRange{"BlackToWhite", 0x000000, 0xFFFFFF, 0, 65278},
        // Downwards, truncation toward zero never reaches the lower end.
        RampRange{"WhiteToBlack", 0xFFFFFF, 0x000000, 1, 65280},
        RampRange{"EqualColours", 0x808080, 0x808080, 0x8000, 0x8000}),
    [](const ::testing::TestParamInfo<RampRange>& p) { return p.param.name; });

TEST(EngineDots, EqualRgbColoursGiveOneColourPerChannel) {
  RecordingHost host(64, 8, Flat(64, 8, kBg));
  StereogramSettings s = AllNewDots();
  s.Color1 = s.Color2 = 0x336699;  // red 0x99, green 0x66, blue 0x33
  ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
  for (const Pixel64& p : host.canvas) ASSERT_EQ(p, (Pixel64{0x9900, 0x6600, 0x3300, 65535}));
}

// Both ends converted for every dot, one conversion back per dot; equal ends give one colour.
TEST(EngineDots, HsvRampWithEqualEndsIsConstant) {
  RecordingHost host(40, 6, Flat(40, 6, kBg));
  StereogramSettings s = AllNewDots();
  s.RampMode = kRampHsv;
  s.Color1 = s.Color2 = 0x1080E0;
  ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
  int h, sat, v;
  zavol::RgbToHsv255(0x1080E0, &h, &sat, &v);
  const uint32_t rgb = zavol::HsvToRgb255(h, sat, v);
  const Pixel64 expected{static_cast<uint16_t>((rgb & 0xFF) * 256),
                         static_cast<uint16_t>(((rgb >> 8) & 0xFF) * 256),
                         static_cast<uint16_t>(((rgb >> 16) & 0xFF) * 256), 65535};
  for (const Pixel64& p : host.canvas) ASSERT_EQ(p, expected);
  EXPECT_EQ(host.rgbToHsvCalls, 2 * 40 * 6);
  EXPECT_EQ(host.hsvToRgbCalls, 40 * 6);
}

// Any RampMode but the RGB one is the HSV ramp.
TEST(EngineDots, UnknownRampModeIsHsv) {
  RecordingHost host(10, 2, Flat(10, 2, kBg));
  StereogramSettings s = AllNewDots();
  s.RampMode = 0;
  zavol::RenderStereogram(s, host);
  EXPECT_EQ(host.hsvToRgbCalls, 20);
}

// The pattern's own pixel at each new dot, all four words before the alpha is set; the ramp
// settings do not matter and the host's colour conversions are never asked.
TEST(EngineDots, PatternSuppliesEveryNewDot) {
  const int w = 23, h = 7;
  RecordingHost host(w, h, Flat(w, h, kBg));
  host.hasPattern = true;
  host.patternWidth = w;
  host.patternHeight = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      host.pattern.push_back(Pixel64{static_cast<uint16_t>(x * 1000 + 1),
                                     static_cast<uint16_t>(y * 3000 + 2), 7, 8});
  StereogramSettings s = AllNewDots();
  s.RampMode = kRampHsv;
  ASSERT_EQ(zavol::RenderStereogram(s, host), 1);
  EXPECT_EQ(host.patternReads, w * h);
  EXPECT_EQ(host.rgbToHsvCalls + host.hsvToRgbCalls, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Pixel64 expected = host.pattern[y * w + x];
      expected.a = 65535;
      ASSERT_EQ(host.At(x, y), expected);
    }
}

// A pattern narrower than the frame refuses the reads beyond it: those pixels keep what the
// row buffer held (black at first, then the row above).
TEST(EngineDots, RefusedPatternReadKeepsTheBufferColour) {
  RecordingHost host(6, 3, Flat(6, 3, kBg));
  host.hasPattern = true;
  host.patternWidth = 2;
  host.patternHeight = 3;
  host.pattern.assign(6, Pixel64{500, 600, 700, 800});
  ASSERT_EQ(zavol::RenderStereogram(AllNewDots(), host), 1);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(host.At(1, y), (Pixel64{500, 600, 700, 65535}));
    EXPECT_EQ(host.At(4, y), (Pixel64{0, 0, 0, 65535}));
  }
}

// The span form of the separation rule against the rule itself, value by value, over ordinary,
// special and hostile depths and geometries, at every length and offset (vector bodies and
// tails alike).
TEST(EngineSeparations, SpanGivesTheRuleBitForBit) {
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {kBg, -1e25f, 1e25f, std::nanf(""), 0.0f, -0.0f, 1.0f, -1e20f,
                            inf, -inf, 1e-40f, -1e-40f, -3.0f, -7.5f, -1e6f};
  std::vector<float> depth(300);
  for (float& z : depth) {
    const uint32_t pick = next() % 20;
    z = pick < 15 ? specials[pick] : -static_cast<float>(next() % 4000) / 64.0f;
  }
  struct Setup {
    float background, nearObject, farObject;
    int dpi;
    float nearest, farthest;
  };
  const Setup setups[] = {
      {1.0f, 0.4f, 1.0f, 150, -3.0f, -40.0f},    {1.0f, 0.4f, 1.0f, 150, -1e30f, 1e30f},
      {0.0f, 0.4f, 1.0f, 150, -3.0f, -40.0f},    {-0.5f, 0.4f, 1.0f, 150, -3.0f, -40.0f},
      {-1.0f, 0.4f, 1.0f, 150, -3.0f, -40.0f},   {1.0f, 1.0f, 0.2f, 150, -3.0f, -40.0f},
      {1.0f, 0.4f, 1.0f, 2000000000, -3.0f, -40.0f}, {1.0f, 0.4f, 1.0f, -5, -3.0f, -40.0f},
      {1.0f, 0.4f, 1.0f, 150, -4.0f, -4.0f},     {100.0f, 0.0f, 1.0f, 2400, 0.0f, -0.0f},
      {1.0f, -0.3f, 1.0f, 150, -3.0f, -40.0f},   {1.0f, 0.4f, 1.0f, 150, std::nanf(""), -40.0f}};
  for (const Setup& setup : setups) {
    StereogramSettings s = DefaultSettings();
    s.BackgroundDepth = setup.background;
    s.NearObjectDepth = setup.nearObject;
    s.FarObjectDepth = setup.farObject;
    s.ViewingMedium = kMediumCustomDpi;
    s.CustomDpi = setup.dpi;
    const zavol::SeparationRule rule(zavol::ComputeGeometry(s, 10, 10, 800, 600),
                                     zavol::DepthRange{setup.nearest, setup.farthest});
    for (std::size_t offset = 0; offset < 9; ++offset) {
      for (std::size_t count = 0; count < 40; ++count) {
        std::vector<int32_t> got(count + 1, 424242);
        rule.Fill(depth.data() + offset, count, got.data());
        for (std::size_t i = 0; i < count; ++i) {
          ASSERT_EQ(got[i], rule(depth[offset + i])) << "z " << depth[offset + i];
        }
        ASSERT_EQ(got[count], 424242) << "written past the span";
      }
    }
    std::vector<int32_t> all(depth.size());
    rule.Fill(depth.data(), depth.size(), all.data());
    for (std::size_t i = 0; i < depth.size(); ++i) ASSERT_EQ(all[i], rule(depth[i]));
    // Runs of one depth (which the span form may recognise and not divide again), broken by
    // values that differ only in their bits (0 and -0, two NaNs) or by one lane.
    const float otherNaN = -std::nanf("");
    const float runValues[] = {kBg, -3.0f, 0.0f, -0.0f, std::nanf(""), otherNaN, -7.25f, 2.0f};
    std::vector<float> runs;
    while (runs.size() < 2000) {
      const float v = runValues[next() % 8];
      const std::size_t length = 1 + next() % 40;
      for (std::size_t k = 0; k < length; ++k) runs.push_back(v);
    }
    std::vector<int32_t> fromRuns(runs.size());
    for (std::size_t offset = 0; offset < 8; ++offset) {
      rule.Fill(runs.data() + offset, runs.size() - offset, fromRuns.data());
      for (std::size_t i = 0; i + offset < runs.size(); ++i) {
        ASSERT_EQ(fromRuns[i], rule(runs[i + offset])) << i;
      }
    }
  }
}

// Columns first: -0 at (0,0) becomes the far end, +0 at (0,1) the near end before -0 at (1,0)
// is seen. Which zero is which decides the sign of the background's depth fraction (the span
// far - near is -0 here), so the background pixel at (1,1) gets the background separation, not 1.
TEST(EngineScan, SignedZeroTiesFollowTheColumnOrder) {
  const std::vector<float> depth = {-0.0f, -0.0f, 0.0f, kBg};
  const zavol::DepthRange range = zavol::ScanDepthRange(depth.data(), 2, 2);
  EXPECT_TRUE(std::signbit(range.farthestDepth));
  EXPECT_FALSE(std::signbit(range.nearestDepth));
  RecordingHost engine(2, 2, depth), reference(2, 2, depth);
  zavol::RenderStereogram(DefaultSettings(), engine);
  enginetest::ReferenceRender(DefaultSettings(), reference);
  EXPECT_EQ(engine.canvas, reference.canvas);
}

// The row-major scan against the column scan written out, bit for bit (signs of zero included),
// over frames wide enough for vector bodies and tails, with values on both sides of the
// background limits and records that do and do not lower the far end.
TEST(EngineScan, RowMajorScanGivesTheColumnScanBitForBit) {
  uint32_t state = 99;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {kBg, -1e25f, 1e25f, 2e30f, 1e30f, std::nanf(""), 0.0f, -0.0f,
                            1.0f, -1e20f, 1e20f, inf, -inf, 5e19f, -5e19f};
  auto bits = [](float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
  };
  for (int trial = 0; trial < 3000; ++trial) {
    const int w = 1 + next() % 40, h = 1 + next() % 12;
    const uint32_t mix = next() % 4;  // how often a special value appears
    std::vector<float> d(static_cast<std::size_t>(w) * h);
    for (float& z : d) {
      z = next() % 8 < 2 + mix ? specials[next() % 15]
                               : -static_cast<float>(next() % (trial % 7 == 0 ? 3 : 60)) / 4.0f;
    }
    float far = 1e30f, near = -1e30f;
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) {
        const float z = d[y * w + x];
        if (z < far && z > -1e20f) {
          far = z;
        } else if (z > near && z < 1e20f) {
          near = z;
        }
      }
    }
    const zavol::DepthRange r = zavol::ScanDepthRange(d.data(), w, h);
    ASSERT_EQ(bits(r.farthestDepth), bits(far)) << "trial " << trial;
    ASSERT_EQ(bits(r.nearestDepth), bits(near)) << "trial " << trial;
  }
}

// The table of depth intervals against the rule: every interval's ends have its separation and
// the depths just outside them another one, and the table's row fill gives the rule's bits for
// smooth slopes (long stays in one interval), steps and special values, over ordinary, fixed,
// reversed and hostile geometries (those the table cannot hold fall back to the rule).
TEST(EngineSeparations, TableOfIntervalsGivesTheRuleBitForBit) {
  struct Setup {
    const char* name;
    void (*edit)(StereogramSettings&);
    float nearest, farthest;
    bool usable;
  };
  const Setup setups[] = {
      {"defaults", [](StereogramSettings&) {}, -4.5f, -20.0f, true},
      {"all background", [](StereogramSettings&) {}, -1e30f, 1e30f, true},
      {"fixed distances", [](StereogramSettings&) {}, -0.0f, -1000.0f, true},
      {"reversed span", [](StereogramSettings& s) { s.FarObjectDepth = 0.1f; }, -4.5f, -20.0f,
       true},
      {"negative separations", [](StereogramSettings& s) { s.BackgroundDepth = -0.5f; }, -4.5f,
       -20.0f, true},
      {"near object behind", [](StereogramSettings& s) { s.NearObjectDepth = -0.7f; }, -4.5f,
       -20.0f, true},
      {"paper fine steps",
       [](StereogramSettings& s) {
         s.ViewingMedium = kMediumCustomDpi;
         s.CustomDpi = 2400;
       },
       -4.5f, -20.0f, false},  // more steps than the table holds
      {"equal depths", [](StereogramSettings&) {}, -4.0f, -4.0f, false},
      {"zero span", [](StereogramSettings& s) { s.FarObjectDepth = s.NearObjectDepth = 0.0f; },
       -4.5f, -20.0f, false},
  };
  uint32_t state = 5;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (const Setup& setup : setups) {
    StereogramSettings s = DefaultSettings();
    setup.edit(s);
    const zavol::SeparationRule rule(zavol::ComputeGeometry(s, 100, 100, 1920, 1080),
                                     zavol::DepthRange{setup.nearest, setup.farthest});
    const zavol::SeparationTable table(rule);
    ASSERT_EQ(table.usable(), setup.usable) << setup.name;
    std::vector<float> depth;
    for (int i = 0; i < 4000; ++i) depth.push_back(-2.0f - 25.0f * static_cast<float>(i) / 4000.0f);
    for (int i = 0; i < 3000; ++i) depth.push_back(-30.0f + 29.9f * static_cast<float>(i) / 3000.0f);
    for (int i = 0; i < 500; ++i) depth.push_back(-static_cast<float>(next() % 4000) / 100.0f);
    const float specials[] = {kBg, 0.0f, -0.0f, 1.0f, std::nanf(""), -1e-40f, -1e38f,
                              -std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 300; ++i) depth.push_back(specials[next() % 8]);
    for (int i = 0; i < 300; ++i) depth.push_back(i % 50 < 25 ? -4.5f : -20.0f);
    std::vector<int32_t> got(depth.size());
    for (std::size_t offset = 0; offset < 3; ++offset) {
      table.Fill(depth.data() + offset, depth.size() - offset, got.data());
      for (std::size_t i = 0; i + offset < depth.size(); ++i) {
        ASSERT_EQ(got[i], rule(depth[i + offset])) << setup.name << " z " << depth[i + offset];
      }
    }
    for (int i = 0; i < 300 && table.usable(); ++i) {
      const float z = -static_cast<float>(next() % 100000) / 1000.0f;
      float low, high;
      int32_t separation;
      ASSERT_TRUE(table.Interval(z, &low, &high, &separation));
      ASSERT_TRUE(low <= z && z <= high) << setup.name;
      ASSERT_EQ(separation, rule(z));
      ASSERT_EQ(rule(low), separation) << setup.name;
      ASSERT_EQ(rule(high), separation) << setup.name;
      const float below = std::nextafter(low, -INFINITY), above = std::nextafter(high, INFINITY);
      if (low != -INFINITY) {
        ASSERT_NE(rule(below), separation) << setup.name << " below " << low;
      }
      if (high < 0.0f) {
        ASSERT_NE(rule(above), separation) << setup.name << " above " << high;
      }
    }
    float low, high;
    int32_t separation;
    EXPECT_FALSE(table.Interval(0.5f, &low, &high, &separation));
    EXPECT_FALSE(table.Interval(std::nanf(""), &low, &high, &separation));
  }
}

TEST(EngineRandom, ThreeDrawsAtOnceAreThreeDrawsInTurn) {
  for (uint32_t seed : {0u, 1u, 0xFFFFFFFFu, 123456789u}) {
    zavol::DotRandom one(seed), three(seed);
    for (int i = 0; i < 1000; ++i) {
      int a, b, c;
      three.NextThree(&a, &b, &c);
      ASSERT_EQ(a, one.Next());
      ASSERT_EQ(b, one.Next());
      ASSERT_EQ(c, one.Next());
    }
  }
  zavol::DotRandom zero(0);
  int a, b, c;
  zero.NextThree(&a, &b, &c);
  EXPECT_EQ(a, 38);  // the runtime's sequence for seed 0
  EXPECT_EQ(b, 7719);
  EXPECT_EQ(c, 21238);
}

TEST(EngineScene, DemoSceneHasBackgroundPlaneAndSphere) {
  const int w = 160, h = 90;
  const std::vector<float> d = zavol::MakeDemoScene(w, h);
  ASSERT_EQ(d.size(), static_cast<std::size_t>(w * h));
  EXPECT_EQ(d[0], zavol::kDemoBackgroundDepth);              // top left: nothing there
  const float lowerLeft = d[(h - 1) * w + 2];                 // the plane's near edge
  const float sphereFront = d[static_cast<int>(0.42 * h) * w + static_cast<int>(0.58 * w)];
  EXPECT_GT(lowerLeft, -12.0f);
  EXPECT_LT(lowerLeft, -8.0f);
  EXPECT_GT(sphereFront, lowerLeft) << "the sphere is nearer than the plane";
  EXPECT_NEAR(sphereFront, -4.5f, 0.1f);
  for (float z : d) EXPECT_LT(z, 0.0f);
  EXPECT_TRUE(zavol::MakeDemoScene(0, 5).empty());
}

}  // namespace
