// The C interface: bad calls and their statuses, the golden scenes against the engine and the
// zavol tool, strides, stopping, threads rendering at once, the row sink, settings blocks and
// depth kinds.
// Native only (runs the built tool).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "io/netpbm.h"
#include "libzavol/zavol.h"
#include "tests/cli_support.h"
#include "tests/golden_cross_host.h"
#include "tests/golden_scenes.h"

// A sanitizer's shadow memory cannot live under a cap on the address space.
#if defined(__SANITIZE_ADDRESS__)
#define ZAVOL_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZAVOL_UNDER_SANITIZER 1
#endif
#endif
#ifndef ZAVOL_UNDER_SANITIZER
#define ZAVOL_UNDER_SANITIZER 0
#endif

namespace {

constexpr uint16_t kCanary = 0xA5C3;
constexpr std::size_t kGuardWords = 64;

// An image buffer with guard words before, after and between rows (when the stride is longer
// than a row), all holding kCanary until something writes.
struct GuardedImage {
  GuardedImage(int width, int height, std::ptrdiff_t rowStride)
      : words(kGuardWords + static_cast<std::size_t>(rowStride) * height + kGuardWords, kCanary),
        image{words.data() + kGuardWords, width, height, rowStride} {}
  std::vector<uint16_t> words;
  zavol_image image;

  uint16_t* Row(int y) { return image.pixels + y * image.row_stride; }
  // Words that are not part of any pixel of the image.
  bool OutsideUntouched() const {
    for (std::size_t i = 0; i < words.size(); ++i) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(kGuardWords);
      const bool inside = at >= 0 && at / image.row_stride < image.height &&
                          at % image.row_stride < 4 * image.width;
      if (!inside && words[i] != kCanary) return false;
    }
    return true;
  }
  bool AllUntouched() const {
    for (uint16_t w : words) {
      if (w != kCanary) return false;
    }
    return true;
  }
  // The pixels, row after row, without the gaps.
  std::vector<uint16_t> Pixels() const {
    std::vector<uint16_t> pixels;
    for (int y = 0; y < image.height; ++y) {
      const uint16_t* row = image.pixels + y * image.row_stride;
      pixels.insert(pixels.end(), row, row + 4 * image.width);
    }
    return pixels;
  }
};

zavol_settings ToC(const StereogramSettings& record) {
  zavol_settings s;
  EXPECT_EQ(zavol_settings_from_bytes(&s, &record, sizeof record), ZAVOL_OK);
  return s;
}

// A golden case as arguments to zavol_render.
struct GoldenCall {
  explicit GoldenCall(const golden::Case& c) : scene(c.scene()), settings(ToC(c.settings)) {
    zavol_options_default(&options);
    options.screen_width = golden::kScreenWidth;
    options.screen_height = golden::kScreenHeight;
    if (c.pattern) {
      for (const golden::Rgba& p : golden::CoordinatePattern(scene.width, scene.height)) {
        pattern.insert(pattern.end(), {p.r, p.g, p.b, p.a});
      }
      patternImage = zavol_image{pattern.data(), scene.width, scene.height, 0};
      options.pattern = &patternImage;
    }
    depth = zavol_depth{scene.depth.data(), scene.width, scene.height, 0};
  }
  golden::Scene scene;
  zavol_settings settings;
  std::vector<uint16_t> pattern;
  zavol_image patternImage{};
  zavol_options options;
  zavol_depth depth;

  std::vector<uint16_t> Render() {
    std::vector<uint16_t> pixels(4 * scene.depth.size());
    zavol_image out{pixels.data(), scene.width, scene.height, 0};
    EXPECT_EQ(zavol_render(&settings, &depth, &options, &out), ZAVOL_OK);
    return pixels;
  }
};

std::vector<uint16_t> Words(const std::vector<zavol::Pixel64>& pixels) {
  std::vector<uint16_t> words;
  for (const zavol::Pixel64& p : pixels) words.insert(words.end(), {p.r, p.g, p.b, p.a});
  return words;
}

TEST(LibzavolGolden, RenderEqualsTheEngineAndTheToolOnEveryGoldenScene) {
  clitest::ScratchDir dir;
  for (const golden::Case& c : golden::Cases()) {
    SCOPED_TRACE(c.name);
    GoldenCall call(c);
    const std::vector<uint16_t> pixels = call.Render();

    std::vector<zavol::Pixel64> pattern;
    for (std::size_t i = 0; i < call.pattern.size(); i += 4) {
      pattern.push_back({call.pattern[i], call.pattern[i + 1], call.pattern[i + 2], call.pattern[i + 3]});
    }
    const zavoltest::ReferenceFrame engine = zavoltest::RenderReference(
        c.settings, call.scene.width, call.scene.height, call.scene.depth,
        c.pattern ? &pattern : nullptr, call.scene.width, call.scene.height, zavol::Pixel64{});
    EXPECT_EQ(pixels, Words(engine.pixels)) << "zavol_render differs from the engine";

    const std::string depthFile = dir / (std::string(c.name) + ".pfm");
    const std::string block = dir / (std::string(c.name) + ".bin");
    const std::string output = dir / (std::string(c.name) + ".pam");
    ASSERT_TRUE(golden::WritePfm(call.scene, depthFile));
    clitest::WriteBytes(block, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&c.settings),
                                                    reinterpret_cast<const uint8_t*>(&c.settings) + 56));
    std::vector<std::string> args = {"render", depthFile, "-o", output, "--settings", block,
                                     "--screen", "1024x768", "--seed", "0", "-q"};
    if (c.pattern) {
      const std::string patternFile = dir / (std::string(c.name) + "_pattern.pam");
      clitest::WriteBytes(patternFile, zavol::netpbm::EncodeRgba16Pam(call.scene.width, call.scene.height, call.pattern));
      args.insert(args.end(), {"--pattern", patternFile});
    }
    const clitest::ProcessResult run = clitest::RunZavol(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const clitest::Image tool = clitest::DecodePam(clitest::ReadBytes(output));
    ASSERT_EQ(tool.width, call.scene.width);
    EXPECT_EQ(pixels, Words(tool.pixels)) << "zavol_render differs from zavol render's .pam";
  }
}

