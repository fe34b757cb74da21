// The stereogram decoder and the quality meter: pictures with known repeats (flat planes, ramps,
// fractional separations made by averaging a finer row), engine frames decoded back to the
// separations the engine used, the meter's counts on hand-made maps, and bad calls. Portable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <random>
#include <vector>

#include "render/decode.h"
#include "render/decode_compare.h"
#include "render/geometry.h"
#include "render/image_render.h"
#include "render/linking.h"
#include "render/scene.h"
#include "tests/golden_scenes.h"

namespace {

using zavol::ConstPixelView;
using zavol::DecodeOptions;
using zavol::FrameStatus;
using zavol::Linking;
using zavol::ViewDirection;

constexpr float kUnknown = std::numeric_limits<float>::quiet_NaN();

struct Picture {
  int width = 0, height = 0;
  std::vector<uint16_t> words;  // RGBA
  ConstPixelView View() const { return ConstPixelView{words.data(), width, height, 4 * width}; }
};

// A row of random dots in which pixel x repeats pixel x - separation(x) (a real: the row is
// built `fine` times wider with whole separations there and averaged down, as an oversampling
// renderer would). Each row gets dots of its own.
template <class SeparationOf>
Picture RepeatingPicture(int width, int height, int fine, SeparationOf separationOf,
                         uint32_t seed = 7) {
  Picture p;
  p.width = width;
  p.height = height;
  p.words.resize(static_cast<std::size_t>(width) * height * 4);
  std::mt19937 random(seed);
  const int fineWidth = width * fine;
  std::vector<int> fineRow(static_cast<std::size_t>(fineWidth) * 3);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < fineWidth; ++i) {
      const int s = static_cast<int>(std::lround(separationOf(i / static_cast<double>(fine), y) * fine));
      for (int c = 0; c < 3; ++c) {
        fineRow[3 * i + c] = i >= s && s > 0 ? fineRow[3 * (i - s) + c]
                                             : static_cast<int>(random() % 256);
      }
    }
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int k = 0; k < fine; ++k) sum += fineRow[3 * (x * fine + k) + c];
        p.words[(static_cast<std::size_t>(y) * width + x) * 4 + c] =
            static_cast<uint16_t>(sum * 256 / fine);
      }
      p.words[(static_cast<std::size_t>(y) * width + x) * 4 + 3] = 65535;
    }
  }
  return p;
}

std::vector<float> Decode(const Picture& p, int minSeparation, int maxSeparation, int threads = 1,
                          std::vector<float>* confidence = nullptr, int oversample = 1) {
  DecodeOptions o;
  o.bounds = {minSeparation, maxSeparation};
  o.oversample = oversample;
  o.threads = threads;
  std::vector<float> out(static_cast<std::size_t>(p.width) * p.height, -1.0f);
  if (confidence != nullptr) confidence->assign(out.size(), -1.0f);
  EXPECT_EQ(zavol::DecodeStereogram(p.View(), o, out.data(),
                                    confidence != nullptr ? confidence->data() : nullptr),
            FrameStatus::kDone);
  return out;
}

// ---- Known repeats: every pixel that has a full window of repeats to its left decodes to the
// separation it was built with.
struct KnownCase {
  const char* name;
  int fine;                                // 1: whole separations
  double (*separation)(double x, int y);   // the separation at (x, y)
  int minSeparation, maxSeparation;        // the range searched
  double largestMeanError;                 // over the pixels judged and decoded
  double leastShare;                       // of those pixels within half a pixel
  int oversample;                          // told to the decoder
};

void PrintTo(const KnownCase& c, std::ostream* out) { *out << c.name; }

class KnownSeparations : public testing::TestWithParam<KnownCase> {};

