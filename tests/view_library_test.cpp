// The viewing options through the C interface and the tool: values out of range, callers built
// against the first release's header, every option with both ramps, a pattern and the guide
// inside guard words, the tool's flags against zavol_render, one seed for a stable sequence, and
// the tool's usage errors. Native only (runs the built tool).
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "libzavol/zavol.h"
#include "render/scene.h"
#include "tests/cli_support.h"

namespace {

constexpr uint16_t kCanary = 0x5AA5;
constexpr int kWidth = 96, kHeight = 40;

// The built-in scene, small, with the output between guard words and rows with gaps.
struct Frame {
  explicit Frame(std::ptrdiff_t gap = 0)
      : depth(zavol::MakeDemoScene(kWidth, kHeight)),
        stride(4 * kWidth + gap),
        words(64 + static_cast<std::size_t>(stride) * kHeight + 64, kCanary) {
    zavol_settings_default(&settings);
    settings.randomize_each_frame = 1;
    settings.viewing_medium = 1008;
    settings.custom_dpi = 20;  // separations of 14 to 27 pixels: many links in 96 columns
    zavol_options_default(&options);
    options.seed = 1234;
  }
  std::vector<float> depth;
  std::ptrdiff_t stride;
  std::vector<uint16_t> words;
  zavol_settings settings;
  zavol_options options;