// One call of zavol_render whose pieces a bad-call case spoils one at a time.
struct Call {
  Call() : scene(golden::StepsScene()), out(scene.width, scene.height, 4 * scene.width) {
    zavol_settings_default(&settings);
    zavol_options_default(&options);
    depth = zavol_depth{scene.depth.data(), scene.width, scene.height, 0};
    pattern.assign(4 * scene.depth.size(), 1000);
    patternImage = zavol_image{pattern.data(), scene.width, scene.height, 0};
    options.pattern = &patternImage;
  }
  golden::Scene scene;
  GuardedImage out;
  zavol_settings settings;
  zavol_options options;
  zavol_depth depth;
  std::vector<uint16_t> pattern;
  zavol_image patternImage;
  zavol_findings findings{};
  const zavol_settings* settingsArg = &settings;
  const zavol_depth* depthArg = &depth;
  const zavol_options* optionsArg = &options;
  zavol_image* outArg = &out.image;

  int Render() { return zavol_render(settingsArg, depthArg, optionsArg, outArg); }
};

struct BadCall {
  const char* name;
  std::function<void(Call&)> spoil;
  int status;
};

int StopAtOnce(void*, int, int) { return 1; }

TEST(LibzavolBadCalls, EachHasItsStatusAndWritesNothing) {
  const BadCall cases[] = {
      {"null_settings", [](Call& c) { c.settingsArg = nullptr; }, ZAVOL_E_NULL},
      {"null_depth", [](Call& c) { c.depthArg = nullptr; }, ZAVOL_E_NULL},
      {"null_options", [](Call& c) { c.optionsArg = nullptr; }, ZAVOL_E_NULL},
      {"null_out", [](Call& c) { c.outArg = nullptr; }, ZAVOL_E_NULL},
      {"null_depth_values", [](Call& c) { c.depth.values = nullptr; }, ZAVOL_E_NULL},
      {"null_out_pixels", [](Call& c) { c.out.image.pixels = nullptr; }, ZAVOL_E_NULL},
      {"null_pattern_pixels", [](Call& c) { c.patternImage.pixels = nullptr; }, ZAVOL_E_NULL},
      {"zero_width", [](Call& c) { c.depth.width = c.out.image.width = 0; }, ZAVOL_E_SIZE},
      {"negative_height", [](Call& c) { c.depth.height = -1; }, ZAVOL_E_SIZE},
      {"side_over_limit", [](Call& c) { c.depth.width = c.out.image.width = 65536; }, ZAVOL_E_SIZE},
      {"out_height_zero", [](Call& c) { c.out.image.height = 0; }, ZAVOL_E_SIZE},
      {"pattern_width_zero", [](Call& c) { c.patternImage.width = 0; }, ZAVOL_E_SIZE},
      {"pattern_over_limit", [](Call& c) { c.patternImage.height = INT_MAX; }, ZAVOL_E_SIZE},
      {"depth_stride_short", [](Call& c) { c.depth.row_stride = c.depth.width - 1; }, ZAVOL_E_STRIDE},
      {"depth_stride_negative", [](Call& c) { c.depth.row_stride = -c.depth.width; }, ZAVOL_E_STRIDE},
      {"out_stride_short", [](Call& c) { c.out.image.row_stride = 4 * c.out.image.width - 1; }, ZAVOL_E_STRIDE},
      {"out_stride_beyond_addressing", [](Call& c) { c.out.image.row_stride = PTRDIFF_MAX / 4; }, ZAVOL_E_STRIDE},
      {"pattern_stride_short", [](Call& c) { c.patternImage.row_stride = 3; }, ZAVOL_E_STRIDE},
      {"out_narrower", [](Call& c) { c.out.image.width -= 1; }, ZAVOL_E_SIZE_MISMATCH},
      {"out_shorter", [](Call& c) { c.out.image.height -= 1; }, ZAVOL_E_SIZE_MISMATCH},
      {"out_over_depth", [](Call& c) {
         c.depth.values = reinterpret_cast<const float*>(c.out.image.pixels + 8);
       }, ZAVOL_E_OVERLAP},
      {"pattern_is_out", [](Call& c) { c.patternImage.pixels = c.out.image.pixels; }, ZAVOL_E_OVERLAP},
      {"options_not_set_up", [](Call& c) { c.options.struct_size = 0; }, ZAVOL_E_OPTIONS},
      {"options_from_a_newer_header", [](Call& c) { c.options.struct_size += 8; }, ZAVOL_E_OPTIONS},
      {"findings_without_struct_size", [](Call& c) { c.options.findings = &c.findings; }, ZAVOL_E_OPTIONS},
      {"findings_from_a_newer_header", [](Call& c) {
         c.findings.struct_size = sizeof c.findings + 8;
         c.options.findings = &c.findings;
       }, ZAVOL_E_OPTIONS},
      {"stopped_before_row_0", [](Call& c) { c.options.progress = StopAtOnce; }, ZAVOL_E_STOPPED},
      // The settings `zavol render` refuses.
      {"background_depth_0", [](Call& c) { c.settings.background_depth = 0; }, ZAVOL_E_SETTING_VALUE},
      {"near_object_depth_nan", [](Call& c) { c.settings.near_object_depth = NAN; }, ZAVOL_E_SETTING_VALUE},
      {"far_object_depth_above_1", [](Call& c) { c.settings.far_object_depth = 1.5f; }, ZAVOL_E_SETTING_VALUE},
      {"near_distance_behind_far", [](Call& c) {
         c.settings.auto_distance = 0;
         c.settings.near_distance = c.settings.far_distance + 1;
       }, ZAVOL_E_SETTING_VALUE},
  };
  std::set<int> statuses;
  for (const BadCall& bad : cases) {
    SCOPED_TRACE(bad.name);
    Call call;
    bad.spoil(call);
    EXPECT_EQ(call.Render(), bad.status);
    EXPECT_TRUE(call.out.AllUntouched());
    statuses.insert(bad.status);
  }
  // The spoilt pieces were the only fault: untouched, the same call renders.
  Call good;
  EXPECT_EQ(good.Render(), ZAVOL_OK);
  EXPECT_TRUE(good.out.OutsideUntouched());
  EXPECT_FALSE(good.out.AllUntouched());
  // Every status has a text of its own; unknown ones share one.
  std::set<std::string> texts;
  for (int status : statuses) texts.insert(zavol_status_text(status));
  texts.insert(zavol_status_text(ZAVOL_E_NO_MEMORY));
  texts.insert(zavol_status_text(ZAVOL_E_DEPTH_KIND));
  texts.insert(zavol_status_text(ZAVOL_E_SETTINGS_SIZE));
  texts.insert(zavol_status_text(ZAVOL_OK));
  EXPECT_EQ(texts.size(), statuses.size() + 4);
  const std::string unknown = zavol_status_text(-1000);
  EXPECT_EQ(texts.count(unknown), 0u);
  EXPECT_EQ(zavol_status_text(1), unknown);
  EXPECT_EQ(zavol_status_text(INT_MIN), unknown);
}