TEST_P(KnownSeparations, DecodeToTheSeparationsTheyWereBuiltWith) {
  const KnownCase& c = GetParam();
  const int width = 400, height = 6;
  const Picture p = RepeatingPicture(width, height, c.fine, c.separation);
  const std::vector<float> got = Decode(p, c.minSeparation, c.maxSeparation, 1, nullptr, c.oversample);
  int judged = 0, within = 0, decoded = 0;
  double errorSum = 0.0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double want = c.separation(x, y);
      // A pixel is judged once the window and its source lie in the repeating part.
      if (x < 2 * want + 8) continue;
      ++judged;
      const float g = got[static_cast<std::size_t>(y) * width + x];
      if (std::isnan(g)) continue;
      const double error = std::fabs(g - want);
      within += error <= 0.5;
      errorSum += error;
      ++decoded;
    }
  }
  ASSERT_GT(judged, 100);
  EXPECT_GE(static_cast<double>(within) / judged, c.leastShare);
  EXPECT_LE(errorSum / decoded, c.largestMeanError);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KnownSeparations,
    testing::Values(
        KnownCase{"flat_near_end", 1, [](double, int) { return 20.0; }, 20, 60, 0.0, 1.0, 1},
        KnownCase{"flat_middle", 1, [](double, int) { return 37.0; }, 20, 60, 0.0, 1.0, 1},
        KnownCase{"flat_far_end", 1, [](double, int) { return 60.0; }, 20, 60, 0.0, 1.0, 1},
        // Twice the separation is inside the range too: the first repeat must win.
        KnownCase{"flat_with_its_double_in_range", 1, [](double, int) { return 25.0; }, 20, 60, 0.0, 1.0, 1},
        KnownCase{"whole_pixel_ramp", 1,
                  [](double x, int) { return std::floor(30.0 + x / 20.0); }, 20, 60, 0.05, 0.95, 1},
        KnownCase{"rows_at_different_separations", 1,
                  [](double, int y) { return 22.0 + 7.0 * y; }, 20, 60, 0.0, 1.0, 1},
        // Fractions of a pixel, as an oversampling renderer makes them: the decoder is judged by
        // its mean error; a few pixels may miss.
        KnownCase{"quarter_pixels_flat", 4, [](double, int) { return 33.25; }, 20, 60, 0.1, 0.95, 1},
        KnownCase{"half_pixels_flat", 4, [](double, int) { return 33.5; }, 20, 60, 0.25, 0.9, 1},
        KnownCase{"eighth_pixels_flat", 8, [](double, int) { return 40.125; }, 20, 60, 0.1, 0.95, 1},
        // Averaged rows repeat exactly only at a whole multiple of the fraction (41 and 65
        // pixels here, both searched): the fraction is the first repeat all the same.
        KnownCase{"half_pixels_with_their_double_in_range", 2, [](double, int) { return 20.5; }, 20, 60, 0.25, 0.9, 2},
        // Halfway between two pixels over a wide range: many other shifts match about as well
        // as single pixels do; pairs of pixels repeat clearly.
        KnownCase{"half_pixels_over_a_wide_range", 2, [](double, int) { return 100.5; }, 20, 120, 1.0, 0.9, 2},
        KnownCase{"quarter_pixels_with_their_fourfold_in_range", 4, [](double, int) { return 16.25; }, 15, 70, 0.3, 0.9, 4},
        KnownCase{"quarter_pixel_ramp", 4,
                  [](double x, int) { return 30.0 + std::floor(x / 10.0) * 0.25; }, 20, 60, 0.15, 0.9, 1}),
    [](const testing::TestParamInfo<KnownCase>& p) { return p.param.name; });

// The decoded levels across a slope in quarter pixels: a decoder that only found whole shifts
// would give 5 levels over these 16 steps.
// Beside an edge, pixels that only one eye sees repeat nothing; a window that lies mostly on the
// surface beyond still repeats at that surface's separation. Those pixels must come out unsure,
// while the surface's own pixels stay sure.
TEST(KnownSeparations, PixelsThatRepeatNothingBesideAnEdgeAreUnsure) {
  const int width = 400, height = 60;
  const auto band = [](double x) { return x >= 200 && x < 212; };
  const Picture p = RepeatingPicture(width, height, 1, [&](double x, int) { return band(x) ? 0.0 : 40.0; });
  std::vector<float> confidence;
  const std::vector<float> got = Decode(p, 20, 60, 1, &confidence);
  int bandDecoded = 0, bandPixels = 0, surfaceDecoded = 0, surfacePixels = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 100; x < width; ++x) {
      const bool known = !std::isnan(got[static_cast<std::size_t>(y) * width + x]);
      if (band(x)) {
        ++bandPixels;
        bandDecoded += known;
      } else if (x < 190 || x >= 262) {
        ++surfacePixels;
        surfaceDecoded += known;
      }
    }
  }
  EXPECT_LE(bandDecoded, bandPixels / 5);
  EXPECT_EQ(surfaceDecoded, surfacePixels);
}