  uint16_t* Pixels() { return words.data() + 64; }
  int Render() {
    const zavol_depth in{depth.data(), kWidth, kHeight, 0};
    zavol_image out{Pixels(), kWidth, kHeight, stride};
    return zavol_render(&settings, &in, &options, &out);
  }
  const uint16_t* At(int x, int y) { return Pixels() + y * stride + 4 * x; }
  bool OutsideUntouched() const {
    for (std::size_t i = 0; i < words.size(); ++i) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) - 64;
      const bool inside = at >= 0 && at / stride < kHeight && at % stride < 4 * kWidth;
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
  // The frame's rows as the row sink hands them over, with no output image.
  std::vector<uint16_t> Streamed() {
    std::vector<uint16_t> image;
    zavol_options sinkOptions = options;
    sinkOptions.user = &image;
    sinkOptions.rows = [](void* user, int first, int end, const uint16_t* pixels,
                          ptrdiff_t rowStride) {
      auto& into = *static_cast<std::vector<uint16_t>*>(user);
      if (into.size() != static_cast<std::size_t>(first) * 4 * kWidth) return 1;  // out of order
      for (int y = first; y < end; ++y, pixels += rowStride) {
        into.insert(into.end(), pixels, pixels + 4 * kWidth);
      }
      return 0;
    };
    const zavol_depth in{depth.data(), kWidth, kHeight, 0};
    if (zavol_render(&settings, &in, &sinkOptions, nullptr) != ZAVOL_OK) image.clear();
    return image;
  }
  std::vector<uint16_t> Image() {
    std::vector<uint16_t> image;
    for (int y = 0; y < kHeight; ++y) image.insert(image.end(), At(0, y), At(0, y) + 4 * kWidth);
    return image;
  }
};

TEST(LibzavolViewOptions, ValuesOutOfRangeHaveTheirStatusAndWriteNothing) {
  const std::pair<const char*, std::function<void(zavol_options&)>> cases[] = {
      {"dots 2", [](zavol_options& o) { o.dots = 2; }},
      {"dots -1", [](zavol_options& o) { o.dots = -1; }},
      {"dot_size 0", [](zavol_options& o) { o.dot_size = 0; }},
      {"dot_size 65", [](zavol_options& o) { o.dot_size = 65; }},
      {"anchor 3", [](zavol_options& o) { o.anchor = 3; }},
      {"view 2", [](zavol_options& o) { o.view = 2; }},
      {"oversample 0", [](zavol_options& o) { o.oversample = 0; }},
      {"oversample 9", [](zavol_options& o) { o.oversample = 9; }},
      {"linking 2", [](zavol_options& o) { o.linking = 2; }},
      {"linking INT_MIN", [](zavol_options& o) { o.linking = -2147483647 - 1; }},
  };
  for (const auto& [name, spoil] : cases) {
    Frame frame;
    spoil(frame.options);
    EXPECT_EQ(frame.Render(), ZAVOL_E_OPTION_VALUE) << name;
    EXPECT_TRUE(frame.AllUntouched()) << name;
  }
  EXPECT_STRNE(zavol_status_text(ZAVOL_E_OPTION_VALUE), zavol_status_text(ZAVOL_E_OPTIONS));
  EXPECT_STRNE(zavol_status_text(ZAVOL_E_OPTION_VALUE), zavol_status_text(-1000));
}

// A caller built against the first release's header passes a shorter struct: whatever lies
// beyond it is not read, and it gets the plug-in's pixels.
TEST(LibzavolViewOptions, CallersOfTheFirstReleaseGetThePluginsPixels) {
  Frame plain, old;
  old.options.struct_size = offsetof(zavol_options, user) + sizeof(void*);
  old.options.dots = 99;
  old.options.oversample = -4;
  ASSERT_EQ(plain.Render(), ZAVOL_OK);
  ASSERT_EQ(old.Render(), ZAVOL_OK);
  EXPECT_EQ(plain.Image(), old.Image());
}

// Every option against every other, with both ramps and a pattern, with and without the guide:
// each frame is written inside its rows only, opaque except the guide's squares, different from
// the plug-in's frame, and the same when streamed through the row sink.
TEST(LibzavolViewOptions, EveryCombinationRendersInsideItsImage) {
  Frame plugin;
  ASSERT_EQ(plugin.Render(), ZAVOL_OK);
  const std::vector<uint16_t> pluginImage = plugin.Image();
  std::vector<uint16_t> pattern(4 * kWidth * kHeight);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint16_t>(i * 40503u);
  const zavol_image patternImage{pattern.data(), kWidth, kHeight, 0};
  for (int dots : {ZAVOL_DOTS_STREAM, ZAVOL_DOTS_STABLE})
  for (int dotSize : {1, 3})
  for (int anchor : {ZAVOL_ANCHOR_AUTO, ZAVOL_ANCHOR_LEFT, ZAVOL_ANCHOR_CENTRE})
  for (int view : {ZAVOL_VIEW_WALL, ZAVOL_VIEW_CROSS})
  for (int oversample : {1, 2, 5})
  for (int linking : {ZAVOL_LINKING_CLASSIC, ZAVOL_LINKING_SYMMETRIC})
  for (int source = 0; source < 3; ++source)  // RGB ramp, HSV ramp, pattern
  for (int guide : {0, 1}) {
    const std::string what = "dots " + std::to_string(dots) + " size " + std::to_string(dotSize) +
                             " anchor " + std::to_string(anchor) + " view " + std::to_string(view) +
                             " x" + std::to_string(oversample) + " linking " +
                             std::to_string(linking) + " source " + std::to_string(source) +
                             " guide " + std::to_string(guide);
    Frame frame(guide ? 3 : 0);
    frame.options.dots = dots;
    frame.options.dot_size = dotSize;
    frame.options.anchor = anchor;
    frame.options.view = view;
    frame.options.oversample = oversample;
    frame.options.linking = linking;
    if (source == 1) frame.settings.ramp_mode = 1024;
    if (source == 2) frame.options.pattern = &patternImage;
    frame.settings.put_guide_points = guide;
    ASSERT_EQ(frame.Render(), ZAVOL_OK) << what;
    ASSERT_TRUE(frame.OutsideUntouched()) << what;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint16_t alpha = frame.At(x, y)[3];
        ASSERT_TRUE(alpha == 65535 || (guide && alpha == 0 && y >= 7 && y <= 13)) << what;
      }
    }
    const std::vector<uint16_t> image = frame.Image();
    const bool anyOption = dots || dotSize > 1 || anchor == ZAVOL_ANCHOR_CENTRE || view ||
                           oversample > 1 || linking;
    if (anyOption && source == 0 && guide == 0) {
      EXPECT_NE(image, pluginImage) << what;
    }
    // Again, streamed through the row sink without an output image: the same rows.
    ASSERT_EQ(frame.Streamed(), image) << what << ": the row sink got another frame";
  }
}

// --- The tool ---------------------------------------------------------------------------------