TEST(LibzavolViews, StridedViewsRenderTheSameAndKeepTheirGaps) {
  for (const golden::Case& c : golden::Cases()) {
    SCOPED_TRACE(c.name);
    GoldenCall call(c);
    const std::vector<uint16_t> plain = call.Render();
    const int width = call.scene.width, height = call.scene.height;

    // The same depth as a window of a wider buffer, the pattern likewise.
    const int depthStride = width + 3, patternStride = 4 * width + 7;
    std::vector<float> wideDepth(static_cast<std::size_t>(depthStride) * height, 12345.0f);
    std::vector<uint16_t> widePattern(static_cast<std::size_t>(patternStride) * height, 7);
    for (int y = 0; y < height; ++y) {
      std::memcpy(&wideDepth[static_cast<std::size_t>(y) * depthStride], &call.scene.depth[static_cast<std::size_t>(y) * width],
                  width * sizeof(float));
      if (c.pattern) {
        std::memcpy(&widePattern[static_cast<std::size_t>(y) * patternStride], &call.pattern[static_cast<std::size_t>(y) * 4 * width],
                    4 * width * sizeof(uint16_t));
      }
    }
    call.depth = zavol_depth{wideDepth.data(), width, height, depthStride};
    call.patternImage = zavol_image{widePattern.data(), width, height, patternStride};
    GuardedImage out(width, height, 4 * width + 5);
    ASSERT_EQ(zavol_render(&call.settings, &call.depth, &call.options, &out.image), ZAVOL_OK);
    EXPECT_EQ(out.Pixels(), plain);
    EXPECT_TRUE(out.OutsideUntouched());
  }
}

struct StopRecord {
  int stopAt;
  std::vector<std::pair<int, int>> asked;
};

int StopAtRow(void* user, int row, int lastRow) {
  StopRecord& record = *static_cast<StopRecord*>(user);
  record.asked.emplace_back(row, lastRow);
  return row == record.stopAt;
}

TEST(LibzavolProgress, AStopLeavesTheRowsFromItOnUntouched) {
  // Without and with the guide: the rows above a stop are the finished frame's, guide included.
  for (const golden::Case& c : {golden::Cases()[0], golden::Cases()[3]}) {
    GoldenCall call(c);
    const std::vector<uint16_t> finished = GoldenCall(c).Render();
    const int width = call.scene.width, height = call.scene.height;
    for (int stopAt : {0, 1, 9, height - 1}) {
      SCOPED_TRACE(std::string(c.name) + " stopped at " + std::to_string(stopAt));
      StopRecord record{stopAt, {}};
      call.options.progress = StopAtRow;
      call.options.user = &record;
      GuardedImage out(width, height, 4 * width);
      EXPECT_EQ(zavol_render(&call.settings, &call.depth, &call.options, &out.image), ZAVOL_E_STOPPED);
      ASSERT_EQ(record.asked.size(), static_cast<std::size_t>(stopAt) + 1);
      for (int y = 0; y <= stopAt; ++y) EXPECT_EQ(record.asked[y], std::make_pair(y, height - 1));
      const std::vector<uint16_t> pixels = out.Pixels();
      const std::size_t done = static_cast<std::size_t>(stopAt) * 4 * width;
      EXPECT_TRUE(std::equal(pixels.begin(), pixels.begin() + done, finished.begin()));
      EXPECT_TRUE(std::all_of(pixels.begin() + done, pixels.end(), [](uint16_t w) { return w == kCanary; }));
      EXPECT_TRUE(out.OutsideUntouched());
    }
  }
}

