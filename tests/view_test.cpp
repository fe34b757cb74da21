// The viewing options in the engine: with every option at its default the new row builder renders
// the plug-in's frames call for call; each option's picture of known depths repeats at the
// separations it should; the hidden-surface test on a known edge; stable dots across two frames;
// dots of N x N pixels. Portable: engine, recording host and the standard library only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "render/geometry.h"
#include "render/hsv.h"
#include "render/linking.h"
#include "render/frame_plan.h"
#include "render/view_engine.h"
#include "tests/engine_support.h"
#include "tests/golden_scenes.h"
#include "tests/random_frames.h"

namespace {

using enginetest::Pixel64;
using enginetest::RecordingHost;
using zavol::Anchor;
using zavol::DotSource;
using zavol::Linking;
using zavol::ViewDirection;
using zavol::ViewOptions;

constexpr float kBg = -1e30f;

// A generator of the test's own, so the cases do not follow the engine's.
struct Lcg {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

bool SameFrame(const RecordingHost& a, const RecordingHost& b, std::string* why) {
  if (a.calls != b.calls) return *why = "calls differ", false;
  if (!(a.canvas == b.canvas)) return *why = "pixels differ", false;
  if (a.debugLines.size() != b.debugLines.size() ||
      (!a.debugLines.empty() &&
       std::memcmp(a.debugLines.data(), b.debugLines.data(), a.debugLines.size() * 8) != 0)) {
    return *why = "debug lines differ", false;
  }
  return true;
}

// --- The defaults are the plug-in's frames ------------------------------------------------

TEST(ViewDefaults, GoldenScenesRenderThePluginsFramesCallForCall) {
  for (const golden::Case& c : golden::Cases()) {
    const golden::Scene scene = c.scene();
    auto makeHost = [&] {
      RecordingHost host(scene.width, scene.height, scene.depth);
      host.screenWidth = golden::kScreenWidth;
      host.screenHeight = golden::kScreenHeight;
      if (c.pattern) {
        host.hasPattern = true;
        host.patternWidth = scene.width;
        host.patternHeight = scene.height;
        for (const golden::Rgba& p : golden::CoordinatePattern(scene.width, scene.height)) {
          host.pattern.push_back(Pixel64{p.r, p.g, p.b, p.a});
        }
      }
      return host;
    };
    RecordingHost plugin = makeHost(), view = makeHost();
    ASSERT_EQ(zavol::RenderStereogram(c.settings, plugin), 1);
    ASSERT_EQ(zavol::RenderViewStereogram(c.settings, view, 0, ViewOptions{}), 1);
    std::string why;
    EXPECT_TRUE(SameFrame(plugin, view, &why)) << c.name << ": " << why;
    EXPECT_EQ(enginetest::Digest(view.canvas), c.digest) << c.name;
  }
}

// The sweeps' random frames (hostile records, depths with NaN and infinities, separations of 0 and
// below, patterns smaller than the frame) with stops: the general builder must be the plug-in's
// in every case.
TEST(ViewDefaults, RandomFramesRenderThePluginsFramesCallForCall) {
  enginetest::Sweep rnd(99);
  for (int trial = 0; trial < 300; ++trial) {
    enginetest::SweepFrame frame = enginetest::MakeSweepFrame(rnd);
    frame.abortAt = rnd.Below(5) == 0 ? rnd.Below(frame.height + 1) : -1;
    RecordingHost plugin = frame.MakeHost<RecordingHost>(), view = frame.MakeHost<RecordingHost>();
    const int pluginResult = zavol::RenderStereogram(frame.settings, plugin);
    const int viewResult = zavol::RenderViewStereogram(frame.settings, view, 0, ViewOptions{});
    std::string why;
    ASSERT_EQ(pluginResult, viewResult) << "trial " << trial;
    ASSERT_TRUE(SameFrame(plugin, view, &why)) << "trial " << trial << ": " << why;
  }
}

// Records no dialog could produce, on frames from 1 x 0 to 13 x 6, with every option at once
// in a few mixes: each row is one run of the whole width, only the guide's squares are
// transparent, and nothing is written beside the guide's runs.
TEST(ViewHostile, RecordsOutsideTheDialogsRangesOnTinyFrames) {
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  std::vector<StereogramSettings> records;
  auto add = [&records](auto edit) {
    StereogramSettings s = DefaultSettings();
    s.PutGuidePoints = 1;
    s.RandomizeEachFrame = 0;
    edit(s);
    records.push_back(s);
  };
  add([](StereogramSettings&) {});
  add([&](StereogramSettings& s) { s.NearObjectDepth = s.FarObjectDepth = s.BackgroundDepth = nan; });
  add([&](StereogramSettings& s) { s.BackgroundDepth = inf; s.NearObjectDepth = -inf; });
  add([](StereogramSettings& s) { s.BackgroundDepth = -0.5f; });
  add([](StereogramSettings& s) { s.BackgroundDepth = 0.0f; s.RampMode = kRampHsv; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = -5; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = 2000000000; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = 3; });
  add([](StereogramSettings& s) { s.NearObjectDepth = -2.0f; s.FarObjectDepth = 3.0f; });
  add([](StereogramSettings& s) { s.AutoDistance = 0; s.NearDistance = -1e30f; s.FarDistance = 1e30f; });
  ViewOptions mixes[4];
  mixes[0].dots = DotSource::kStable;
  mixes[1].view = ViewDirection::kCross;
  mixes[1].oversample = 8;
  mixes[1].linking = Linking::kSymmetric;
  mixes[2].dots = DotSource::kStable;
  mixes[2].dotSize = 5;
  mixes[2].anchor = Anchor::kLeft;
  mixes[2].oversample = 3;
  mixes[3].anchor = Anchor::kCentre;
  mixes[3].linking = Linking::kSymmetric;
  const float depths[] = {kBg, -3.0f, -7.5f, 0.0f, 0.5f, std::nanf(""), -inf, 1e25f, -1e25f};
  Lcg rnd{5};
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (const ViewOptions& options : mixes) {
      for (int width = 1; width <= 13; width += 3) {
        for (int height = 0; height <= 6; height += 2) {
          std::vector<float> depth(static_cast<std::size_t>(width) * height);
          for (float& z : depth) z = depths[rnd.Below(9)];
          RecordingHost host(width, height, depth);
          host.recordPerPixelCalls = false;
          const std::string what = "record " + std::to_string(r) + " " + std::to_string(width) +
                                   "x" + std::to_string(height);
          ASSERT_EQ(zavol::RenderViewStereogram(records[r], host, 0, options), 1) << what;
          ASSERT_GE(host.runs.size(), static_cast<std::size_t>(height)) << what;
          for (int y = 0; y < height; ++y) {
            ASSERT_TRUE(host.runs[y].x == 0 && host.runs[y].y == y && host.runs[y].count == width)
                << what;
            for (int x = 0; x < width; ++x) {
              const uint16_t a = host.At(x, y).a;
              ASSERT_TRUE(a == 65535 || (a == 0 && y >= 7 && y <= 13)) << what;
            }
          }
          for (std::size_t i = height; i < host.runs.size(); ++i) {
            ASSERT_TRUE(host.runs[i].y >= 5 && host.runs[i].y <= 15) << what;
          }
        }
      }
    }
  }
}

// --- Repeat distances of known depths -------------------------------------------------------

// 100 dpi, background one viewing distance behind: the background separation is 137.5 pixels,
// the near one 0.4 of it, 55; depths 0..-100 map linearly onto 55..137.5.
StereogramSettings KnownGeometry() {
  StereogramSettings s = DefaultSettings();
  s.RandomizeEachFrame = 0;
  s.ViewingMedium = kMediumCustomDpi;
  s.CustomDpi = 100;
  s.AutoDistance = 0;
  s.NearDistance = 0.0f;
  s.FarDistance = 100.0f;
  return s;
}
constexpr float kPlaneDepth = -25.0f;  // 55 + 0.25 x 82.5 = 75.625 pixels wall-eyed, exactly
constexpr int kWidth = 2000, kPlaneBegin = 600, kPlaneEnd = 1400;

// Background, with a plane in front over [kPlaneBegin, kPlaneEnd), in every row.
std::vector<float> PlaneRow() {
  std::vector<float> row(kWidth, kBg);
  for (int x = kPlaneBegin; x < kPlaneEnd; ++x) row[x] = kPlaneDepth;
  return row;
}

// Separations in sub-pixels, worked out by hand. Wall-eyed: trunc(N x 75.625) for the plane and
// trunc(N x 137.5) for the background. Cross-eyed, mirrored in 55 + 137.5: the plane gets
// 192.5 - 75.625 = 116.875, the background 55.
struct RepeatCase {
  const char* name;
  ViewDirection view;
  int oversample;
  Linking linking;
  DotSource dots;
  int32_t plane, background;
};

const RepeatCase kRepeatCases[] = {
    {"wall", ViewDirection::kWall, 1, Linking::kClassic, DotSource::kStream, 75, 137},
    {"wall_stable", ViewDirection::kWall, 1, Linking::kClassic, DotSource::kStable, 75, 137},
    {"cross", ViewDirection::kCross, 1, Linking::kClassic, DotSource::kStream, 116, 55},
    {"wall_x4", ViewDirection::kWall, 4, Linking::kClassic, DotSource::kStream, 302, 550},
    {"cross_x3", ViewDirection::kCross, 3, Linking::kClassic, DotSource::kStable, 350, 165},
    {"wall_symmetric", ViewDirection::kWall, 1, Linking::kSymmetric, DotSource::kStream, 75, 137},
    {"cross_symmetric_x8", ViewDirection::kCross, 8, Linking::kSymmetric, DotSource::kStable, 935,
     440},
    {"wall_symmetric_x2", ViewDirection::kWall, 2, Linking::kSymmetric, DotSource::kStable, 151,
     275},
};

void PrintTo(const RepeatCase& c, std::ostream* out) { *out << c.name; }

class Repeats : public ::testing::TestWithParam<RepeatCase> {};

// Every pixel whose neighbourhood (one background separation and the hidden-surface reach to
// each side) has one depth is linked to its partner one separation away, and they are equal.
TEST_P(Repeats, LinkedSubPixelsAreEqualAtTheIntendedSeparation) {
  const RepeatCase& c = GetParam();
  const StereogramSettings settings = KnownGeometry();
  ViewOptions options;
  options.view = c.view;
  options.oversample = c.oversample;
  options.linking = c.linking;
  options.dots = c.dots;
  const std::vector<float> depth = PlaneRow();
  zavol::FramePlan plan =
      zavol::PlanFrame(settings, zavol::DepthView{depth.data(), kWidth, 1, kWidth}, 800, 600, 0);
  plan.depth.rowStride = 0;  // the one depth row for every row built
  zavol::ViewRowBuilder builder(settings, plan, options);
  ASSERT_TRUE(builder.Allocate());
  builder.Start(0, zavol::DotSources{});
  for (int y = 0; y < 3; ++y) builder.Build(y);

  const int n = c.oversample;
  ASSERT_EQ(builder.subWidth(), kWidth * n);
  const int32_t* separations = builder.SubSeparations();
  EXPECT_EQ(separations[(kPlaneBegin + 10) * n], c.plane);
  EXPECT_EQ(separations[5 * n], c.background);

  const Pixel64* sub = builder.SubRow();
  const int margin = std::max(c.plane, c.background) + 60 * n;
  auto flat = [&](int x) {
    const int first = std::max(0, x - margin), last = std::min(kWidth * n - 1, x + margin);
    for (int p = first; p <= last; ++p) {
      if (depth[p / n] != depth[x / n]) return false;
    }
    return true;
  };
  int checked = 0, equal = 0;
  for (int x = 0; x < kWidth * n; ++x) {
    const int32_t s = separations[x];
    // Classic: x repeats x - s. Symmetric: the point centred between x and x + s links them.
    const int partner = c.linking == Linking::kClassic ? x - s : x + s;
    if (partner < 0 || partner >= kWidth * n || !flat(x) || !flat(partner)) continue;
    ++checked;
    equal += sub[x] == sub[partner];
  }
  EXPECT_GT(checked, kWidth * n / 5);
  EXPECT_EQ(equal, checked);
  // Not one colour: about one new dot per separation (or per pixel when oversampled).
  std::set<uint64_t> colours;
  for (int x = 0; x < kWidth * n; ++x) colours.insert(uint64_t{sub[x].r} << 32 | sub[x].g << 16 | sub[x].b);
  EXPECT_GT(static_cast<int>(colours.size()), std::min(c.plane, c.background) / n / 2);

  // Each pixel is the average of its sub-pixels.
  const Pixel64* row = builder.Row();
  for (int x = 0; x < kWidth; x += 7) {
    uint32_t red = 0;
    for (int k = 0; k < n; ++k) red += sub[x * n + k].r;
    ASSERT_EQ(row[x].r, (red + n / 2) / n) << "pixel " << x;
    ASSERT_EQ(row[x].a, 65535);
  }
}

INSTANTIATE_TEST_SUITE_P(View, Repeats, ::testing::ValuesIn(kRepeatCases),
                         [](const ::testing::TestParamInfo<RepeatCase>& p) {
                           return std::string(p.param.name);
                         });

// The same pictures through the frame host: whole frames repeat at the pixel pitch.
TEST(ViewFrames, CrossEyedPlanesRepeatWiderNearerAndWallEyedNarrower) {
  const StereogramSettings settings = KnownGeometry();
  std::vector<float> depth;
  for (int y = 0; y < 4; ++y) {
    const std::vector<float> row = PlaneRow();
    depth.insert(depth.end(), row.begin(), row.end());
  }
  // view, expected plane and background repeat distances
  const std::tuple<ViewDirection, int, int> cases[] = {{ViewDirection::kWall, 75, 137},
                                                      {ViewDirection::kCross, 116, 55}};
  for (const auto& [view, plane, background] : cases) {
    RecordingHost host(kWidth, 4, depth);
    ViewOptions options;
    options.view = view;
    ASSERT_EQ(zavol::RenderViewStereogram(settings, host, 0, options), 1);
    for (int y = 0; y < 4; ++y) {
      const int planeX = kPlaneEnd - 5, backgroundX = kWidth - 5;
      EXPECT_EQ(host.At(planeX, y), host.At(planeX - plane, y));
      EXPECT_NE(host.At(planeX, y), host.At(planeX - background, y));
      EXPECT_EQ(host.At(backgroundX, y), host.At(backgroundX - background, y));
      EXPECT_NE(host.At(backgroundX, y), host.At(backgroundX - plane, y));
    }
  }
}

// --- Hidden surfaces ------------------------------------------------------------------------

// Eyes 2.75 inches apart at 100 dpi: E = 275 pixels. A background point (vergence 1 - s/E) next
// to the plane (nearer, larger vergence) is hidden from one eye when the line of sight toward
// that eye, vergence v x E / (E - 2t) after t pixels, is still behind the plane where it crosses
// it: t < E/2 x (1 - v_background / v_plane).
//   wall:  v = 1 - 137/275 and 1 - 79/275: t < 40.69, so 40 pixels each side are hidden;
//   cross: v = 1 + 55/275 and 1 + 112/275: t < 20.25, 20 pixels.
TEST(ViewHiddenSurfaces, BackgroundBesideANearPlaneIsHiddenOverTheWorkedOutWidth) {
  const std::tuple<ViewDirection, int32_t, int32_t, int> cases[] = {
      {ViewDirection::kWall, 79, 137, 40}, {ViewDirection::kCross, 112, 55, 20}};
  for (const auto& [view, plane, background, hidden] : cases) {
    std::vector<int32_t> separations(kWidth, background);
    for (int x = kPlaneBegin; x < kPlaneEnd; ++x) separations[x] = plane;
    std::vector<float> scratch(zavol::VisibilityScratchFloats(kWidth));
    std::vector<uint8_t> visible(kWidth, 7);
    zavol::MarkVisible(separations.data(), kWidth, 1, 275.0, view, scratch.data(),
                       visible.data());
    for (int x = 0; x < kWidth; ++x) {
      const bool hiddenLeft = x >= kPlaneBegin - hidden && x < kPlaneBegin;
      const bool hiddenRight = x >= kPlaneEnd && x < kPlaneEnd + hidden;
      ASSERT_EQ(visible[x], hiddenLeft || hiddenRight ? 0 : 1) << "pixel " << x;
    }
    // The same at four sub-pixels per pixel: separations in sub-pixels, widths in pixels.
    for (int32_t& s : separations) s *= 4;
    zavol::MarkVisible(separations.data(), kWidth, 4, 275.0, view, scratch.data(),
                       visible.data());
    EXPECT_EQ(visible[kPlaneEnd + hidden - 1], 0);
    EXPECT_EQ(visible[kPlaneEnd + hidden], 1);
  }
}

// --- Stable dots ----------------------------------------------------------------------------

// A square of nearer depth that moves 8 pixels to the right between two frames, right of the
// centre. Outside its rows nothing changed; in its rows, anchored at the centre, every pixel
// closer to the centre than the change (less one background separation) keeps its colour, and
// anchored at the left every pixel left of the change does.
TEST(ViewStableDots, ASquareMovingRightOfTheCentreLeavesTheRestOfThePictureAlone) {
  StereogramSettings settings = KnownGeometry();
  settings.RandomizeEachFrame = 1;  // the seed counts, and it is the same for both frames
  const int width = 1000, height = 40, centre = width / 2;
  auto frame = [&](int squareX) {
    std::vector<float> depth(static_cast<std::size_t>(width) * height, kBg);
    for (int y = 10; y < 30; ++y) {
      for (int x = squareX; x < squareX + 60; ++x) depth[static_cast<std::size_t>(y) * width + x] = -20.0f;
    }
    return depth;
  };
  const int firstX = 780, change = 780;  // the depth differs from column 780 on
  struct Case {
    Anchor anchor;
    DotSource dots;
    int keptFrom, keptTo;  // columns of the square's rows that must keep their colours
  };
  const Case cases[] = {
      {Anchor::kCentre, DotSource::kStable, 2 * centre - (change - 138), change - 138},
      {Anchor::kLeft, DotSource::kStable, 0, change - 138},
      {Anchor::kLeft, DotSource::kStream, 0, 0},
  };
  for (const Case& c : cases) {
    ViewOptions options;
    options.dots = c.dots;
    options.anchor = c.anchor;
    RecordingHost before(width, height, frame(firstX)), after(width, height, frame(firstX + 8));
    before.calendarTime = after.calendarTime = 4242;
    ASSERT_EQ(zavol::RenderViewStereogram(settings, before, 0, options), 1);
    ASSERT_EQ(zavol::RenderViewStereogram(settings, after, 0, options), 1);
    int changedOutside = 0, changedKept = 0, changedSquareRows = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const bool changed = before.At(x, y) != after.At(x, y);
        if (y < 10 || y >= 30) {
          changedOutside += changed;
        } else {
          changedSquareRows += changed;
          if (x >= c.keptFrom && x < c.keptTo) changedKept += changed;
        }
      }
    }
    if (c.dots == DotSource::kStream) {
      // The stream is drawn left to right, so the square's rows change from the change on.
      EXPECT_GT(changedSquareRows, 20 * (width - change) / 2);
      continue;
    }
    EXPECT_EQ(changedOutside, 0) << static_cast<int>(c.anchor);
    EXPECT_EQ(changedKept, 0) << static_cast<int>(c.anchor);
    EXPECT_GT(changedSquareRows, 0);
  }
}