// Another program's picture: the rows' dominant repeat is found whatever the settings say, and
// the range around it holds every separation of the picture; a picture of pure noise has none.
TEST(PeriodEstimate, FindsTheBackgroundRepeatAndARangeHoldingEveryObject) {
  struct Case {
    const char* name;
    double (*separation)(double x, int y);
    int period, nearest, farthest;  // 0: no period
  };
  const Case cases[] = {
      {"wall_eyed_square", [](double x, int y) { return x >= 700 && x < 1200 && y >= 8 ? 250.0 : 300.0; }, 300, 250, 300},
      {"cross_eyed_square", [](double x, int y) { return x >= 700 && x < 1200 && y >= 8 ? 380.0 : 300.0; }, 300, 300, 380},
      {"narrow_repeat", [](double, int) { return 37.0; }, 37, 37, 37},
      {"noise", [](double, int) { return 0.0; }, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Picture p = RepeatingPicture(1920, 24, 1, c.separation);
    const zavol::PeriodEstimate e = zavol::EstimatePeriod(p.View());
    EXPECT_EQ(e.period, c.period);
    if (c.period == 0) continue;
    EXPECT_GT(e.strength, 0.5);
    EXPECT_LE(e.bounds.minSeparation, c.nearest);
    EXPECT_GE(e.bounds.maxSeparation, c.farthest);
    // Around the period, not the whole width.
    EXPECT_LE(e.bounds.maxSeparation, 2 * c.farthest);
  }
}

TEST(KnownSeparations, QuarterPixelSlopeDecodesToQuarterPixelLevels) {
  const int width = 800, height = 8;
  auto separation = [](double x, int) { return 30.0 + std::floor((x - 80.0) / 45.0) * 0.25; };
  const Picture p = RepeatingPicture(width, height, 4, separation);
  const std::vector<float> got = Decode(p, 20, 60);
  std::vector<int> votes(64, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 80; x < width; ++x) {
      const float g = got[static_cast<std::size_t>(y) * width + x];
      if (!std::isnan(g) && g >= 29.9f && g < 34.0f) ++votes[static_cast<int>(std::lround((g - 30.0) * 4.0))];
    }
  }
  int levels = 0;
  for (int v : votes) levels += v >= 20;
  EXPECT_GE(levels, 14);
}

// ---- Engine frames decoded back.
struct Rendered {
  Picture picture;
  zavol::IntendedSeparations intended;
  zavol::SeparationBounds bounds;
};

Rendered RenderScene(const StereogramSettings& s, int width, int height,
                     const std::vector<float>& depth, bool pattern, int screenWidth = 1920,
                     int screenHeight = 1080, const zavol::ViewOptions& viewOptions = {}) {
  Rendered r;
  r.picture.width = width;
  r.picture.height = height;
  r.picture.words.assign(static_cast<std::size_t>(width) * height * 4, 0);
  zavol::ImageRenderOptions o;
  o.screenWidth = screenWidth;
  o.screenHeight = screenHeight;
  o.seed = 11;
  o.view = viewOptions;
  std::vector<uint16_t> dots;
  zavol::ConstPixelView patternView{};
  if (pattern) {
    for (const golden::Rgba& d : golden::CoordinatePattern(width, height)) {
      dots.insert(dots.end(), {d.r, d.g, d.b, d.a});
    }
    patternView = zavol::ConstPixelView{dots.data(), width, height, 4 * width};
    o.pattern = &patternView;
  }
  const zavol::DepthView view{depth.data(), width, height, width};
  const zavol::PixelView out{r.picture.words.data(), width, height, 4 * width};
  EXPECT_EQ(zavol::RenderImage(s, view, o, out).status, zavol::FrameStatus::kDone);
  r.intended = zavol::ViewLinkingSeparations(s, view, screenWidth, screenHeight, viewOptions);
  r.bounds = zavol::FrameSeparationBounds(s, width, height, screenWidth, screenHeight,
                                          viewOptions.oversample);
  return r;
}

// Where the meter calls a pixel visible, the picture does repeat at the intended separation:
// the replay of the row builder's links agrees with the pixels it built.
TEST(Meter, VisiblePixelsRepeatTheirSourceInTheRenderedPicture) {
  for (const golden::Case& c : golden::Cases()) {
    SCOPED_TRACE(c.name);
    const golden::Scene scene = c.scene();
    const Rendered r = RenderScene(c.settings, scene.width, scene.height, scene.depth, c.pattern,
                                   golden::kScreenWidth, golden::kScreenHeight);
    int64_t visible = 0;
    for (int y = 0; y < scene.height; ++y) {
      for (int x = 0; x < scene.width; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * scene.width + x;
        if (r.intended.visible[i] == 0) continue;
        ++visible;
        const int s = static_cast<int>(r.intended.separation[i]);
        ASSERT_GE(x, s);
        for (int k = 0; k < 4; ++k) {
          ASSERT_EQ(r.picture.words[4 * i + k], r.picture.words[4 * (i - s) + k]) << x << "," << y;
        }
      }
    }
    EXPECT_GT(visible, scene.width * scene.height / 5);
  }
}