TEST(LibzavolThreads, FramesRenderedAtOnceEqualFramesRenderedAlone) {
  const std::vector<golden::Case> cases = golden::Cases();
  std::vector<std::vector<uint16_t>> alone;
  for (const golden::Case& c : cases) alone.push_back(GoldenCall(c).Render());
  constexpr int kThreads = 4, kRounds = 6;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Each thread walks the scenes from another start, so different frames overlap.
        const std::size_t i = static_cast<std::size_t>(t + round) % cases.size();
        GoldenCall call(cases[i]);
        std::vector<uint16_t> pixels(4 * call.scene.depth.size());
        zavol_image out{pixels.data(), call.scene.width, call.scene.height, 0};
        if (zavol_render(&call.settings, &call.depth, &call.options, &out) != ZAVOL_OK ||
            pixels != alone[i]) {
          ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

TEST(LibzavolSettings, BlocksRoundTripAndOnly56BytesLoad) {
  zavol_settings defaults;
  zavol_settings_default(&defaults);
  const StereogramSettings record = DefaultSettings();
  EXPECT_EQ(std::memcmp(&defaults, &record, 56), 0);

  // A stored block with every byte different, NaN bit patterns included, comes back as it was.
  uint8_t block[56];
  for (int i = 0; i < 56; ++i) block[i] = static_cast<uint8_t>(0xFF - 3 * i);
  zavol_settings s;
  ASSERT_EQ(zavol_settings_from_bytes(&s, block, sizeof block), ZAVOL_OK);
  EXPECT_EQ(s.viewing_medium, static_cast<int32_t>(block[12] | block[13] << 8 | block[14] << 16 | block[15] << 24));
  uint8_t back[56] = {};
  zavol_settings_to_bytes(&s, back);
  EXPECT_EQ(std::memcmp(block, back, 56), 0);

  for (std::size_t size : {std::size_t{0}, std::size_t{55}, std::size_t{57}, std::size_t{112}}) {
    zavol_settings kept = defaults;
    EXPECT_EQ(zavol_settings_from_bytes(&kept, block, size), ZAVOL_E_SETTINGS_SIZE) << size;
    EXPECT_EQ(std::memcmp(&kept, &defaults, 56), 0) << size;
  }
  EXPECT_EQ(zavol_settings_from_bytes(&s, nullptr, 56), ZAVOL_E_NULL);
  EXPECT_EQ(zavol_settings_from_bytes(nullptr, block, 56), ZAVOL_E_NULL);
}

// The documented meaning of each kind, value by value (E: the empty marker -1e30).
TEST(LibzavolDepth, EachKindConvertsAsDocumented) {
  const float kNaN = std::nanf(""), kInf = INFINITY, E = -1e30f, kBig = 2147483648.0f;
  const std::vector<float> samples = {-2.0f, 0.0f, 0.25f, 0.5f, 1.0f, 2.0f, kBig, kNaN, kInf};
  const struct {
    int kind;
    std::vector<float> expected;
  } kinds[] = {
      {ZAVOL_DEPTH_HOST, samples},
      {ZAVOL_DEPTH_DISTANCE, {E, E, -0.25f, -0.5f, -1.0f, -2.0f, E, E, E}},  // cutoff 1e9
      {ZAVOL_DEPTH_DISPARITY, {E, E, -4.0f, -2.0f, -1.0f, -0.5f, -1.0f / kBig, E, E}},
      {ZAVOL_DEPTH_HEIGHT, {E, E, -0.75f, -0.5f, 0.0f, 0.0f, 0.0f, E, E}},
      {ZAVOL_DEPTH_MIST, {E, -0.0f, -0.25f, -0.5f, E, E, E, E, E}},
  };
  for (const auto& k : kinds) {
    std::vector<float> values = samples;
    ASSERT_EQ(zavol_depth_convert(values.data(), values.size(), k.kind, 1e9f), ZAVOL_OK);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      EXPECT_TRUE(std::memcmp(&values[i], &k.expected[i], 4) == 0 || values[i] == k.expected[i])
          << "kind " << k.kind << ", " << samples[i] << " gave " << values[i];
    }
  }
  for (int bad : {-1, ZAVOL_DEPTH_MIST + 1, INT_MAX}) {
    std::vector<float> values = samples;
    EXPECT_EQ(zavol_depth_convert(values.data(), values.size(), bad, 1e9f), ZAVOL_E_DEPTH_KIND);
    EXPECT_EQ(std::memcmp(values.data(), samples.data(), 4 * samples.size()), 0);
  }
  EXPECT_EQ(zavol_depth_convert(nullptr, 3, ZAVOL_DEPTH_DISTANCE, 1e9f), ZAVOL_E_NULL);
  EXPECT_EQ(zavol_depth_convert(nullptr, 0, ZAVOL_DEPTH_DISTANCE, 1e9f), ZAVOL_OK);
}

// Caps the address space of this (child) process at what it uses now and margin bytes more.
// False when the cap cannot be set.
bool CapAddressSpace(std::size_t margin) {
  unsigned long pagesNow = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return false;
  const bool read = std::fscanf(statm, "%lu", &pagesNow) == 1;
  std::fclose(statm);
  const rlim_t cap = pagesNow * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + margin;
  const rlimit limit{cap, cap};
  return read && setrlimit(RLIMIT_AS, &limit) == 0;
}

// What a row sink saw: rows in order, each once, and a running digest of their pixels.
struct SunkRows {
  int next = 0;
  bool inOrder = true;
  uint64_t digest = 0xcbf29ce484222325ull;
};

int SinkDigest(void* user, int first, int end, const uint16_t* pixels, ptrdiff_t stride) {
  SunkRows& sunk = *static_cast<SunkRows*>(user);
  if (first != sunk.next || end <= first) sunk.inOrder = false;
  sunk.next = end;
  for (int y = first; y < end; ++y, pixels += stride) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(pixels);
    for (ptrdiff_t i = 0; i < 2 * stride; ++i) sunk.digest = (sunk.digest ^ bytes[i]) * 0x100000001b3ull;
  }
  return 0;
}

