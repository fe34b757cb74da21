// Frames on several threads against the frame on one: the generator's jump-ahead against
// stepping, the golden digests and the plain reference renderer over random sweeps (tiny
// widths, separation-0 pixels, ghosting on and off, pattern, HSV, guide, stops, rows through
// the row sink) with 1, 2, 3 and 7 threads, the depth scan in bands of rows, and the library's
// threads field; the thread team's rule for a member that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "libzavol/zavol.h"
#include "render/geometry.h"
#include "render/image_render.h"
#include "render/random.h"
#include "render/thread_team.h"
#include "tests/engine_support.h"
#include "tests/golden_scenes.h"
#include "tests/random_frames.h"

namespace {

using zavol::Pixel64;

constexpr Pixel64 kCanary{0xA5C3, 0x1234, 0x5678, 0x9ABC};
constexpr int kThreadCounts[] = {1, 2, 3, 7};

// Every draw counted one by one and by the jump, for counts on both sides of every power of two
// the composition takes apart, and across the 32-bit period's wrap.
TEST(FrameGenerator, JumpAheadLandsWhereSteppingDoes) {
  const uint32_t seeds[] = {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu, 1700000000u};
  const uint64_t counts[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 255, 256, 1000, 65535, 65536, 123457};
  for (uint32_t seed : seeds) {
    zavol::DotRandom stepping(seed);
    uint64_t stepped = 0;
    for (uint64_t count : counts) {
      for (; stepped < count; ++stepped) stepping.Next();
      zavol::DotRandom jumped(zavol::DotRandom::Advance(seed, count));
      zavol::DotRandom next = stepping;
      EXPECT_EQ(jumped.Next(), next.Next()) << "seed " << seed << " count " << count;
      EXPECT_EQ(jumped.Next(), next.Next()) << "seed " << seed << " count " << count;
    }
  }
  // Far beyond stepping: jumps compose, and 2^32 draws return the generator to where it was.
  for (uint32_t seed : seeds) {
    const uint64_t a = 0x2F5A1C3B7ull, b = 0x11D3E9F04ull;
    EXPECT_EQ(zavol::DotRandom::Advance(zavol::DotRandom::Advance(seed, a), b),
              zavol::DotRandom::Advance(seed, a + b));
    EXPECT_EQ(zavol::DotRandom::Advance(seed, uint64_t{1} << 32), seed);
  }
}

// How the rows leave the engine: built in place (no progress), through progress into the whole
// frame, or streamed through the row sink with no output image at all.
enum class Delivery { kInPlace, kWholeFrame, kSink };

using Frame = enginetest::SweepFrame;
using enginetest::Sweep;

// What the callbacks see and do: the thread they run on, the rows asked in order, the rows the
// sink takes (each once, in order), and where the frame stops.
struct Feed {
  std::thread::id caller;
  bool otherThread = false;
  std::vector<int> asked;
  int lastRowSeen = -2;
  int stopAt = -1;
  std::vector<Pixel64>* collected = nullptr;
  int width = 0;
  int nextSunk = 0;
  bool outOfOrder = false;
};

int SinkRows(void* user, int first, int end, const uint16_t* words, std::ptrdiff_t stride) {
  Feed& feed = *static_cast<Feed*>(user);
  if (std::this_thread::get_id() != feed.caller) feed.otherThread = true;
  if (first != feed.nextSunk || end <= first) feed.outOfOrder = true;
  for (int y = first; y < end; ++y, words += stride) {
    std::memcpy(feed.collected->data() + static_cast<std::size_t>(y) * feed.width, words,
                static_cast<std::size_t>(feed.width) * sizeof(Pixel64));
  }
  feed.nextSunk = end;
  return 0;
}

int OnRow(void* user, int row, int lastRow) {
  Feed& feed = *static_cast<Feed*>(user);
  if (std::this_thread::get_id() != feed.caller) feed.otherThread = true;
  feed.asked.push_back(row);
  feed.lastRowSeen = lastRow;
  return row == feed.stopAt ? 1 : 0;
}

struct Rendered {
  zavol::ImageRenderResult result;
  std::vector<Pixel64> pixels;  // the frame as out holds it (or as the sink took it)
  Feed feed;
};

Rendered RenderThreaded(const Frame& f, int threads, Delivery delivery, int stopAt = -1) {
  Rendered r;
  r.pixels.assign(static_cast<std::size_t>(f.width) * f.height, kCanary);
  zavol::PixelView out{reinterpret_cast<uint16_t*>(r.pixels.data()), f.width, f.height,
                       4 * std::ptrdiff_t{f.width}};
  if (delivery == Delivery::kSink) out = zavol::PixelView{nullptr, f.width, 0, 0};
  const zavol::ConstPixelView pattern{reinterpret_cast<const uint16_t*>(f.pattern.data()),
                                      f.patternWidth, f.patternHeight,
                                      4 * std::ptrdiff_t{f.patternWidth}};
  zavol::ImageRenderOptions options;
  options.screenWidth = f.screenWidth;
  options.screenHeight = f.screenHeight;
  options.seed = f.seed;
  options.threads = threads;
  if (!f.pattern.empty()) options.pattern = &pattern;
  r.feed.caller = std::this_thread::get_id();
  r.feed.stopAt = stopAt;
  r.feed.width = f.width;
  if (delivery != Delivery::kInPlace) {
    options.progress = OnRow;
    options.user = &r.feed;
  }
  if (delivery == Delivery::kSink) {
    options.rows = SinkRows;
    r.feed.collected = &r.pixels;
  }
  const zavol::DepthView depth{f.depth.data(), f.width, f.height, f.width};
  r.result = zavol::RenderImage(f.settings, depth, options, out);
  return r;
}

std::vector<Pixel64> RenderReference(const Frame& f) {
  zavoltest::FlatHost host = f.MakeHost<zavoltest::FlatHost>(kCanary);
  enginetest::ReferenceRender(f.settings, host);
  return host.canvas;
}

Frame GoldenFrame(const golden::Case& c) {
  const golden::Scene scene = c.scene();
  Frame f;
  f.width = scene.width;
  f.height = scene.height;
  f.depth = scene.depth;
  f.settings = c.settings;
  if (c.pattern) {
    for (const golden::Rgba& p : golden::CoordinatePattern(scene.width, scene.height)) {
      f.pattern.push_back(Pixel64{p.r, p.g, p.b, p.a});
    }
    f.patternWidth = scene.width;
    f.patternHeight = scene.height;
  }
  return f;
}

TEST(ThreadedGolden, EveryDigestWithEveryThreadCountAndDelivery) {
  for (const golden::Case& c : golden::Cases()) {
    const Frame f = GoldenFrame(c);
    for (int threads : kThreadCounts) {
      for (Delivery delivery : {Delivery::kInPlace, Delivery::kWholeFrame, Delivery::kSink}) {
        SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads) +
                     ", delivery " + std::to_string(static_cast<int>(delivery)));
        const Rendered r = RenderThreaded(f, threads, delivery);
        ASSERT_EQ(r.result.status, zavol::FrameStatus::kDone);
        EXPECT_EQ(enginetest::Digest(r.pixels), c.digest);
        EXPECT_FALSE(r.feed.otherThread) << "a callback called off the calling thread";
        EXPECT_FALSE(r.feed.outOfOrder) << "rows sunk out of order";
      }
    }
  }
}