struct RoundTripCase {
  const char* name;
  StereogramSettings settings;
  bool pattern;
  double leastShare;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) { *out << c.name; }

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, TheDemoSceneDecodesToTheEnginesSeparations) {
  const RoundTripCase& c = GetParam();
  const int width = 480, height = 270;
  const Rendered r = RenderScene(c.settings, width, height, zavol::MakeDemoScene(width, height),
                                 c.pattern, 480, 270);
  const std::vector<float> got = Decode(r.picture, r.bounds.minSeparation, r.bounds.maxSeparation, 2);
  const zavol::DecodeComparison m = zavol::CompareDecoded(r.intended, got.data());
  EXPECT_GE(m.matchShare, c.leastShare);
  EXPECT_GT(m.visible, m.pixels * 3 / 4);
}

StereogramSettings With(void (*edit)(StereogramSettings&)) {
  StereogramSettings s = DefaultSettings();
  s.RandomizeEachFrame = 0;
  edit(s);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundTrip,
    testing::Values(
        RoundTripCase{"defaults", With([](StereogramSettings&) {}), false, 0.95},
        RoundTripCase{"hsv_ramp", With([](StereogramSettings& s) {
                        s.RampMode = kRampHsv;
                        s.Color1 = 0x2080F0;
                        s.Color2 = 0xC04010;
                      }), false, 0.95},
        RoundTripCase{"near_background_narrow_range", With([](StereogramSettings& s) {
                        s.BackgroundDepth = 0.3f;
                        s.NearObjectDepth = 0.7f;
                      }), false, 0.95},
        RoundTripCase{"ghosting_allowed", With([](StereogramSettings& s) { s.PreventGhosting = 0; }), false, 0.9},
        RoundTripCase{"guide", With([](StereogramSettings& s) { s.PutGuidePoints = 1; }), false, 0.95},
        RoundTripCase{"coordinate_pattern", With([](StereogramSettings&) {}), true, 0.5}),
    [](const testing::TestParamInfo<RoundTripCase>& p) { return p.param.name; });

// ---- Pictures rendered with the viewing options, scored by the meter replaying the same links.
struct ViewCase {
  const char* name;
  zavol::ViewOptions options;
  double leastShare;
};

void PrintTo(const ViewCase& c, std::ostream* out) { *out << c.name; }

zavol::ViewOptions View(void (*edit)(zavol::ViewOptions&)) {
  zavol::ViewOptions o;
  edit(o);
  return o;
}

class ViewRoundTrip : public testing::TestWithParam<ViewCase> {};

TEST_P(ViewRoundTrip, DecodesToTheSeparationsOfTheLinksItWasRenderedWith) {
  const ViewCase& c = GetParam();
  const int width = 480, height = 270;
  const Rendered r = RenderScene(With([](StereogramSettings&) {}), width, height,
                                 zavol::MakeDemoScene(width, height), false, 480, 270, c.options);
  if (c.options.oversample == 1) {
    // At the pixel pitch a visible pixel is an exact copy of its source: the replayed links are
    // the ones the picture was built with.
    for (std::size_t i = 0; i < r.intended.visible.size(); ++i) {
      if (r.intended.visible[i] == 0) continue;
      const std::size_t source = i - static_cast<std::size_t>(r.intended.separation[i]);
      for (int k = 0; k < 4; ++k) ASSERT_EQ(r.picture.words[4 * i + k], r.picture.words[4 * source + k]) << i;
    }
  }
  const std::vector<float> got = Decode(r.picture, r.bounds.minSeparation, r.bounds.maxSeparation, 2,
                                        nullptr, c.options.oversample);
  const zavol::DecodeComparison m = zavol::CompareDecoded(r.intended, got.data());
  EXPECT_GE(m.matchShare, c.leastShare);
  EXPECT_GT(m.visible, m.pixels * 2 / 3);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ViewRoundTrip,
    testing::Values(
        ViewCase{"cross", View([](zavol::ViewOptions& o) { o.view = zavol::ViewDirection::kCross; }), 0.95},
        ViewCase{"symmetric", View([](zavol::ViewOptions& o) { o.linking = zavol::Linking::kSymmetric; }), 0.95},
        // Half of the separations halfway between two pixels.
        ViewCase{"oversample_2", View([](zavol::ViewOptions& o) { o.oversample = 2; }), 0.9},
        ViewCase{"oversample_4", View([](zavol::ViewOptions& o) { o.oversample = 4; }), 0.9},
        ViewCase{"all_three_with_stable_dots", View([](zavol::ViewOptions& o) {
                   o.view = zavol::ViewDirection::kCross;
                   o.linking = zavol::Linking::kSymmetric;
                   o.oversample = 4;
                   o.dots = zavol::DotSource::kStable;
                 }), 0.9}),
    [](const testing::TestParamInfo<ViewCase>& p) { return p.param.name; });