// A frame of the largest height streams through the row sink without an output image, in far
// less memory than the frame (a child process whose address space is capped below the frame's
// size), and gives the rows a whole-frame render gives. The guide is on: its rows are painted
// as they leave, not kept for the end.
TEST(LibzavolRows, TheTallestFrameStreamsInBoundedMemory) {
  constexpr int kWidth = 160, kHeight = ZAVOL_MAX_SIDE;
  const std::size_t pixels = static_cast<std::size_t>(kWidth) * kHeight;
  std::vector<float> depth(pixels);
  for (std::size_t i = 0; i < pixels; ++i) {
    const int x = static_cast<int>(i % kWidth), y = static_cast<int>(i / kWidth);
    depth[i] = (x / 16 + y / 64) % 3 == 0 ? -1e30f : -1.0f - 0.01f * static_cast<float>((x + y) % 50);
  }
  zavol_settings settings;
  zavol_settings_default(&settings);
  settings.put_guide_points = 1;
  zavol_options options;
  zavol_options_default(&options);
  const zavol_depth view{depth.data(), kWidth, kHeight, 0};

  SunkRows whole;
  {
    std::vector<uint16_t> frame(4 * pixels);
    zavol_image out{frame.data(), kWidth, kHeight, 0};
    ASSERT_EQ(zavol_render(&settings, &view, &options, &out), ZAVOL_OK);
    SinkDigest(&whole, 0, kHeight, frame.data(), 4 * kWidth);
  }
  const std::size_t frameBytes = 8 * pixels;
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
#if !ZAVOL_UNDER_SANITIZER
    // The address space as it is now, and half a frame more: the frame cannot be had.
    if (!CapAddressSpace(frameBytes / 2)) _exit(5);
    void* frame = std::malloc(frameBytes);
    if (frame != nullptr) _exit(4);  // the cap would prove nothing
#endif
    SunkRows sunk;
    options.rows = SinkDigest;
    options.user = &sunk;
    const int status = zavol_render(&settings, &view, &options, nullptr);
    if (status != ZAVOL_OK) _exit(10 - status);
    _exit(!sunk.inOrder || sunk.next != kHeight ? 2 : sunk.digest != whole.digest ? 3 : 0);
  }
  int waited = 0;
  ASSERT_EQ(waitpid(child, &waited, 0), child);
  ASSERT_TRUE(WIFEXITED(waited));
  // 2: rows missing or out of order, 3: other pixels, 4: the cap let a frame through, 10 + n:
  // status -n.
  EXPECT_EQ(WEXITSTATUS(waited), 0);
}
// A frame whose working memory cannot be had is a status, never an exception through the C
// interface (which would end the process): wide frames with the viewing options, whose rows
// need megabytes, in a fresh process (tests/memory_child.cpp) allowed only a little more
// memory than it has when it starts the frame.
TEST(LibzavolMemory, AFrameWithoutItsMemoryIsAStatus) {
#if ZAVOL_UNDER_SANITIZER
  GTEST_SKIP() << "a sanitizer's shadow memory cannot live under a capped address space";
#endif
  const char* cases[] = {"8 0 0", "8 1 1", "1 1 0"};  // oversample, linking, dots
  for (const char* c : cases) {
    const std::string command = std::string(ZAVOL_MEMORY_CHILD) + " " + c;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c;
    // 1: rendered all the same, 2: no cap, 3: pixels written, 4: fine without the cap too,
    // 5: not even rendered without the cap, 10 + n: status -n.
    EXPECT_EQ(WEXITSTATUS(status), 0) << c;
  }
}

// The field table: what each row says must be what the structs hold and what the library accepts.
TEST(LibzavolFields, DefaultsAreWhatTheDefaultFunctionsSet) {
  zavol_settings s;
  zavol_settings_default(&s);
  zavol_options o;
  zavol_options_default(&o);
  int inputs = 0;
  for (int i = 0; i < zavol_field_count(); ++i) {
    const zavol_field_info* f = zavol_field(i);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(zavol_field_find(f->name), i) << f->name;
    EXPECT_EQ(zavol_field_find(f->option), i) << f->option;
    if (f->place == ZAVOL_FIELD_INPUT) {
      ++inputs;
      continue;
    }
    double value = -1;
    ASSERT_EQ(zavol_field_get(&s, &o, i, &value), ZAVOL_OK) << f->name;
    // Reals in the record are floats: the table gives the number, the record its float.
    const bool real = f->type == ZAVOL_FIELD_REAL && f->place == ZAVOL_FIELD_SETTINGS;
    EXPECT_EQ(value, real ? static_cast<float>(f->default_value) : f->default_value) << f->name;
    EXPECT_GE(f->default_value, f->minimum) << f->name;
    EXPECT_LE(f->default_value, f->maximum) << f->name;
  }
  EXPECT_EQ(inputs, 2);
  EXPECT_EQ(zavol_field(-1), nullptr);
  EXPECT_EQ(zavol_field(zavol_field_count()), nullptr);
  EXPECT_EQ(zavol_field_find("no_such_field"), -1);
}