bool SameRows(const std::vector<Pixel64>& a, const std::vector<Pixel64>& b, int width, int rows) {
  const std::size_t n = static_cast<std::size_t>(width) * rows;
  return std::equal(a.begin(), a.begin() + n, b.begin());
}

TEST(ThreadedSweep, RandomFramesEqualTheReferenceRowForRow) {
  Sweep sweep(2024);
  for (int i = 0; i < 400; ++i) {
    Frame f = enginetest::MakeSweepFrame(sweep);
    const Delivery delivery = static_cast<Delivery>(sweep.Below(3));
    const std::vector<Pixel64> reference = RenderReference(f);
    for (int threads : kThreadCounts) {
      SCOPED_TRACE("frame " + std::to_string(i) + " " + std::to_string(f.width) + "x" +
                   std::to_string(f.height) + ", threads " + std::to_string(threads) +
                   ", delivery " + std::to_string(static_cast<int>(delivery)));
      const Rendered r = RenderThreaded(f, threads, delivery);
      ASSERT_EQ(r.result.status, zavol::FrameStatus::kDone);
      ASSERT_TRUE(r.pixels == reference);
      if (delivery != Delivery::kInPlace) {
        ASSERT_EQ(static_cast<int>(r.feed.asked.size()), f.height);
        for (int y = 0; y < f.height; ++y) ASSERT_EQ(r.feed.asked[y], y);
        EXPECT_EQ(r.feed.lastRowSeen, f.height - 1);
        EXPECT_FALSE(r.feed.otherThread);
      }
    }
  }
}