// A near square over a flat background: one-sided links without ghosting prevention leave
// echoes beside its edges; pairs centred on each point with hidden surfaces unlinked do not.
TEST(ViewMeasures, SymmetricLinkingHalvesTheEchoesOfOneSidedLinksAtAnEdge) {
  const int width = 480, height = 120;
  std::vector<float> depth(static_cast<std::size_t>(width) * height, -1.0f);
  for (int y = 30; y < 90; ++y) std::fill_n(depth.begin() + y * width + 180, 120, -0.3f);
  int64_t echoes[2] = {0, 0};
  for (int symmetric = 0; symmetric < 2; ++symmetric) {
    zavol::ViewOptions options;
    if (symmetric == 1) options.linking = zavol::Linking::kSymmetric;
    const Rendered r = RenderScene(With([](StereogramSettings& s) { s.PreventGhosting = 0; }),
                                   width, height, depth, false, 480, 270, options);
    const std::vector<float> got = Decode(r.picture, r.bounds.minSeparation, r.bounds.maxSeparation, 2);
    echoes[symmetric] = zavol::CompareDecoded(r.intended, got.data()).echoes;
  }
  EXPECT_GT(echoes[0], 1000);
  EXPECT_LE(2 * echoes[1], echoes[0]);
}

// A shallow slope: the decoded separations, rounded to 1/16 pixel, take about four times as many
// distinct values with rows linked at four sub-pixels per pixel.
TEST(ViewMeasures, OversamplingFourGivesSeveralTimesTheLevelsOnASlope) {
  const int width = 480, height = 40;
  std::vector<float> depth(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // The first rows hold the frame's near and far ends, so the slope spans a few pixels of
      // separation over the whole width.
      depth[static_cast<std::size_t>(y) * width + x] =
          y < 2 ? (x < width / 2 ? -0.3f : -1.0f) : -0.9f + 0.1f * x / width;
    }
  }
  int levels[2] = {0, 0};
  for (int pass = 0; pass < 2; ++pass) {
    zavol::ViewOptions options;
    options.oversample = pass == 0 ? 1 : 4;
    const Rendered r = RenderScene(With([](StereogramSettings&) {}), width, height, depth, false,
                                   480, 270, options);
    const std::vector<float> got = Decode(r.picture, r.bounds.minSeparation, r.bounds.maxSeparation, 2,
                                          nullptr, options.oversample);
    std::vector<int> votes(16 * (r.bounds.maxSeparation + 2), 0);
    for (int y = 4; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const float g = got[static_cast<std::size_t>(y) * width + x];
        if (!std::isnan(g)) ++votes[static_cast<std::size_t>(std::lround(g * 16.0f))];
      }
    }
    // A level is one that a whole column's worth of pixels decode to, not a stray fraction.
    for (int v : votes) levels[pass] += v >= height;
  }
  EXPECT_GE(levels[0], 3);
  EXPECT_GE(levels[1], 3 * levels[0]);
}

// ---- The meter's counts on a hand-made row: separations 5 then 9 (an edge between x = 7 and
// x = 8), echoes reaching 3 pixels.
TEST(Meter, CountsMatchesUnknownsWrongsAndEchoes) {
  zavol::IntendedSeparations want;
  want.width = 16;
  want.height = 1;
  want.backgroundSeparation = 3;
  want.separation = {5, 5, 5, 5, 5, 5, 5, 5, 9, 9, 9, 9, 9, 9, 9, 9};
  want.visible = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 1};
  std::vector<float> got(16, kUnknown);
  got[5] = 5.0f;   // visible, exact
  got[6] = 5.4f;   // visible, within half a pixel
  got[7] = 9.0f;   // visible, wrong, beside the edge: an echo
  got[9] = 9.0f;   // visible, exact (x = 8 stays unknown)
  got[10] = 5.0f;  // not visible, wrong, 2 pixels from the edge: an echo
  got[13] = 5.0f;  // visible, wrong, 5 pixels from the edge: not an echo
  got[14] = 9.5f;  // half a pixel off still matches
  got[15] = 9.0f;
  const zavol::DecodeComparison c = zavol::CompareDecoded(want, got.data());
  EXPECT_EQ(c.pixels, 16);
  EXPECT_EQ(c.visible, 8);
  EXPECT_EQ(c.matched, 5);
  EXPECT_EQ(c.unknown, 1);
  EXPECT_EQ(c.wrong, 2);
  EXPECT_EQ(c.echoes, 2);
  EXPECT_DOUBLE_EQ(c.matchShare, 5.0 / 8.0);
  EXPECT_NEAR(c.meanError, (0.4 + 4.0 + 4.0 + 0.5) / 7.0, 1e-6);
}