TEST(LibzavolFields, EveryChoiceAndEachEndOfARangeRoundTrips) {
  for (int i = 0; i < zavol_field_count(); ++i) {
    const zavol_field_info* f = zavol_field(i);
    if (f->place == ZAVOL_FIELD_INPUT) continue;
    std::vector<double> values = {f->minimum, f->maximum};
    if (f->type == ZAVOL_FIELD_CHOICE) values.assign(f->choice_values, f->choice_values + f->choice_count);
    for (double v : values) {
      zavol_settings s;
      zavol_settings_default(&s);
      zavol_options o;
      zavol_options_default(&o);
      ASSERT_EQ(zavol_field_set(&s, &o, i, v), ZAVOL_OK) << f->name << " " << v;
      double back = 0;
      ASSERT_EQ(zavol_field_get(&s, &o, i, &back), ZAVOL_OK);
      // Reals in the record are floats.
      const double stored = f->type == ZAVOL_FIELD_REAL ? static_cast<float>(v) : v;
      EXPECT_EQ(back, stored) << f->name;
    }
  }
}

TEST(LibzavolFields, RefusedValuesLeaveEverythingAsItWas) {
  const double kNaN = std::nan("");
  const struct {
    const char* field;
    double value;
    int status;
  } cases[] = {
      {"near_object_depth", kNaN, ZAVOL_E_SETTING_VALUE},
      {"background_depth", INFINITY, ZAVOL_E_SETTING_VALUE},
      {"background_depth", 100.5, ZAVOL_E_SETTING_VALUE},
      {"far_object_depth", -0.01, ZAVOL_E_SETTING_VALUE},
      {"viewing_medium", 1009, ZAVOL_E_SETTING_VALUE},
      {"custom_dpi", 150.5, ZAVOL_E_SETTING_VALUE},
      {"auto_distance", 2, ZAVOL_E_SETTING_VALUE},
      {"color1", 0x1000000, ZAVOL_E_SETTING_VALUE},
      {"ramp_mode", 1025, ZAVOL_E_SETTING_VALUE},
      {"dot_size", 0, ZAVOL_E_OPTION_VALUE},
      {"dot_size", 65, ZAVOL_E_OPTION_VALUE},
      {"view", 2, ZAVOL_E_OPTION_VALUE},
      {"oversample", 2.5, ZAVOL_E_OPTION_VALUE},
      {"seed", -1, ZAVOL_E_OPTION_VALUE},
      {"seed", 4294967296.0, ZAVOL_E_OPTION_VALUE},
      {"threads", -1, ZAVOL_E_OPTION_VALUE},
      {"depth_kind", 3, ZAVOL_E_OPTION_VALUE},  // applied by the caller, not stored
  };
  zavol_settings defaults;
  zavol_settings_default(&defaults);
  zavol_options optionDefaults;
  zavol_options_default(&optionDefaults);
  for (const auto& c : cases) {
    zavol_settings s = defaults;
    zavol_options o = optionDefaults;
    const int index = zavol_field_find(c.field);
    ASSERT_GE(index, 0) << c.field;
    EXPECT_EQ(zavol_field_set(&s, &o, index, c.value), c.status) << c.field << " " << c.value;
    EXPECT_EQ(std::memcmp(&s, &defaults, sizeof s), 0) << c.field;
    EXPECT_EQ(std::memcmp(&o, &optionDefaults, sizeof o), 0) << c.field;
  }
  // An option beyond what the caller's struct holds is neither read nor written.
  zavol_options old = optionDefaults;
  old.struct_size = offsetof(zavol_options, dots);
  double value = 0;
  EXPECT_EQ(zavol_field_get(nullptr, &old, zavol_field_find("threads"), &value), ZAVOL_E_OPTIONS);
  EXPECT_EQ(zavol_field_set(nullptr, &old, zavol_field_find("dot_size"), 2), ZAVOL_E_OPTIONS);
  EXPECT_EQ(old.dot_size, optionDefaults.dot_size);
  EXPECT_EQ(zavol_field_set(nullptr, &old, zavol_field_find("seed"), 7), ZAVOL_OK);
  EXPECT_EQ(old.seed, 7u);
}

// ---- What a face asks besides the pixels: the settings' problem in its names, the findings
// about a frame, the dpi that fits.