TEST(ToolViewOptions, FlagsRenderWhatZavolRenderRenders) {
  clitest::ScratchDir dir;
  Frame frame;
  const std::string depthFile = dir / "depth.pfm", output = dir / "out.pam";
  clitest::WriteBytes(depthFile, clitest::PfmBytes(kWidth, kHeight, frame.depth, true));
  const clitest::ProcessResult run = clitest::RunZavol(
      {"render", depthFile, "-o", output, "--medium", "dpi", "--dpi", "20", "--seed", "1234",
       "--dots", "stable", "--dot-size", "2", "--anchor", "left", "--view", "cross",
       "--oversample", "3", "--linking", "symmetric", "-q"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  frame.options.dots = ZAVOL_DOTS_STABLE;
  frame.options.dot_size = 2;
  frame.options.anchor = ZAVOL_ANCHOR_LEFT;
  frame.options.view = ZAVOL_VIEW_CROSS;
  frame.options.oversample = 3;
  frame.options.linking = ZAVOL_LINKING_SYMMETRIC;
  ASSERT_EQ(frame.Render(), ZAVOL_OK);
  const clitest::Image tool = clitest::DecodePam(clitest::ReadBytes(output));
  ASSERT_EQ(tool.width, kWidth);
  std::vector<uint16_t> words;
  for (const zavol::Pixel64& p : tool.pixels) words.insert(words.end(), {p.r, p.g, p.b, p.a});
  EXPECT_EQ(words, frame.Image());
}

// Two frames of one depth in a randomized sequence: stream dots get seeds of their own per
// frame, stable dots one seed for the run, so their frames are the same picture.
TEST(ToolViewOptions, StableDotsGiveEveryFrameOfASequenceTheRunsSeed) {
  clitest::ScratchDir dir;
  const std::vector<float> depth = zavol::MakeDemoScene(kWidth, kHeight);
  for (int frame : {4, 5}) {
    clitest::WriteBytes(dir / ("d_" + std::to_string(frame) + ".pfm"),
                        clitest::PfmBytes(kWidth, kHeight, depth, true));
  }
  for (const char* dots : {"stream", "stable"}) {
    const std::string out = dir / (std::string(dots) + "_#.pam");
    const clitest::ProcessResult run =
        clitest::RunZavol({"render", dir / "d_#.pfm", "--frames", "4-5", "-o", out, "--dots",
                           dots, "--medium", "dpi", "--dpi", "20", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<uint8_t> first = clitest::ReadBytes(dir / (std::string(dots) + "_4.pam"));
    const std::vector<uint8_t> second = clitest::ReadBytes(dir / (std::string(dots) + "_5.pam"));
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first == second, std::string(dots) == "stable") << dots;
  }
}

TEST(ToolViewOptions, ValuesOutOfRangeAreUsageErrorsNamingTheOption) {
  clitest::ScratchDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--dots", "stabel"}, "--dots"},       {{"--dot-size", "0"}, "--dot-size"},
      {{"--dot-size", "65"}, "--dot-size"},   {{"--anchor", "middle"}, "--anchor"},
      {{"--view", "sideways"}, "--view"},     {{"--oversample", "9"}, "--oversample"},
      {{"--oversample", "0"}, "--oversample"}, {{"--linking", "both"}, "--linking"},
  };
  for (const auto& [flags, option] : cases) {
    std::vector<std::string> args = {"demo", "-o", dir / "demo.png", "--size", "64x32"};
    args.insert(args.end(), flags.begin(), flags.end());
    const clitest::ProcessResult run = clitest::RunZavol(args);
    EXPECT_EQ(run.exitCode, 2) << flags[0] << " " << flags[1];
    EXPECT_NE(run.err.find(option), std::string::npos) << run.err;
    EXPECT_TRUE(dir.Names().empty()) << flags[0];
  }
}

// The tool's viewing flags come from the field table: for each of them, each choice word and
// each end of its range, and values just beyond, the tool accepts exactly what the library's
// zavol_field_set accepts.
TEST(ToolViewOptions, FlagsAcceptWhatTheFieldTableAccepts) {
  clitest::ScratchDir dir;
  for (const char* name : {"dots", "dot_size", "anchor", "view", "oversample", "linking"}) {
    const int index = zavol_field_find(name);
    ASSERT_GE(index, 0) << name;
    const zavol_field_info& field = *zavol_field(index);
    std::vector<std::pair<std::string, double>> tries;  // the word typed, the value it means
    if (field.type == ZAVOL_FIELD_CHOICE) {
      for (int c = 0; c < field.choice_count; ++c) {
        tries.emplace_back(field.choice_words[c], field.choice_values[c]);
      }
      tries.emplace_back("nonsense", -1);
    } else {
      for (double v : {field.minimum - 1, field.minimum, field.maximum, field.maximum + 1}) {
        tries.emplace_back(std::to_string(static_cast<int>(v)), v);
      }
    }
    for (const auto& [word, value] : tries) {
      zavol_settings s;
      zavol_settings_default(&s);
      zavol_options o;
      zavol_options_default(&o);
      const bool libraryTakes = zavol_field_set(&s, &o, index, value) == ZAVOL_OK;
      const clitest::ProcessResult run =
          clitest::RunZavol({"demo", "-o", dir / "demo.pam", "--size", "48x16",
                             std::string("--") + field.option, word});
      EXPECT_EQ(run.exitCode, libraryTakes ? 0 : 2) << field.option << " " << word << run.err;
    }
  }
}

}  // namespace
