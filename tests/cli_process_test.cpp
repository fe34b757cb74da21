// The built zavol program as a user runs it: it renders the same pixels as the engine called
// directly, rejects bad input with one line and the right exit code and no file, renders
// sequences in parallel exactly as one by one, reproduces seeded randomized frames, round-trips
// settings blocks, and stops cleanly on Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "cli/frames.h"
#include "tests/cli_support.h"

namespace {

using clitest::Image;
using clitest::RunZavol;
using clitest::ScratchDir;
using zavol::Pixel64;

// An odd-sized, asymmetric depth map in the engine's convention: a ramp, a raised box, a
// background hole.
std::vector<float> TestDepth(int width, int height, int variant) {
  std::vector<float> depth(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      float z = -20.0f - 0.05f * x - 0.02f * y - variant;
      if (x > width / 3 + variant && x < width / 2 + variant && y > height / 4 && y < height / 2) z = -8.0f;
      if (x > width * 3 / 4 && y > height * 2 / 3) z = -1e30f;
      depth[static_cast<std::size_t>(y) * width + x] = z;
    }
  }
  return depth;
}

void WritePfm(const std::string& path, int width, int height, const std::vector<float>& depth) {
  clitest::WriteBytes(path, clitest::PfmBytes(width, height, depth, true));
}

Image ReadPam(const std::string& path) { return clitest::DecodePam(clitest::ReadBytes(path)); }

// ---- Same pixels as the engine: the tool is only an adapter.
struct EquivalenceCase {
  const char* name;
  std::vector<std::string> options;
  void (*edit)(StereogramSettings&);
  uint32_t seed;
  bool pattern;
  bool tiled = false;  // --pattern-tile: the engine is given the pattern repeated to the frame's size
};

void PrintTo(const EquivalenceCase& c, std::ostream* out) { *out << c.name; }

class SamePixelsAsTheEngine : public testing::TestWithParam<EquivalenceCase> {};