// A stop at row N: rows 0..N were asked in order, rows above N are the finished reference's
// (guide included), rows from N on are never written.
TEST(ThreadedSweep, AStopLeavesTheRowsFromItOnUntouched) {
  Sweep sweep(77);
  for (int i = 0; i < 150; ++i) {
    Frame f = enginetest::MakeSweepFrame(sweep);
    const int stopAt = sweep.Below(f.height);
    const std::vector<Pixel64> reference = RenderReference(f);
    for (int threads : kThreadCounts) {
      SCOPED_TRACE("frame " + std::to_string(i) + ", stop at " + std::to_string(stopAt) +
                   ", threads " + std::to_string(threads));
      const Rendered r = RenderThreaded(f, threads, Delivery::kWholeFrame, stopAt);
      ASSERT_EQ(r.result.status, zavol::FrameStatus::kStopped);
      ASSERT_EQ(static_cast<int>(r.feed.asked.size()), stopAt + 1);
      for (int y = 0; y <= stopAt; ++y) ASSERT_EQ(r.feed.asked[y], y);
      ASSERT_TRUE(SameRows(r.pixels, reference, f.width, stopAt));
      ASSERT_TRUE(std::all_of(r.pixels.begin() + static_cast<std::ptrdiff_t>(f.width) * stopAt,
                              r.pixels.end(), [](const Pixel64& p) { return p == kCanary; }));
    }
  }
}

// Bands of rows, scanned in any order, give the whole frame's scan bit for bit: frames of a few
// values (beyond the limits on both sides, NaN, signed zeros, scene depths), with columns that
// stay empty for a random number of rows, so that a column's first record falls in any band.
TEST(ThreadedScan, RowBandsInAnyOrderGiveTheWholeScan) {
  const float values[] = {-1e30f, std::nanf(""), 1e25f, -1e25f, -2.0f, -3.0f, -4.5f, 0.0f, -0.0f};
  Sweep sweep(5);
  for (int i = 0; i < 3000; ++i) {
    const int width = 1 + sweep.Below(12), height = 1 + sweep.Below(30);
    std::vector<float> depth(static_cast<std::size_t>(width) * height);
    for (int x = 0; x < width; ++x) {
      const int emptyRows = sweep.Below(height + 1);
      for (int y = 0; y < height; ++y) {
        depth[static_cast<std::size_t>(y) * width + x] = values[sweep.Below(y < emptyRows ? 4 : 9)];
      }
    }
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const zavol::DepthRange whole = zavol::ScanDepthRange(depth.data(), w, h);
    zavol::DepthScan scan(depth.data(), w, h, w, 1 + sweep.Below(9));
    for (int band = scan.bands() - 1; band >= 0; --band) scan.ScanBand(band);
    const zavol::DepthRange banded = scan.Finish();
    ASSERT_EQ(std::memcmp(&banded, &whole, sizeof whole), 0) << "frame " << i;
  }
}