// Dots of 4 x 4 pixels: on a flat background the rows of a band are one row, the next band
// differs, and a row holds about one colour per 4 pixels of the separation.
TEST(ViewStableDots, DotsOfFourByFourPixels) {
  const StereogramSettings settings = KnownGeometry();
  for (DotSource dots : {DotSource::kStable, DotSource::kStream}) {
    ViewOptions options;
    options.dots = dots;
    options.dotSize = 4;
    const int width = 400, height = 9;
    RecordingHost host(width, height, std::vector<float>(width * height, kBg));
    ASSERT_EQ(zavol::RenderViewStereogram(settings, host, 0, options), 1);
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(host.At(x, 0), host.At(x, 3)) << x;
      ASSERT_EQ(host.At(x, 4), host.At(x, 7)) << x;
    }
    int sameAsRowBelowBand = 0;
    std::set<uint64_t> colours;
    for (int x = 0; x < width; ++x) {
      sameAsRowBelowBand += host.At(x, 3) == host.At(x, 4);
      const Pixel64 p = host.At(x, 5);
      colours.insert(uint64_t{p.r} << 32 | p.g << 16 | p.b);
    }
    EXPECT_LT(sameAsRowBelowBand, width / 10);
    EXPECT_GE(colours.size(), 137u / 4 - 1);
    EXPECT_LE(colours.size(), 137u / 4 + 2);
  }
}

}  // namespace