TEST_P(SamePixelsAsTheEngine, RenderedThroughTheTool) {
  const EquivalenceCase& c = GetParam();
  ScratchDir dir;
  const int width = 211, height = 67;
  const std::vector<float> depth = TestDepth(width, height, 0);
  WritePfm(dir / "d.pfm", width, height, depth);
  Image pattern;
  if (c.pattern) {
    // An 8-bit PAM pattern smaller than the frame: outside it the dot keeps its colour.
    pattern.width = 150, pattern.height = 50;
    for (int i = 0; i < 150 * 50; ++i) {
      const uint8_t r = static_cast<uint8_t>(i * 7), g = static_cast<uint8_t>(i / 3), b = static_cast<uint8_t>(255 - i);
      pattern.pixels.push_back(Pixel64{static_cast<uint16_t>(r << 8), static_cast<uint16_t>(g << 8),
                                       static_cast<uint16_t>(b << 8), 65535});
    }
    clitest::WriteBytes(dir / "p.pam", clitest::RgbPamBytes(pattern));
  }
  std::vector<std::string> args = {"render", dir / "d.pfm", "-o", dir / "out.pam"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  if (c.pattern) args.insert(args.end(), {"--pattern", dir / "p.pam"});
  if (c.tiled) args.push_back("--pattern-tile");
  const clitest::ProcessResult run = RunZavol(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image image = ReadPam(dir / "out.pam");
  ASSERT_EQ(image.width, width);
  ASSERT_EQ(image.height, height);

  StereogramSettings settings = DefaultSettings();
  c.edit(settings);
  zavoltest::FlatHost host(width, height, depth, Pixel64{0, 0, 0, 0});
  host.screenWidth = 1920, host.screenHeight = 1080;
  host.calendarTime = c.seed;
  if (c.pattern && !c.tiled) {
    host.hasPattern = true;
    host.pattern = pattern.pixels;
    host.patternWidth = pattern.width, host.patternHeight = pattern.height;
  }
  if (c.tiled) {
    host.hasPattern = true;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        host.pattern.push_back(pattern.pixels[static_cast<std::size_t>(y % pattern.height) * pattern.width +
                                              x % pattern.width]);
      }
    }
    host.patternWidth = width, host.patternHeight = height;
  }
  if (std::find(c.options.begin(), c.options.end(), "--screen") != c.options.end()) {
    host.screenWidth = 1280, host.screenHeight = 1024;
  }
  ASSERT_EQ(zavol::RenderStereogram(settings, host), 1);
  for (std::size_t i = 0; i < host.canvas.size(); ++i) {
    ASSERT_TRUE(image.pixels[i] == host.canvas[i]) << "pixel " << i % width << "," << i / width;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, SamePixelsAsTheEngine,
    testing::Values(
        EquivalenceCase{"defaults_seeded", {"--seed", "12345"}, [](StereogramSettings&) {}, 12345, false},
        EquivalenceCase{"not_randomized", {"--no-randomize"},
                        [](StereogramSettings& s) { s.RandomizeEachFrame = 0; }, 0, false},
        EquivalenceCase{"hsv_colours_guide",
                        {"--seed", "9", "--ramp", "hsv", "--color1", "FF2000", "--color2", "2040C0", "--guide"},
                        [](StereogramSettings& s) {
                          s.RampMode = kRampHsv, s.Color1 = 0x0020FF, s.Color2 = 0xC04020;
                          s.PutGuidePoints = 1;
                        },
                        9, false},
        EquivalenceCase{"geometry_fields",
                        {"--seed", "4", "--medium", "19in", "--screen", "1280x1024",
                         "--near-object-depth", "0.25", "--far-object-depth", "0.9",
                         "--background-depth", "2.5", "--no-prevent-ghosting"},
                        [](StereogramSettings& s) {
                          s.ViewingMedium = kMedium19InchMonitor, s.NearObjectDepth = 0.25f;
                          s.FarObjectDepth = 0.9f, s.BackgroundDepth = 2.5f, s.PreventGhosting = 0;
                        },
                        4, false},
        EquivalenceCase{"fixed_distances_dpi",
                        {"--seed", "1", "--no-auto-distance", "--near-distance", "10",
                         "--far-distance", "40", "--medium", "dpi", "--dpi", "96"},
                        [](StereogramSettings& s) {
                          s.AutoDistance = 0, s.NearDistance = 10, s.FarDistance = 40;
                          s.ViewingMedium = kMediumCustomDpi, s.CustomDpi = 96;
                        },
                        1, false},
        // The rows on several threads, whatever the machine's cores: the same pixels.
        EquivalenceCase{"hsv_colours_guide_three_threads",
                        {"--seed", "9", "--ramp", "hsv", "--color1", "FF2000", "--color2", "2040C0",
                         "--guide", "--threads", "3"},
                        [](StereogramSettings& s) {
                          s.RampMode = kRampHsv, s.Color1 = 0x0020FF, s.Color2 = 0xC04020;
                          s.PutGuidePoints = 1;
                        },
                        9, false},
        EquivalenceCase{"pattern_seven_threads", {"--no-randomize", "--medium", "a4", "--threads", "7"},
                        [](StereogramSettings& s) { s.RandomizeEachFrame = 0, s.ViewingMedium = kMediumA4Paper; },
                        0, true},
        EquivalenceCase{"pattern", {"--no-randomize", "--medium", "a4"},
                        [](StereogramSettings& s) { s.RandomizeEachFrame = 0, s.ViewingMedium = kMediumA4Paper; },
                        0, true},
        EquivalenceCase{"pattern_tiled", {"--no-randomize", "--medium", "a4"},
                        [](StereogramSettings& s) { s.RandomizeEachFrame = 0, s.ViewingMedium = kMediumA4Paper; },
                        0, true, true},
        // A distance turns auto distance off and a dpi selects the custom medium by themselves.
        EquivalenceCase{"distances_and_dpi_imply_their_switches",
                        {"--seed", "2", "--near-distance", "10", "--far-distance", "40", "--dpi", "96"},
                        [](StereogramSettings& s) {
                          s.AutoDistance = 0, s.NearDistance = 10, s.FarDistance = 40;
                          s.ViewingMedium = kMediumCustomDpi, s.CustomDpi = 96;
                        },
                        2, false}),
    [](const testing::TestParamInfo<EquivalenceCase>& p) { return p.param.name; });

TEST(SamePixels, EightBitPngIsTheHighByteOfThePam) {
  ScratchDir dir;
  WritePfm(dir / "d.pfm", 123, 45, TestDepth(123, 45, 1));
  ASSERT_EQ(RunZavol({"render", dir / "d.pfm", "-o", dir / "a.pam", "--seed", "3"}).exitCode, 0);
  ASSERT_EQ(RunZavol({"render", dir / "d.pfm", "-o", dir / "a.png", "--seed", "3"}).exitCode, 0);
  ASSERT_EQ(RunZavol({"render", dir / "d.pfm", "-o", dir / "b.png", "--seed", "3", "--bits", "16"}).exitCode, 0);
  const Image pam = ReadPam(dir / "a.pam");
  bool ok8 = false, ok16 = false;
  const Image png8 = clitest::DecodePng(dir / "a.png", &ok8);
  const Image png16 = clitest::DecodePng(dir / "b.png", &ok16);
  ASSERT_TRUE(ok8 && ok16);
  ASSERT_EQ(png8.pixels.size(), pam.pixels.size());
  for (std::size_t i = 0; i < pam.pixels.size(); ++i) {
    ASSERT_EQ(png8.pixels[i].r >> 8, pam.pixels[i].r >> 8);
    ASSERT_EQ(png8.pixels[i].g >> 8, pam.pixels[i].g >> 8);
    ASSERT_EQ(png8.pixels[i].b >> 8, pam.pixels[i].b >> 8);
    ASSERT_EQ(png16.pixels[i].r, pam.pixels[i].r);
    ASSERT_EQ(png16.pixels[i].b, pam.pixels[i].b);
  }
}

// ---- Bad input: one line naming the file and the reason, the exit code, no file left.
struct BadCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the scratch folder
  int exitCode;
  const char* message;
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class BadInput : public testing::TestWithParam<BadCase> {};

TEST_P(BadInput, OneLineRightCodeNoFile) {
  const BadCase& c = GetParam();
  ScratchDir dir;
  WritePfm(dir / "good.pfm", 9, 4, TestDepth(9, 4, 0));
  clitest::WriteBytes(dir / "junk.exr", {'n', 'o', 'p', 'e'});
  clitest::WriteBytes(dir / "short.block", std::vector<uint8_t>(40, 0));
  clitest::WriteBytes(dir / "long.block", std::vector<uint8_t>(60, 0));
  std::string text = "Pf\n70000 2\n-1.0\n";
  clitest::WriteBytes(dir / "wide.pfm", std::vector<uint8_t>(text.begin(), text.end()));
  text = "Pf\n4 4\n-1.0\n";
  std::vector<uint8_t> shortPfm(text.begin(), text.end());
  shortPfm.resize(shortPfm.size() + 20);
  clitest::WriteBytes(dir / "short.pfm", shortPfm);
  const std::vector<std::string> before = dir.Names();

  std::vector<std::string> args;
  for (const std::string& a : c.args) {
    args.push_back(a.size() > 0 && a[0] == '@' ? (dir / a.substr(1)) : a);
  }
  const clitest::ProcessResult run = RunZavol(args);
  EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.err.rfind("zavol: ", 0), 0u) << run.err;
  EXPECT_EQ(dir.Names(), before) << "a file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadInput,
    testing::Values(
        BadCase{"missing_input", {"render", "@missing.exr", "-o", "@o.png"}, 1, "missing.exr: no such file"},
        BadCase{"not_an_image", {"render", "@junk.exr", "-o", "@o.png"}, 1, "junk.exr: not a depth image"},
        BadCase{"truncated", {"render", "@short.pfm", "-o", "@o.png"}, 1, "short.pfm: truncated"},
        BadCase{"too_wide", {"render", "@wide.pfm", "-o", "@o.png"}, 1, "wide.pfm: dimensions 70000x2 are over 65535"},
        BadCase{"unknown_channel",
                {"render", clitest::DataFile("cycles_single_zbuf.exr"), "--channel", "Q", "-o", "@o.png"},
                1, "no channel 'Q'; channels found: "},
        BadCase{"short_settings_block", {"render", "@good.pfm", "--settings", "@short.block", "-o", "@o.png"},
                1, "short.block: settings block is 40 bytes, not 56"},
        BadCase{"long_settings_block", {"settings", "--from", "@long.block"}, 1, "long.block: settings block is more than 56 bytes"},
        BadCase{"missing_pattern", {"render", "@good.pfm", "--pattern", "@none.png", "-o", "@o.png"}, 1,
                "none.png: no such file"},
        BadCase{"output_folder_missing", {"render", "@good.pfm", "-o", "@nowhere/o.png"}, 1, "o.png: cannot create"},
        BadCase{"unknown_extension", {"render", "@good.pfm", "-o", "@o.jpg"}, 2, "must end in .png, .pam or .exr"},
        BadCase{"unknown_option", {"render", "@good.pfm", "-o", "@o.png", "--frobnicate"}, 2, "frobnicate"},
        BadCase{"no_output", {"render", "@good.pfm"}, 2, "--output"},
        BadCase{"no_command", {}, 2, "subcommand"},
        BadCase{"value_out_of_range", {"render", "@good.pfm", "-o", "@o.png", "--near-object-depth", "2"}, 2,
                "near-object-depth"},
        BadCase{"bad_colour", {"settings", "--color1", "red"}, 2, "'red' is not RRGGBB"},
        BadCase{"bad_medium", {"settings", "--medium", "a6"}, 2, "unknown medium 'a6'"},
        BadCase{"both_ways", {"settings", "--guide", "--no-guide"}, 2, "guide"},
        BadCase{"sequence_without_field", {"render", "@good.pfm", "--frames", "1-3", "-o", "@o.png"}, 2,
                "needs # for the frame number"},
        BadCase{"field_without_frames", {"render", "@d_##.pfm", "-o", "@o_##.png"}, 2, "give --frames"},
        BadCase{"bad_frames", {"render", "@d_##.pfm", "--frames", "9-2", "-o", "@o_##.png"}, 2, "--frames wants"},
        BadCase{"bad_screen", {"render", "@good.pfm", "-o", "@o.png", "--screen", "big"}, 2, "--screen wants WxH"}),
    [](const testing::TestParamInfo<BadCase>& p) { return p.param.name; });