// The library's threads field: every count gives the same frame, and a caller built before the
// field existed (a shorter struct_size) still renders it.
TEST(ThreadedLibrary, ThreadsFieldAndOlderCallersGiveTheSameFrame) {
  const golden::Case c = golden::Cases()[1];
  const Frame f = GoldenFrame(c);
  zavol_settings settings;
  ASSERT_EQ(zavol_settings_from_bytes(&settings, &f.settings, sizeof f.settings), ZAVOL_OK);
  const zavol_depth depth{f.depth.data(), f.width, f.height, 0};
  zavol_options defaults;
  zavol_options_default(&defaults);
  EXPECT_EQ(defaults.threads, 0) << "threads are on by default";
  struct Call {
    std::size_t structSize;
    int threads;
    int status;
  };
  const Call calls[] = {{sizeof(zavol_options), 0, ZAVOL_OK},
                        {sizeof(zavol_options), 1, ZAVOL_OK},
                        {sizeof(zavol_options), 2, ZAVOL_OK},
                        {sizeof(zavol_options), 7, ZAVOL_OK},
                        {offsetof(zavol_options, threads), 1, ZAVOL_OK},
                        {sizeof(zavol_options), -1, ZAVOL_E_OPTION_VALUE}};
  for (const Call& call : calls) {
    SCOPED_TRACE("struct_size " + std::to_string(call.structSize) + ", threads " +
                 std::to_string(call.threads));
    zavol_options options = defaults;
    options.struct_size = call.structSize;
    options.threads = call.threads;
    options.screen_width = golden::kScreenWidth;
    options.screen_height = golden::kScreenHeight;
    std::vector<Pixel64> pixels(f.depth.size(), kCanary);
    zavol_image out{reinterpret_cast<uint16_t*>(pixels.data()), f.width, f.height, 0};
    ASSERT_EQ(zavol_render(&settings, &depth, &options, &out), call.status);
    if (call.status == ZAVOL_OK) {
      EXPECT_EQ(enginetest::Digest(pixels), c.digest);
    }
  }
}

// ---- The thread team's rule: what a member throws ends that member alone, the others are told
// to stop, and the coordinator gets what was thrown.
struct TeamFailureCase {
  const char* name;
  int members;  // the coordinator included
  int thrower;
};

void PrintTo(const TeamFailureCase& c, std::ostream* out) { *out << c.name; }

class TeamFailure : public testing::TestWithParam<TeamFailureCase> {};

TEST_P(TeamFailure, TheOthersStopAndTheCoordinatorGetsTheException) {
  const TeamFailureCase& c = GetParam();
  zavol::ThreadTeam team;
  std::atomic<int> stopped{0};
  auto work = [&](int member) {
    if (member == c.thrower) throw std::runtime_error("member " + std::to_string(member));
    // Bounded, so that a stop that never comes fails the test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!team.Stopping() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    if (team.Stopping()) ++stopped;
  };
  ASSERT_EQ(team.Start(c.members - 1, work), c.members - 1);
  team.TakePart(0, work);
  team.Join();
  EXPECT_EQ(stopped.load(), c.members - 1);
  ASSERT_NE(team.Failure(), nullptr);
  try {
    std::rethrow_exception(team.Failure());
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "member " + std::to_string(c.thrower));
  }
  EXPECT_FALSE(zavol::RunTeam(c.members, [&](int member) {
    if (member == c.thrower) throw std::bad_alloc();
  }));
}

INSTANTIATE_TEST_SUITE_P(Table, TeamFailure,
                         testing::Values(TeamFailureCase{"coordinator", 3, 0},
                                         TeamFailureCase{"first_thread", 3, 1},
                                         TeamFailureCase{"last_of_eight", 8, 7}),
                         [](const testing::TestParamInfo<TeamFailureCase>& p) { return p.param.name; });

}  // namespace