TEST(LibzavolSettingsCheck, EachProblemNamesItsFieldInTheCallersNames) {
  // A face's names: dashed, one left null (the table's own name), one in UTF-8.
  const char* const names[] = {"near-object-depth", "far-object-depth", "fond\xc3\xa9",
                               "medium", "dpi", "auto", "far", "near", nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr};
  ASSERT_EQ(std::string(zavol_field(6)->name), "far_distance");
  const struct {
    const char* name;
    std::function<void(zavol_settings&)> spoil;
    int field;  // -1: the settings make a picture
    const char* text;
  } cases[] = {
      {"defaults", [](zavol_settings&) {}, -1, ""},
      {"background_0", [](zavol_settings& s) { s.background_depth = 0; }, 2,
       "fond\xc3\xa9 is 0, which makes every separation 0 px"},
      {"near_fraction_nan", [](zavol_settings& s) { s.near_object_depth = NAN; }, 0,
       "near-object-depth is invalid (0x7fc00000: not a number)"},
      {"far_fraction_above_1", [](zavol_settings& s) { s.far_object_depth = 1.5f; }, 1,
       "far-object-depth is invalid (1.5: not within 0 to 1)"},
      {"dpi_0_with_the_custom_medium", [](zavol_settings& s) {
         s.viewing_medium = 1008;
         s.custom_dpi = 0;
       }, 4, "dpi is invalid (0: not within 1 to 2400)"},
      {"dpi_0_with_a_monitor", [](zavol_settings& s) { s.custom_dpi = 0; }, -1, ""},
      {"near_behind_far", [](zavol_settings& s) {
         s.auto_distance = 0;
         s.near_distance = 9;
         s.far_distance = 3;
       }, 7, "near 9 is not nearer than far 3"},
      {"near_behind_far_under_auto_distance", [](zavol_settings& s) {
         s.near_distance = 9;
         s.far_distance = 3;
       }, -1, ""},
      {"far_infinite", [](zavol_settings& s) {
         s.auto_distance = 0;
         s.far_distance = INFINITY;
       }, 6, "far is invalid (0x7f800000: infinite)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    zavol_settings s;
    zavol_settings_default(&s);
    c.spoil(s);
    char text[128];
    int field = 99;
    const int status = zavol_settings_check(&s, names, text, sizeof text, &field);
    EXPECT_EQ(status, c.field < 0 ? ZAVOL_OK : ZAVOL_E_SETTING_VALUE);
    EXPECT_EQ(field, c.field);
    EXPECT_STREQ(text, c.text);
    // zavol_render refuses exactly what the check refuses.
    const golden::Scene scene = golden::StepsScene();
    std::vector<uint16_t> pixels(4 * scene.depth.size());
    zavol_options o;
    zavol_options_default(&o);
    const zavol_depth depth{scene.depth.data(), scene.width, scene.height, 0};
    zavol_image out{pixels.data(), scene.width, scene.height, 0};
    EXPECT_EQ(zavol_render(&s, &depth, &o, &out), status);
  }
  // Without names, the table's: the keywords of the Python module.
  zavol_settings s;
  zavol_settings_default(&s);
  s.background_depth = 0;
  char text[128];
  EXPECT_EQ(zavol_settings_check(&s, nullptr, text, sizeof text, nullptr), ZAVOL_E_SETTING_VALUE);
  EXPECT_STREQ(text, "background_depth is 0, which makes every separation 0 px");
  EXPECT_EQ(zavol_settings_check(nullptr, nullptr, text, sizeof text, nullptr), ZAVOL_E_NULL);
}

TEST(LibzavolSettingsCheck, ATextTooLongIsCutAtACharacterBoundary) {
  const char* const names[] = {nullptr, nullptr, "fond\xc3\xa9"};
  zavol_settings s;
  zavol_settings_default(&s);
  s.background_depth = 0;
  const struct {
    std::size_t size;
    const char* text;
  } cases[] = {
      {1, ""},
      {5, "fond"},
      {6, "fond"},  // the cut would split the two bytes of the accented letter: it goes whole
      {7, "fond\xc3\xa9"},
      {11, "fond\xc3\xa9 is "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    char text[16];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(zavol_settings_check(&s, names, text, c.size, nullptr), ZAVOL_E_SETTING_VALUE);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(text[c.size], '#') << "written beyond text_size";
  }
  int field = -1;
  EXPECT_EQ(zavol_settings_check(&s, names, nullptr, 0, &field), ZAVOL_E_SETTING_VALUE);
  EXPECT_EQ(field, 2);
}

// A frame's findings worded as the tool words them, each kind a fragment of its warning with
// every number in it; a kind without a finding gives the fragment the tool's warning always
// holds, which must then be absent.
struct Worded {
  bool found;
  std::string words;
};
std::vector<Worded> AsTheToolWords(const zavol_findings& f, int width) {
  char repeats[32], lies[32];
  std::snprintf(repeats, sizeof repeats, "%.1f", f.repeats);
  std::snprintf(lies, sizeof lies, "%.6g", -f.level_depth);
  const char* flat = f.flat == ZAVOL_FLAT_SAME_DEPTH      ? "every scene pixel has the same depth"
                     : f.flat == ZAVOL_FLAT_SAME_FRACTION ? "set --near-object-depth below"
                                                          : "raise the resolution";
  const std::string lift = f.lifted_by_far_object_depth != 0
                               ? "set --far-object-depth below 1"
                               : "raise --far-distance beyond it (it lies at " + std::string(lies) + ")";
  return {
      {f.scene == 0, "no pixel lies in front of the background (read as host)"},
      {f.few_repeats != 0, f.few_repeats == 0 ? "too few to fuse"
                           : "the background repeats every " + std::to_string(f.background) +
                                 " px, only " + repeats + " times across " +
                                 std::to_string(width) + " px, too few to fuse"},
      {f.flat != ZAVOL_FLAT_NO, f.flat == ZAVOL_FLAT_NO ? "so the scene shows flat"
                                : "near and far separations are both " +
                                      std::to_string(f.separation) + " px, so the scene shows flat; " + flat},
      {f.level_merges != 0, f.level_merges == 0 ? "merges with the background"
                            : "the farthest level of the depth (" + std::to_string(f.level_pixels) +
                                  " pixels) gets the background's separation, " +
                                  std::to_string(f.background) + " px, and merges with the background; " + lift},
  };
}

TEST(LibzavolFindings, AreWhatTheToolWarnsAboutTheSameFrame) {
  enum { kEmpty = 1, kFew = 2, kFlat = 4, kMerge = 8 };
  const auto fill = [](int width, int height, auto depthAt) {
    golden::Scene scene{"findings", width, height, {}};
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) scene.depth.push_back(depthAt(x, y, width));
    }
    return scene;
  };
  const float kEmptyDepth = -1e30f;
  const auto nothing = [=](int, int, int) { return kEmptyDepth; };
  const auto oneDepth = [=](int x, int, int) { return x > 100 ? -2.5f : kEmptyDepth; };
  const auto ramp = [](int x, int, int width) { return -3.0f + static_cast<float>(x) / (width - 1); };
  const auto boxes = [=](int x, int y, int) {
    if (y < 50 || y >= 130) return kEmptyDepth;
    return x >= 40 && x < 220 ? -3.0f : x >= 300 && x < 500 ? -2.5f : kEmptyDepth;
  };
  const struct {
    const char* name;
    golden::Scene scene;
    std::function<void(zavol_settings&)> set;
    int kinds;
    int flat;
  } cases[] = {
      {"nothing_in_front", fill(300, 20, nothing), [](zavol_settings&) {}, kEmpty | kFew, ZAVOL_FLAT_NO},
      {"one_depth", fill(300, 40, oneDepth), [](zavol_settings&) {}, kFew | kFlat, ZAVOL_FLAT_SAME_DEPTH},
      {"same_fractions", fill(1200, 60, ramp), [](zavol_settings& s) {
         s.near_object_depth = s.far_object_depth = 0.5f;
       }, kFlat, ZAVOL_FLAT_SAME_FRACTION},
      {"coarse_resolution", fill(1200, 60, ramp), [](zavol_settings& s) {
         s.viewing_medium = 1008;
         s.custom_dpi = 10;
         s.near_object_depth = 0.97f;
       }, kFlat, ZAVOL_FLAT_RESOLUTION},
      {"boxes_merge", fill(640, 180, boxes), [](zavol_settings&) {}, kMerge, ZAVOL_FLAT_NO},
      {"boxes_beyond_the_far_distance", fill(640, 180, boxes), [](zavol_settings& s) {
         s.auto_distance = 0;
         s.near_distance = 1;
         s.far_distance = 2;
         s.far_object_depth = 0.9f;
       }, kMerge, ZAVOL_FLAT_NO},
      {"ramp_fuses", fill(1200, 60, ramp), [](zavol_settings&) {}, 0, ZAVOL_FLAT_NO},
  };
  clitest::ScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    zavol_settings s;
    zavol_settings_default(&s);
    c.set(s);
    zavol_options o;
    zavol_options_default(&o);
    zavol_findings f{};
    f.struct_size = sizeof f;
    o.findings = &f;
    const zavol_depth depth{c.scene.depth.data(), c.scene.width, c.scene.height, 0};
    std::vector<uint16_t> pixels(4 * c.scene.depth.size());
    zavol_image out{pixels.data(), c.scene.width, c.scene.height, 0};
    ASSERT_EQ(zavol_render(&s, &depth, &o, &out), ZAVOL_OK);
    EXPECT_EQ(f.struct_size, sizeof f);
    const int kinds = (f.scene == 0 ? kEmpty : 0) | (f.few_repeats != 0 ? kFew : 0) |
                      (f.flat != ZAVOL_FLAT_NO ? kFlat : 0) | (f.level_merges != 0 ? kMerge : 0);
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_EQ(f.flat, c.flat);

    const std::string depthFile = dir / (std::string(c.name) + ".pfm");
    const std::string block = dir / (std::string(c.name) + ".bin");
    ASSERT_TRUE(golden::WritePfm(c.scene, depthFile));
    std::vector<uint8_t> bytes(ZAVOL_SETTINGS_BYTES);
    zavol_settings_to_bytes(&s, bytes.data());
    clitest::WriteBytes(block, bytes);
    const clitest::ProcessResult run = clitest::RunZavol(
        {"render", depthFile, "-o", dir / "out.pam", "--settings", block, "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const Worded& w : AsTheToolWords(f, c.scene.width)) {
      EXPECT_EQ(run.err.find(w.words) != std::string::npos, w.found)
          << "\"" << w.words << "\" in the tool's warnings:\n" << run.err;
    }
  }
}