TEST(Meter, BoundsHoldEverySeparationOfAFrame) {
  const StereogramSettings s = DefaultSettings();
  const zavol::SeparationBounds b = zavol::FrameSeparationBounds(s, 1920, 1080, 1920, 1080);
  EXPECT_EQ(b.minSeparation, 80);  // 0.4 and 1.0 of 1.375 in at 2203 / 15 pixels per inch
  EXPECT_EQ(b.maxSeparation, 201);
  const std::vector<float> depth = zavol::MakeDemoScene(1920, 1080);
  const zavol::IntendedSeparations want = zavol::DefaultLinkingSeparations(
      s, zavol::DepthView{depth.data(), 1920, 1080, 1920}, 1920, 1080);
  const auto [least, most] = std::minmax_element(want.separation.begin(), want.separation.end());
  EXPECT_EQ(*least, 80.0f);
  EXPECT_EQ(*most, 201.0f);
  // Four sub-pixels per pixel put the background at trunc(4 x 201.x) / 4 pixels: the searched
  // range reaches the next whole pixel, and every separation of the frame lies inside it.
  zavol::ViewOptions oversampled;
  oversampled.oversample = 4;
  const zavol::SeparationBounds fine = zavol::FrameSeparationBounds(s, 1920, 1080, 1920, 1080, 4);
  EXPECT_EQ(fine.minSeparation, 80);
  EXPECT_EQ(fine.maxSeparation, 202);
  const zavol::IntendedSeparations fineWant = zavol::ViewLinkingSeparations(
      s, zavol::DepthView{depth.data(), 1920, 1080, 1920}, 1920, 1080, oversampled);
  const auto [fineLeast, fineMost] =
      std::minmax_element(fineWant.separation.begin(), fineWant.separation.end());
  EXPECT_GE(*fineLeast, 80.0f);
  EXPECT_GT(*fineMost, 201.0f);
  EXPECT_LE(*fineMost, 202.0f);
  StereogramSettings flat = s;
  flat.BackgroundDepth = 0.0f;  // every separation 0 or 1
  const zavol::SeparationBounds one = zavol::FrameSeparationBounds(flat, 640, 480, 1920, 1080);
  EXPECT_EQ(one.minSeparation, 1);
  EXPECT_EQ(one.maxSeparation, 1);
}

// ---- Calls: bad options refused, threads change nothing, a stop is a stop.
struct BadOptionsCase {
  const char* name;
  void (*spoil)(ConstPixelView& picture, DecodeOptions& o, bool& nullOutput);
};

void PrintTo(const BadOptionsCase& c, std::ostream* out) { *out << c.name; }

class BadOptions : public testing::TestWithParam<BadOptionsCase> {};

TEST_P(BadOptions, AreRefusedWithoutWriting) {
  const Picture p = RepeatingPicture(64, 3, 1, [](double, int) { return 20.0; });
  ConstPixelView view = p.View();
  DecodeOptions o;
  o.bounds = {10, 30};
  bool nullOutput = false;
  GetParam().spoil(view, o, nullOutput);
  std::vector<float> out(64 * 3, -7.0f);
  EXPECT_EQ(zavol::DecodeStereogram(view, o, nullOutput ? nullptr : out.data(), nullptr),
            FrameStatus::kBadOptions);
  EXPECT_EQ(out, std::vector<float>(64 * 3, -7.0f));
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadOptions,
    testing::Values(
        BadOptionsCase{"no_output", [](ConstPixelView&, DecodeOptions&, bool& n) { n = true; }},
        BadOptionsCase{"negative_height", [](ConstPixelView& v, DecodeOptions&, bool&) { v.height = -3; }},
        BadOptionsCase{"stride_short_of_a_row",
                       [](ConstPixelView& v, DecodeOptions&, bool&) { v.rowStride = 4 * 64 - 1; }},
        BadOptionsCase{"even_window", [](ConstPixelView&, DecodeOptions& o, bool&) { o.window = 8; }},
        BadOptionsCase{"bounds_reversed", [](ConstPixelView&, DecodeOptions& o, bool&) { o.bounds = {31, 30}; }},
        BadOptionsCase{"confidence_above_one",
                       [](ConstPixelView&, DecodeOptions& o, bool&) { o.minConfidence = 1.5f; }},
        BadOptionsCase{"oversample_zero", [](ConstPixelView&, DecodeOptions& o, bool&) { o.oversample = 0; }},
        BadOptionsCase{"oversample_beyond_eight",
                       [](ConstPixelView&, DecodeOptions& o, bool&) { o.oversample = 9; }}),
    [](const testing::TestParamInfo<BadOptionsCase>& p) { return p.param.name; });