// ---- Sequences
void WriteSequence(const ScratchDir& dir, int first, int count, int width, int height) {
  for (int f = first; f < first + count; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "d_%03d.pfm", f);
    WritePfm(dir / name, width, height, TestDepth(width, height, f % 7));
  }
}

TEST(Sequence, ParallelFramesEqualFramesRenderedOneByOne) {
  ScratchDir dir;
  WriteSequence(dir, 8, 4, 97, 41);
  const auto run = RunZavol({"render", dir / "d_###.pfm", "--frames", "8-11", "--jobs", "2",
                             "--seed", "500", "-o", dir / "s_####.pam"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (int f = 8; f <= 11; ++f) {
    char input[32], sequenceOut[32];
    std::snprintf(input, sizeof input, "d_%03d.pfm", f);
    std::snprintf(sequenceOut, sizeof sequenceOut, "s_%04d.pam", f);
    // Frame f of a sequence seeded N has the seed N + f.
    const auto single = RunZavol({"render", dir / input, "--seed", std::to_string(500 + f), "-o", dir / "one.pam"});
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_TRUE(clitest::ReadBytes(dir / sequenceOut) == clitest::ReadBytes(dir / "one.pam")) << "frame " << f;
  }
}

// Numbered names for one depth file: a sequence whose frames all have the same depth. (--frames
// over a name without # is refused, so the sequence is made of links.)
void LinkFrames(const ScratchDir& dir, const std::string& target, const std::string& numbered, int count) {
  for (int f = 1; f <= count; ++f) {
    std::filesystem::create_symlink(target, dir / zavol::cli::ExpandFrame(numbered, f));
  }
}

// --randomize --seed N: reproducible, and every frame has a seed of its own.
TEST(Sequence, SameInputEveryFrameWithSeedsOfTheirOwn) {
  ScratchDir dir;
  WritePfm(dir / "still.pfm", 64, 32, TestDepth(64, 32, 2));
  LinkFrames(dir, dir / "still.pfm", "still_#.pfm", 3);
  for (const char* out : {"x_#.pam", "y_#.pam"}) {
    // A4 paper: enough repeats across 64 pixels, so there is no warning (--quiet keeps them).
    const auto run = RunZavol({"render", dir / "still_#.pfm", "--frames", "1-3", "--randomize", "--seed", "77",
                               "-q", "-o", dir / out, "--jobs", "2", "--medium", "a4"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");  // quiet
  }
  for (int f = 1; f <= 3; ++f) {
    const std::string n = std::to_string(f);
    EXPECT_TRUE(clitest::ReadBytes(dir / ("x_" + n + ".pam")) == clitest::ReadBytes(dir / ("y_" + n + ".pam")));
  }
  EXPECT_FALSE(clitest::ReadBytes(dir / "x_1.pam") == clitest::ReadBytes(dir / "x_2.pam"));
  EXPECT_FALSE(clitest::ReadBytes(dir / "x_2.pam") == clitest::ReadBytes(dir / "x_3.pam"));
  // Without randomizing, every frame starts from seed 0 and they are all alike.
  ASSERT_EQ(RunZavol({"render", dir / "still_#.pfm", "--frames", "1-2", "--no-randomize", "-q", "-o",
                      dir / "z_#.pam"}).exitCode, 0);
  EXPECT_TRUE(clitest::ReadBytes(dir / "z_1.pam") == clitest::ReadBytes(dir / "z_2.pam"));
}

TEST(Sequence, MissingFrameFailsAloneAndTheOthersAreWritten) {
  ScratchDir dir;
  WriteSequence(dir, 1, 3, 40, 20);
  std::filesystem::remove(dir / "d_002.pfm");
  const auto run = RunZavol({"render", dir / "d_###.pfm", "--frames", "1-3", "-q", "-o", dir / "o_#.png"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("d_002.pfm: no such file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("1 of 3 frames failed"), std::string::npos) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "o_1.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "o_2.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "o_3.png"));
}

TEST(Sequence, CtrlCStopsWithFinishedFramesWholeAndNoPartialFile) {
  ScratchDir dir;
  WritePfm(dir / "still.pfm", 1200, 800, TestDepth(1200, 800, 0));
  LinkFrames(dir, dir / "still.pfm", "still_###.pfm", 400);
  const std::string command = clitest::Quote(ZAVOL_BIN) + " render " + clitest::Quote(dir / "still_###.pfm") +
                              " --frames 1-400 --jobs 2 -q -o " + clitest::Quote(dir / "o_###.png") +
                              " 2>" + clitest::Quote(dir / "err.txt");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for a few frames, then interrupt.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!std::filesystem::exists(dir / "o_003.png") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // With two jobs, frame 2 may still be in progress when frame 3 is finished: what must stay is
  // every frame finished before the interrupt, frame 3 among them.
  const bool thirdFinished = std::filesystem::exists(dir / "o_003.png");
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string err = [&] {
    const auto bytes = clitest::ReadBytes(dir / "err.txt");
    return std::string(bytes.begin(), bytes.end());
  }();
  EXPECT_NE(err.find("stopped; "), std::string::npos) << err;
  int written = 0;
  for (const std::string& name : dir.Names()) {
    ASSERT_NE(name[0], '.') << "temporary left behind: " << name;
    if (name.rfind("o_", 0) != 0) continue;
    ++written;
    bool ok = false;
    const Image image = clitest::DecodePng(dir / name, &ok);
    EXPECT_TRUE(ok) << name << " is not a whole PNG";
    EXPECT_EQ(image.width, 1200);
  }
  ASSERT_TRUE(thirdFinished) << "no frame finished within the deadline";
  EXPECT_TRUE(std::filesystem::exists(dir / "o_003.png")) << "a finished frame was removed";
  EXPECT_LT(written, 400);
}

// ---- Settings blocks
TEST(Settings, DefaultsBlockAndRoundTrip) {
  ScratchDir dir;
  const auto defaults = RunZavol({"settings", "-o", dir / "d.block"});
  ASSERT_EQ(defaults.exitCode, 0) << defaults.err;
  const std::vector<uint8_t> expected = {0xcd, 0xcc, 0xcc, 0x3e, 0, 0, 0x80, 0x3f, 0, 0, 0x80, 0x3f,
                                         0xe9, 3, 0, 0, 0x96, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x7a, 0x44,
                                         0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0, 0xff, 3, 0, 0,
                                         0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_TRUE(clitest::ReadBytes(dir / "d.block") == expected);
  EXPECT_NE(defaults.out.find("ViewingMedium       1001 (15in)"), std::string::npos) << defaults.out;

  const auto edited = RunZavol({"settings", "--from", dir / "d.block", "--medium", "a4", "--color1", "FF8000",
                                "--ramp", "hsv", "--guide", "--no-randomize", "--dpi", "300",
                                "--far-distance", "2500.5", "-o", dir / "e.block"});
  ASSERT_EQ(edited.exitCode, 0) << edited.err;
  const std::vector<uint8_t> e = clitest::ReadBytes(dir / "e.block");
  ASSERT_EQ(e.size(), 56u);
  EXPECT_EQ(e[12] | e[13] << 8, 1006);  // ViewingMedium
  EXPECT_EQ(e[16] | e[17] << 8, 300);   // CustomDpi
  EXPECT_EQ(e[32], 0xFF);               // Color1 red, low byte
  EXPECT_EQ(e[33], 0x80);
  EXPECT_EQ(e[34], 0x00);
  EXPECT_EQ(e[40] | e[41] << 8, 1024);  // RampMode
  EXPECT_EQ(e[44], 1);                  // PutGuidePoints
  EXPECT_EQ(e[48], 0);                  // RandomizeEachFrame
  EXPECT_NE(edited.out.find("FarDistance         2500.5\n"), std::string::npos) << edited.out;

  // Read back and written again unchanged, and printed the same.
  const auto again = RunZavol({"settings", "--from", dir / "e.block", "-o", dir / "f.block"});
  ASSERT_EQ(again.exitCode, 0);
  EXPECT_TRUE(clitest::ReadBytes(dir / "f.block") == e);
  EXPECT_EQ(again.out, edited.out);

  // render --save-settings writes the settings it used.
  WritePfm(dir / "d.pfm", 30, 10, TestDepth(30, 10, 0));
  ASSERT_EQ(RunZavol({"render", dir / "d.pfm", "-o", dir / "o.pam", "--settings", dir / "e.block",
                      "--no-guide", "--save-settings", dir / "g.block"}).exitCode, 0);
  std::vector<uint8_t> g = e;
  g[44] = 0;
  EXPECT_TRUE(clitest::ReadBytes(dir / "g.block") == g);
}

TEST(Settings, ABlockFromTheHostRendersAsItsFieldsSay) {
  ScratchDir dir;
  ASSERT_EQ(RunZavol({"settings", "--no-randomize", "--ramp", "hsv", "-o", dir / "b.block"}).exitCode, 0);
  WritePfm(dir / "d.pfm", 50, 20, TestDepth(50, 20, 0));
  ASSERT_EQ(RunZavol({"render", dir / "d.pfm", "--settings", dir / "b.block", "-o", dir / "a.pam"}).exitCode, 0);
  ASSERT_EQ(RunZavol({"render", dir / "d.pfm", "--no-randomize", "--ramp", "hsv", "-o", dir / "b.pam"}).exitCode, 0);
  EXPECT_TRUE(clitest::ReadBytes(dir / "a.pam") == clitest::ReadBytes(dir / "b.pam"));
}

// ---- The rest of the surface
TEST(Tool, HelpTellsTheCommandsAndExitsZero) {
  const auto help = RunZavol({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* word : {"render", "demo", "settings", "scene"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
  // The version is the one CMake read for the project.
  EXPECT_EQ(RunZavol({"--version"}).out, "zavol " ZAVOL_PROJECT_VERSION "\n");
  const auto renderHelp = RunZavol({"render", "--help"});
  EXPECT_EQ(renderHelp.exitCode, 0);
  for (const char* option : {"--frames", "--jobs", "--threads", "--depth-kind", "--channel", "--far-cutoff", "--pattern",
                             "--prevent-ghosting", "--save-settings", "--compression"}) {
    EXPECT_NE(renderHelp.out.find(option), std::string::npos) << option;
  }
}

TEST(Tool, DemoWritesAnImageAndSaysWhere) {
  ScratchDir dir;
  const auto run = RunZavol({"demo", "-o", dir / "demo.png", "--size", "320x200", "--seed", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("wrote " + (dir / "demo.png")), std::string::npos) << run.out;
  bool ok = false;
  const Image image = clitest::DecodePng(dir / "demo.png", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(image.width, 320);
  EXPECT_EQ(image.height, 200);
}

// Memory that cannot be had, wherever the tool needs it, ends it with one line and exit code 1
// and leaves no file: the tool runs with its address space capped (a sanitizer's shadow memory
// cannot live under such a cap).
TEST(Tool, MemoryThatCannotBeHadIsOneLineAndExitOne) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the tool's address space cannot be capped under a sanitizer";
#endif
  ScratchDir dir;
  const std::vector<std::vector<std::string>> commands = {
      {"demo", "-o", dir / "demo.png", "--size", "30000x30000"},
      {"scene", "-o", dir / "depth.pfm", "--size", "30000x30000"},
  };
  for (const std::vector<std::string>& args : commands) {
    std::string command = "ulimit -v 300000; exec " + clitest::Quote(ZAVOL_BIN);
    for (const std::string& a : args) command += " " + clitest::Quote(a);
    command += " 2>" + clitest::Quote(dir / "err.txt");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << args[0] << " ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1) << args[0];
    const std::vector<uint8_t> err = clitest::ReadBytes(dir / "err.txt");
    const std::string text(err.begin(), err.end());
    EXPECT_EQ(text.rfind("zavol: ", 0), 0u) << text;
    EXPECT_NE(text.find("memory"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    std::remove((dir / "err.txt").c_str());
    EXPECT_TRUE(dir.Names().empty()) << args[0] << " left a file";
  }
}

// Under address-space caps from too small to enough, a render never aborts: wherever memory or
// a thread runs out first (the reader, the engine's threads, the PNG writer's helpers), the
// run either writes its picture (with fewer threads) or ends with one line, exit code 1 and no
// file.
TEST(Tool, EveryCapOnMemoryEndsInAPictureOrOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the tool's address space cannot be capped under a sanitizer";
#endif
  ScratchDir dir;
  WritePfm(dir / "d.pfm", 1024, 768, TestDepth(1024, 768, 0));
  int written = 0, refused = 0;
  for (int cap = 30000; cap <= 90000; cap += 3000) {
    const std::string command = "ulimit -v " + std::to_string(cap) + "; exec " +
                                clitest::Quote(ZAVOL_BIN) + " render " + clitest::Quote(dir / "d.pfm") +
                                " -o " + clitest::Quote(dir / "o.png") + " -q 2>" +
                                clitest::Quote(dir / "err.txt");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "cap " << cap << " KiB: ended by a signal";
    const std::vector<uint8_t> err = clitest::ReadBytes(dir / "err.txt");
    const std::string text(err.begin(), err.end());
    std::remove((dir / "err.txt").c_str());
    if (WEXITSTATUS(status) == 0) {
      ++written;
      EXPECT_TRUE(text.empty()) << "cap " << cap << ": " << text;
      EXPECT_EQ(dir.Names(), (std::vector<std::string>{"d.pfm", "o.png"})) << "cap " << cap;
      std::remove((dir / "o.png").c_str());
    } else {
      ++refused;
      EXPECT_EQ(WEXITSTATUS(status), 1) << "cap " << cap << ": " << text;
      EXPECT_EQ(text.rfind("zavol: ", 0), 0u) << "cap " << cap << ": " << text;
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "cap " << cap << ": " << text;
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"d.pfm"}) << "cap " << cap;
    }
  }
  // The caps reach both ends: a picture too large for the smallest, room at the largest.
  EXPECT_GT(refused, 0);
  EXPECT_GT(written, 0);
}

TEST(Tool, VerbosePrintsTheEnginesDebugLineOnlyWhenAsked) {
  ScratchDir dir;
  WritePfm(dir / "d.pfm", 30, 10, TestDepth(30, 10, 0));
  // On A4 paper the 30-pixel frame has room for its repeats, so nothing is warned about.
  const auto quiet = RunZavol({"render", dir / "d.pfm", "-o", dir / "a.png", "--medium", "a4"});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_EQ(quiet.err, "");
  const auto verbose = RunZavol({"render", dir / "d.pfm", "-o", dir / "a.png", "--medium", "a4", "--verbose"});
  EXPECT_EQ(verbose.exitCode, 0);
  // The farthest depth of the test map: x 29, y 6, the last scene row above the hole.
  EXPECT_NE(verbose.err.find("minz=-21.57"), std::string::npos) << verbose.err;
}

// The documentation's table of fields is the one the tool prints from the field table.
TEST(Tool, FieldsPageIsWhatTheToolPrints) {
  const auto run = RunZavol({"settings", "--fields"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("| `dot_size` | `--dot-size` |"), std::string::npos) << run.out;
  const std::vector<uint8_t> page = clitest::ReadBytes(clitest::DataFile("../../docs/fields.md"));
  const std::string text(page.begin(), page.end());
  const std::size_t table = text.find("| Name |");
  ASSERT_NE(table, std::string::npos) << "docs/fields.md has no table";
  EXPECT_EQ(text.substr(table), run.out)
      << "docs/fields.md is out of date: rewrite its table with zavol settings --fields";
}

TEST(Tool, SceneDepthFilesReadBackAsTheSameScene) {
  ScratchDir dir;
  for (const char* name : {"s.exr", "s.pfm", "s.png"}) {
    const auto run = RunZavol({"scene", "--size", "160x90", "-o", dir / name});
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  // The same stereogram from each, since the depth range is taken from the frame and every
  // format keeps the scene's order of depths; only the PNG's 16-bit heights round.
  std::vector<std::vector<uint8_t>> outputs;
  for (const char* name : {"s.exr", "s.pfm"}) {
    ASSERT_EQ(RunZavol({"render", dir / name, "--no-randomize", "-o", dir / (std::string(name) + ".pam")}).exitCode, 0);
    outputs.push_back(clitest::ReadBytes(dir / (std::string(name) + ".pam")));
  }
  EXPECT_TRUE(outputs[0] == outputs[1]);
  ASSERT_EQ(RunZavol({"render", dir / "s.png", "--no-randomize", "-o", dir / "png.pam"}).exitCode, 0);
  EXPECT_EQ(ReadPam(dir / "png.pam").width, 160);
}

}  // namespace