TEST(LibzavolFindings, OnlyADoneFrameFillsThemAndOldCallersRenderWithout) {
  Call full;
  full.findings.struct_size = sizeof full.findings;
  full.options.findings = &full.findings;
  ASSERT_EQ(full.Render(), ZAVOL_OK);
  EXPECT_NE(full.findings.background, 0);

  // A caller built before the findings: the slot beyond its struct_size is never read.
  Call old;
  old.options.struct_size = offsetof(zavol_options, findings);
  old.options.findings = reinterpret_cast<zavol_findings*>(&old.out.words[1]);  // not findings
  EXPECT_EQ(old.Render(), ZAVOL_OK);
  EXPECT_EQ(old.out.Pixels(), full.out.Pixels());

  // A stopped frame leaves them as they were.
  Call stopped;
  std::memset(&stopped.findings, 0x5A, sizeof stopped.findings);
  stopped.findings.struct_size = sizeof stopped.findings;
  const zavol_findings before = stopped.findings;
  stopped.options.findings = &stopped.findings;
  stopped.options.progress = StopAtOnce;
  EXPECT_EQ(stopped.Render(), ZAVOL_E_STOPPED);
  EXPECT_EQ(std::memcmp(&stopped.findings, &before, sizeof before), 0);
}

TEST(LibzavolFitDpi, RefusesWhatHasNoWidth) {
  // Its value is the tool's --fit: the Python tests render fit=True against it.
  zavol_settings s;
  zavol_settings_default(&s);
  EXPECT_EQ(zavol_fit_dpi(nullptr, 300), ZAVOL_E_NULL);
  EXPECT_EQ(zavol_fit_dpi(&s, 0), ZAVOL_E_SIZE);
  EXPECT_EQ(zavol_fit_dpi(&s, ZAVOL_MAX_SIDE + 1), ZAVOL_E_SIZE);
}

}  // namespace