TEST(Calls, ThreadsGiveTheSameBitsAsOne) {
  const int width = 300, height = 37;
  const Rendered r = RenderScene(DefaultSettings(), width, height, zavol::MakeDemoScene(width, height),
                                 false, 300, 37);
  std::vector<float> oneConfidence, threeConfidence;
  const std::vector<float> one = Decode(r.picture, r.bounds.minSeparation, r.bounds.maxSeparation, 1, &oneConfidence);
  const std::vector<float> three = Decode(r.picture, r.bounds.minSeparation, r.bounds.maxSeparation, 3, &threeConfidence);
  ASSERT_EQ(one.size(), three.size());
  EXPECT_EQ(std::memcmp(one.data(), three.data(), one.size() * sizeof(float)), 0);
  EXPECT_EQ(oneConfidence, threeConfidence);
}

TEST(Calls, AStopFromProgressIsReportedAndNoMoreRowsStart) {
  const Picture p = RepeatingPicture(64, 50, 1, [](double, int) { return 20.0; });
  DecodeOptions o;
  o.bounds = {10, 30};
  int calls = 0;
  o.user = &calls;
  o.progress = [](void* user, int rowsDone, int rows) {
    ++*static_cast<int*>(user);
    return rowsDone == 3 && rows == 50 ? 1 : 0;
  };
  std::vector<float> out(64 * 50, -7.0f);
  EXPECT_EQ(zavol::DecodeStereogram(p.View(), o, out.data(), nullptr), FrameStatus::kStopped);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(out[64 * 49], -7.0f);  // the last row was never decoded
}

// ---- The geometric meter: near objects must repeat at their own separation in both views.
// A box (height 0.6) and a disc (1.0) over a plane (0.25), as heights h at depth h - 1.
constexpr int kObjectsWidth = 1280, kObjectsHeight = 720;

std::vector<float> BoxAndDisc(float plane) {
  std::vector<float> depth(static_cast<std::size_t>(kObjectsWidth) * kObjectsHeight, plane);
  for (int y = 0; y < kObjectsHeight; ++y) {
    for (int x = 0; x < kObjectsWidth; ++x) {
      float& z = depth[static_cast<std::size_t>(y) * kObjectsWidth + x];
      if (x >= 200 && x < 500 && y >= 200 && y < 520) z = -0.4f;
      if ((x - 880) * (x - 880) + (y - 360) * (y - 360) < 170 * 170) z = 0.0f;
    }
  }
  return depth;
}

std::vector<float> Mirrored(std::vector<float> depth, int width) {
  for (auto row = depth.begin(); row != depth.end(); row += width) std::reverse(row, row + width);
  return depth;
}

struct GeometricScene {
  const char* name;
  std::vector<float> depth;
  int width, height;
  std::vector<std::vector<uint8_t>> objects;  // the near objects' pixels
};

std::vector<GeometricScene> GeometricScenes() {
  std::vector<GeometricScene> scenes;
  const std::vector<float> objects = BoxAndDisc(-0.75f);
  auto levels = [](const std::vector<float>& depth, std::initializer_list<float> zs) {
    std::vector<std::vector<uint8_t>> masks;
    for (float z : zs) {
      std::vector<uint8_t> m(depth.size());
      for (std::size_t i = 0; i < depth.size(); ++i) m[i] = depth[i] == z;
      masks.push_back(m);
    }
    return masks;
  };
  scenes.push_back({"box_and_disc", objects, kObjectsWidth, kObjectsHeight,
                    levels(objects, {-0.4f, 0.0f})});
  const std::vector<float> mirrored = Mirrored(objects, kObjectsWidth);
  scenes.push_back({"box_and_disc_mirrored", mirrored, kObjectsWidth, kObjectsHeight,
                    levels(mirrored, {-0.4f, 0.0f})});
  // The built-in scene's sphere: every scene depth at -8 or nearer above the plane's near rows.
  const int w = 960, h = 540;
  for (bool mirror : {false, true}) {
    std::vector<float> demo = zavol::MakeDemoScene(w, h);
    if (mirror) demo = Mirrored(demo, w);
    std::vector<uint8_t> sphere(demo.size());
    for (std::size_t i = 0; i < demo.size(); ++i) sphere[i] = demo[i] >= -8.0f && i / w < 0.75 * h;
    scenes.push_back({mirror ? "sphere_mirrored" : "sphere", demo, w, h, {sphere}});
  }
  return scenes;
}

double Share(const zavol::GeometricRepeats& g, const std::vector<uint8_t>& mask) {
  int64_t seen = 0, repeated = 0;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    seen += mask[i] & g.seen[i];
    repeated += mask[i] & g.repeated[i];
  }
  return seen > 0 ? static_cast<double>(repeated) / static_cast<double>(seen) : 0.0;
}

