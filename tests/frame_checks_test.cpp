// The frame check that finds the scene's farthest level at the background's separation: which
// level it finds, how many pixels it counts and what it takes for background, over frames
// built row by row (the check reads each row's pixels in two passes, so a farther level may
// turn up in any row).
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <limits>
#include <string>
#include <vector>

#include "render/frame_checks.h"
#include "render/settings.h"

namespace {

constexpr int kWidth = 64, kHeight = 8;  // 512 pixels: a level needs 64 of them, as does background
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kBg = -1e30f;

// A run of equal values within one row.
struct Run {
  int row, first, count;
  float z;
};

struct LevelCase {
  std::string name;
  float fill;  // every pixel not in a run
  std::vector<Run> runs;
  int padding;  // values between rows (farther than any level, never to be read)
  bool merges;
  int64_t pixels;
  float depth;
};

std::vector<float> Frame(const LevelCase& c) {
  const int stride = kWidth + c.padding;
  std::vector<float> depth(static_cast<std::size_t>(stride) * kHeight, -2.0f);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) depth[y * stride + x] = c.fill;
  }
  for (const Run& r : c.runs) {
    for (int x = r.first; x < r.first + r.count; ++x) depth[r.row * stride + x] = r.z;
  }
  return depth;
}

std::vector<Run> Rows(int first, int last, float z) {
  std::vector<Run> runs;
  for (int y = first; y <= last; ++y) runs.push_back({y, 0, kWidth, z});
  return runs;
}

std::vector<Run> Join(std::vector<Run> a, const std::vector<Run>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(FrameChecks, FarthestLevelAtTheBackgroundsSeparation) {
  const std::vector<LevelCase> cases = {
      {"level_on_empty_background", kBg, Join(Rows(2, 5, -0.5f), Rows(6, 7, -0.25f)), 0, true, 256,
       -0.5f},
      {"farther_level_in_a_later_row_restarts_the_count", kBg,
       Join(Join(Rows(0, 3, -0.5f), Rows(4, 4, -0.75f)), Rows(5, 5, -0.25f)), 0, true, 64, -0.75f},
      {"one_level_in_separate_rows_adds_up", kBg,
       Join(Join(Rows(1, 3, -0.5f), Rows(4, 5, -0.25f)), {{0, 10, 32, -0.75f}, {6, 0, 32, -0.75f}}), 0,
       true, 64, -0.75f},
      {"too_few_pixels_at_the_farthest_depth", kBg,
       Join(Join(Rows(1, 3, -0.5f), Rows(4, 5, -0.25f)), {{0, 10, 63, -0.75f}}), 0, false, 0, 0.0f},
      {"no_background_around_the_level", -0.25f, Rows(0, 3, -0.5f), 0, false, 0, 0.0f},
      {"behind_the_camera_counts_as_background", -0.25f,
       Join(Rows(0, 0, 1.0f), Join(Rows(1, 1, kNaN), Rows(2, 5, -0.5f))), 0, true, 256, -0.5f},
      {"not_a_number_is_not_background", -0.25f,
       Join(Join(Rows(1, 1, kNaN), Rows(2, 5, -0.5f)), {{0, 0, 63, 1.0f}, {0, 63, 1, kNaN}}), 0, false,
       0, 0.0f},
      {"values_between_rows_are_not_read", kBg, Join(Rows(2, 5, -0.5f), Rows(6, 7, -0.25f)), 5, true,
       256, -0.5f},
  };
  const StereogramSettings settings = DefaultSettings();
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<float> depth = Frame(c);
    const std::ptrdiff_t stride = kWidth + c.padding;
    const zavol::DepthSpread spread = zavol::LookAtDepth(depth.data(), kWidth, kHeight, stride);
    const zavol::DepthView view{depth.data(), kWidth, kHeight, stride};
    // Counted by the check itself, and by the plan's depth scan in one band and in bands of a
    // row or two merged afterwards.
    for (const auto& [threads, counted] : {std::pair{1, false}, {1, true}, {2, true}, {3, true}}) {
      SCOPED_TRACE("threads " + std::to_string(threads) + (counted ? ", counted by the scan" : ""));
      const zavol::FramePlan plan =
          zavol::PlanFrame(settings, view, 800, 600, 0, threads, counted);
      EXPECT_EQ(plan.levelKnown, counted);
      const zavol::Fusing f = zavol::CheckFusing(settings, plan, spread);
      EXPECT_EQ(f.levelMerges, c.merges);
      EXPECT_EQ(f.levelPixels, c.pixels);
      EXPECT_EQ(f.levelDepth, c.depth);
    }
  }
}

}  // namespace