// Scene x view x linking: each near object's share, and the mirrored scene seen cross-eyed
// against the scene seen wall-eyed.
TEST(GeometricMeter, NearObjectsRepeatAtTheirOwnSeparationInBothViews) {
  const StereogramSettings settings = With([](StereogramSettings&) {});
  std::map<std::string, double> shares;
  for (const GeometricScene& scene : GeometricScenes()) {
    for (ViewDirection view : {ViewDirection::kWall, ViewDirection::kCross}) {
      for (Linking linking : {Linking::kClassic, Linking::kSymmetric}) {
        zavol::ViewOptions options;
        options.view = view;
        options.linking = linking;
        const Rendered r = RenderScene(settings, scene.width, scene.height, scene.depth, false,
                                       1920, 1080, options);
        const zavol::DepthView depth{scene.depth.data(), scene.width, scene.height, scene.width};
        const zavol::GeometricRepeats g = zavol::MeasureGeometricRepeats(
            settings, depth, 1920, 1080, options, r.picture.View());
        for (std::size_t k = 0; k < scene.objects.size(); ++k) {
          const std::string name = std::string(scene.name) +
                                   (view == ViewDirection::kWall ? "/wall" : "/cross") +
                                   (linking == Linking::kClassic ? "/classic/" : "/symmetric/") +
                                   std::to_string(k);
          shares[name] = Share(g, scene.objects[k]);
          EXPECT_GE(shares[name], 0.9) << name;
        }
      }
    }
  }
  for (const char* scene : {"box_and_disc", "sphere"}) {
    for (const char* linking : {"/classic/", "/symmetric/"}) {
      for (const char* object : {"0", "1"}) {
        const std::string wall = std::string(scene) + "/wall" + linking + object;
        const std::string cross = std::string(scene) + "_mirrored/cross" + linking + object;
        if (shares.count(wall) == 0) continue;
        EXPECT_NEAR(shares[cross], shares[wall], 0.05) << cross << " against " << wall;
      }
    }
  }
}

// The meter must see a builder that links the wrong surface: crossed-eyed separations linked
// with the first claim on each source kept (as diverged eyes want it) leave the left part of
// the disc unrepeated, and the meter says so; the nearer claim kept passes.
TEST(GeometricMeter, FailsABuilderThatKeepsTheFartherSurfacesLinks) {
  const StereogramSettings settings = With([](StereogramSettings&) {});
  const std::vector<float> depth = BoxAndDisc(-0.75f);
  const int w = kObjectsWidth, h = kObjectsHeight;
  const zavol::DepthView view{depth.data(), w, h, w};
  const zavol::ViewingGeometry geometry = zavol::ComputeGeometry(settings, w, h, 1920, 1080);
  const zavol::SeparationRule rule(geometry, zavol::FrameDepthRange(settings, depth.data(), w, h));
  const zavol::SubPixelRule crossed(geometry, rule, ViewDirection::kCross, 1);
  zavol::ViewOptions options;
  options.view = ViewDirection::kCross;
  std::vector<uint8_t> disc(depth.size());
  for (std::size_t i = 0; i < depth.size(); ++i) disc[i] = depth[i] == 0.0f;
  for (ViewDirection keep : {ViewDirection::kWall, ViewDirection::kCross}) {
    Picture p;
    p.width = w;
    p.height = h;
    p.words.assign(depth.size() * 4, 0xFFFF);
    zavol::RowLinks links;
    ASSERT_TRUE(links.Allocate(w));
    std::vector<int32_t> separations(w);
    std::mt19937 random(3);
    for (int y = 0; y < h; ++y) {
      crossed.FillPixels(depth.data() + static_cast<std::size_t>(y) * w, w, separations.data());
      links.LinkClassic(separations.data(), w, true, y == 0, keep);
      std::vector<uint16_t> colour(static_cast<std::size_t>(w) * 3);
      for (int x = 0; x < w; ++x) {
        const int root = links.Root(x);
        for (int c = 0; c < 3; ++c) {
          colour[3 * x + c] = root == x ? static_cast<uint16_t>(random()) : colour[3 * root + c];
          p.words[(static_cast<std::size_t>(y) * w + x) * 4 + c] = colour[3 * x + c];
        }
      }
    }
    const double share =
        Share(zavol::MeasureGeometricRepeats(settings, view, 1920, 1080, options, p.View()), disc);
    if (keep == ViewDirection::kWall) {
      EXPECT_LT(share, 0.8);
    } else {
      EXPECT_GE(share, 0.9);
    }
  }
}

}  // namespace
