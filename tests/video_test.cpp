// Videos as FFmpeg's own programs see them: every container's frame count, size and rate; FFV1
// and GIF frames equal to the PAM renders; y4m and rgb48 streams; depth videos made from the
// sample files read back as the same height maps; stable dots holding still; and one table of
// bad inputs, a full disk and Ctrl-C, none of which may leave a file behind. Native only.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "io/formats.h"
#include "io/video_read.h"
#include "io/video_write.h"
#include "tests/cli_support.h"

namespace {

using clitest::Quote;
using clitest::ScratchDir;

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// zavol's output, asserting success.
void Zavol(const std::vector<std::string>& args) {
  const clitest::ProcessResult run = clitest::RunZavol(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
}

// Runs the ffmpeg program quietly; false when it fails.
bool Ffmpeg(const std::string& arguments) {
  return Shell(Quote(ZAVOL_FFMPEG) + " -v error -nostdin -y " + arguments) == 0;
}

// The video's frames as 8-bit RGB, decoded by the ffmpeg program.
std::vector<uint8_t> DecodeRgb(const std::string& video, const ScratchDir& dir) {
  const std::string raw = dir / "decoded.rgb";
  EXPECT_TRUE(Ffmpeg("-i " + Quote(video) + " -f rawvideo -pix_fmt rgb24 " + Quote(raw)));
  return clitest::ReadBytes(raw);
}

struct StreamFacts {
  int width = 0, height = 0, frames = 0;
  std::string rate;
};

// Width, height, frame rate and decoded frame count of the first video stream, from ffprobe.
StreamFacts Probe(const std::string& video, const ScratchDir& dir) {
  const std::string facts = dir / "facts.txt";
  Shell(Quote(ZAVOL_FFPROBE) + " -v error -select_streams v:0 -count_frames -show_entries "
        "stream=width,height,r_frame_rate,nb_read_frames -of csv=p=0 " + Quote(video) + " >" + Quote(facts));
  const std::vector<uint8_t> bytes = clitest::ReadBytes(facts);
  StreamFacts f;
  char rate[32] = {};
  std::sscanf(std::string(bytes.begin(), bytes.end()).c_str(), "%d,%d,%31[^,],%d", &f.width, &f.height,
              rate, &f.frames);
  f.rate = rate;
  return f;
}

// A PAM render's 8-bit dots: the high byte of red, green and blue.
std::vector<uint8_t> Dots(const std::string& pam) {
  const clitest::Image image = clitest::DecodePam(clitest::ReadBytes(pam));
  std::vector<uint8_t> rgb;
  for (const zavol::Pixel64& p : image.pixels) {
    for (uint16_t word : {p.r, p.g, p.b}) rgb.push_back(static_cast<uint8_t>(word >> 8));
  }
  return rgb;
}

// ---- Each container through the tool: what ffprobe reports, and the pixels where they are kept.
enum class Pixels {
  kExact,                // decoded frames equal the PAM renders' 8-bit dots
  kSameColourSameEntry,  // a colour always comes back as the same colour (no dithering)
  kLumaClose,            // lossless YUV: the luma within rounding (chroma is averaged)
  kLossy,
};

struct ContainerCase {
  const char* name;
  const char* output;
  std::vector<std::string> options;
  int width, height;  // of the video; the frames are 97x41
  const char* rate;
  Pixels pixels;
};

void PrintTo(const ContainerCase& c, std::ostream* out) { *out << c.name; }

class Containers : public testing::TestWithParam<ContainerCase> {};

TEST_P(Containers, FramesSizeRateAndPixels) {
  const ContainerCase& c = GetParam();
  ScratchDir dir;
  Zavol({"scene", "--size", "97x41", "--frames", "1-3", "-o", dir / "d_#.pfm"});
  std::vector<std::string> common = {"--frames", "1-3", "--seed", "7", "--medium", "dpi", "--dpi", "8"};
  common.insert(common.end(), c.options.begin(), c.options.end());
  std::vector<std::string> video = {"render", dir / "d_#.pfm", "-o", dir / c.output, "-q", "--jobs", "2"};
  video.insert(video.end(), common.begin(), common.end());
  Zavol(video);
  EXPECT_EQ(dir.Names().size(), 4u) << "a temporary was left";

  const StreamFacts facts = Probe(dir / c.output, dir);
  EXPECT_EQ(facts.width, c.width);
  EXPECT_EQ(facts.height, c.height);
  EXPECT_EQ(facts.rate, c.rate);
  EXPECT_EQ(facts.frames, 3);
  if (std::string(c.output).find(".mp4") != std::string::npos) {
    const std::vector<uint8_t> bytes = clitest::ReadBytes(dir / c.output);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_LT(text.find("moov"), text.find("mdat")) << "the index is not at the front";
  }
  if (c.pixels == Pixels::kLossy) return;

  std::vector<std::string> pams = {"render", dir / "d_#.pfm", "-o", dir / "p_#.pam", "-q"};
  pams.insert(pams.end(), common.begin(), common.end());
  Zavol(pams);
  const std::vector<uint8_t> decoded = DecodeRgb(dir / c.output, dir);
  const std::size_t frameBytes = static_cast<std::size_t>(c.width) * c.height * 3;
  ASSERT_EQ(decoded.size(), 3 * frameBytes);
  std::map<uint32_t, uint32_t> seen;  // rendered colour: colour in the video
  for (int f = 0; f < 3; ++f) {
    const std::vector<uint8_t> dots = Dots(dir / ("p_" + std::to_string(f + 1) + ".pam"));
    ASSERT_EQ(dots.size(), 97u * 41 * 3);
    double lumaError = 0;
    int wrong = 0;
    for (int y = 0; y < 41; ++y) {
      for (int x = 0; x < 97; ++x) {
        const uint8_t* from = &dots[(static_cast<std::size_t>(y) * 97 + x) * 3];
        const uint8_t* to = decoded.data() + f * frameBytes + (static_cast<std::size_t>(y) * c.width + x) * 3;
        if (c.pixels == Pixels::kExact) {
          wrong += !std::equal(from, from + 3, to);
        } else if (c.pixels == Pixels::kLumaClose) {
          auto luma = [](const uint8_t* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; };
          lumaError += std::abs(luma(from) - luma(to)) / (97 * 41);
        } else {
          const auto entry = seen.emplace(from[0] << 16 | from[1] << 8 | from[2], to[0] << 16 | to[1] << 8 | to[2]);
          wrong += entry.first->second != static_cast<uint32_t>(to[0] << 16 | to[1] << 8 | to[2]);
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "frame " << f + 1;
    // Within rounding a pixel's luma differs by about a code; red and blue swapped, by 15.
    EXPECT_LT(lumaError, 3.0) << "frame " << f + 1;
  }
  if (c.pixels == Pixels::kSameColourSameEntry) {
    EXPECT_GT(seen.size(), 256u) << "the case needs many colours";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Containers,
    testing::Values(
        ContainerCase{"mp4_h264_sides_made_even", "v.mp4", {"--fps", "30", "--crf", "20", "--preset", "veryfast"},
                      98, 42, "30/1", Pixels::kLossy},
        ContainerCase{"mp4_lossless_keeps_the_luma", "v.mp4", {"--crf", "0"}, 98, 42, "24/1", Pixels::kLumaClose},
        ContainerCase{"webm_vp9", "v.webm", {"--fps", "30000/1001", "--crf", "40"}, 98, 42, "30000/1001",
                      Pixels::kLossy},
        ContainerCase{"mkv_ffv1_exact", "v.mkv", {}, 97, 41, "24/1", Pixels::kExact},
        ContainerCase{"mkv_ffv1_exact_with_guide_and_hsv_ramp", "v.mkv",
                      {"--guide", "--ramp", "hsv", "--color1", "FF2000", "--color2", "2040C0"}, 97, 41, "24/1",
                      Pixels::kExact},
        ContainerCase{"mkv_ffv1_exact_with_every_view_option", "v.mkv",
                      {"--dots", "stable", "--dot-size", "2", "--anchor", "centre", "--view", "cross",
                       "--oversample", "2", "--linking", "symmetric"},
                      97, 41, "24/1", Pixels::kExact},
        ContainerCase{"gif_few_colours_exact", "v.gif", {"--fps", "25", "--color1", "000000", "--color2", "0000FF"},
                      97, 41, "25/1", Pixels::kExact},
        ContainerCase{"gif_many_colours_undithered", "v.gif", {"--fps", "25"}, 97, 41, "25/1",
                      Pixels::kSameColourSameEntry}),
    [](const testing::TestParamInfo<ContainerCase>& p) { return p.param.name; });

// Stable dots hold still in a video: a depth that does not move gives the same frame every
// time, where streaming dots give every frame dots of its own.
TEST(VideoSeeds, StableDotsOfAStillDepthGiveEqualFrames) {
  ScratchDir dir;
  Zavol({"scene", "--size", "64x32", "-o", dir / "still.pfm"});
  const std::vector<uint8_t> still = clitest::ReadBytes(dir / "still.pfm");
  for (int f = 1; f <= 3; ++f) clitest::WriteBytes(dir / ("d_" + std::to_string(f) + ".pfm"), still);
  const std::size_t frameBytes = 64 * 32 * 3;
  for (const bool stable : {true, false}) {
    std::vector<std::string> args = {"render", dir / "d_#.pfm", "--frames", "1-3", "-q", "-o", dir / "v.mkv"};
    if (stable) args.insert(args.end(), {"--dots", "stable"});
    Zavol(args);
    const std::vector<uint8_t> decoded = DecodeRgb(dir / "v.mkv", dir);
    ASSERT_EQ(decoded.size(), 3 * frameBytes);
    for (int f = 1; f < 3; ++f) {
      const bool same = std::equal(decoded.begin(), decoded.begin() + frameBytes, decoded.begin() + f * frameBytes);
      EXPECT_EQ(same, stable) << (stable ? "stable" : "streaming") << " dots, frame " << f + 1;
    }
  }
}

// ---- Frame streams on standard output.
TEST(FrameStreams, Y4mIsYuv444AndRgb48IsTheEnginesWords) {
  ScratchDir dir;
  Zavol({"scene", "--size", "97x41", "--frames", "1-2", "-o", dir / "d_#.pfm"});
  const std::vector<std::string> frames = {"render", dir / "d_#.pfm", "--frames", "1-2", "--seed", "3", "-q",
                                           "--medium", "dpi", "--dpi", "8"};
  std::vector<std::string> args = frames;
  args.insert(args.end(), {"-o", "-", "--format", "y4m", "--fps", "25"});
  const clitest::ProcessResult y4m = clitest::RunZavol(args);
  ASSERT_EQ(y4m.exitCode, 0) << y4m.err;
  const std::string header = "YUV4MPEG2 W97 H41 F25:1 Ip A1:1 C444 XCOLORRANGE=LIMITED\n";
  ASSERT_EQ(y4m.out.substr(0, header.size()), header);
  EXPECT_EQ(y4m.out.size(), header.size() + 2 * (6 + 97 * 41 * 3));
  clitest::WriteBytes(dir / "s.y4m", std::vector<uint8_t>(y4m.out.begin(), y4m.out.end()));
  const StreamFacts facts = Probe(dir / "s.y4m", dir);
  EXPECT_EQ(facts.frames, 2);
  EXPECT_EQ(facts.rate, "25/1");

  args = frames;
  args.insert(args.end(), {"-o", "-", "--format", "rgb48"});
  const clitest::ProcessResult rgb48 = clitest::RunZavol(args);
  ASSERT_EQ(rgb48.exitCode, 0) << rgb48.err;
  args = frames;
  args.insert(args.end(), {"-o", dir / "p_#.pam"});
  Zavol(args);
  std::string expected;
  for (int f = 1; f <= 2; ++f) {
    for (const zavol::Pixel64& p : clitest::DecodePam(clitest::ReadBytes(dir / ("p_" + std::to_string(f) + ".pam"))).pixels) {
      for (uint16_t word : {p.r, p.g, p.b}) expected += {static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)};
    }
  }
  EXPECT_TRUE(rgb48.out == expected) << "rgb48 is not the PAM's 16-bit words, little-endian";
}

// Frame streams and rates in digits need no FFmpeg: a copy of the program with no video module
// beside it writes the same bytes as the program with it, and the module stays unloaded; a rate
// in another spelling is FFmpeg's to read, so there it needs the module.
TEST(FrameStreams, NeedNoVideoModule) {
  ScratchDir dir;
  Zavol({"scene", "--size", "33x17", "--frames", "1-2", "-o", dir / "d_#.pfm"});
  const std::string lone = dir.Path().string() + ".zavol";  // outside dir, without the module
  std::filesystem::copy_file(ZAVOL_BIN, lone, std::filesystem::copy_options::overwrite_existing);
  const struct {
    std::vector<std::string> output;
    bool needsModule;
  } cases[] = {
      {{"-o", "@s.y4m", "--fps", "30000/1001"}, false},
      {{"-o", "@s.y4m", "--fps", "50:2"}, false},
      {{"-o", "@s.y4m"}, false},
      {{"-o", "@s.rgb", "--format", "rgb48", "--fps", "12"}, false},
      {{"-o", "@s.y4m", "--fps", "29.97"}, true},
  };
  for (const auto& c : cases) {
    // The program with the module writes x..., the lone copy y...
    auto command = [&](const std::string& program, const std::string& prefix) {
      std::string line = Quote(program) + " render " + Quote(dir / "d_#.pfm") + " --frames 1-2 --seed 3 -q";
      for (const std::string& a : c.output) line += " " + Quote(a[0] == '@' ? dir / (prefix + a.substr(1)) : a);
      return line;
    };
    const std::string withModule = command(ZAVOL_BIN, "x"), alone = command(lone, "y");
    ASSERT_EQ(std::system((withModule + " 2>/dev/null").c_str()), 0) << withModule;
    const int status = std::system((alone + " 2>/dev/null").c_str());
    const std::string name = c.output[1].substr(1);
    if (c.needsModule) {
      EXPECT_EQ(WEXITSTATUS(status), 1) << alone;
      continue;
    }
    ASSERT_EQ(WEXITSTATUS(status), 0) << alone;
    EXPECT_EQ(clitest::ReadBytes(dir / ("y" + name)), clitest::ReadBytes(dir / ("x" + name))) << alone;
    std::remove((dir / ("x" + name)).c_str());
    std::remove((dir / ("y" + name)).c_str());
  }
  std::remove(lone.c_str());
}

// ---- Depth videos. chain_ring.png as it is, mirrored and upside down, three frames in a
// lossless video; each frame must read back as the height map it was made from. The grey,
// colour and YUV videos are converted from the picture by FFmpeg, and must read as the PNG
// reader reads the picture; the 10- and 16-bit videos are written from known codes, so their
// heights are exact.
struct DepthVideoCase {
  const char* name;
  const char* pixelFormat;
  int codeBits;     // 0: FFmpeg converts the PNGs; else raw grey codes of this many bits
  float tolerance;  // in heights (0..1)
};

void PrintTo(const DepthVideoCase& c, std::ostream* out) { *out << c.name; }

class DepthVideo : public testing::TestWithParam<DepthVideoCase> {};

TEST_P(DepthVideo, ReadsBackAsTheHeightMaps) {
  const DepthVideoCase& c = GetParam();
  ScratchDir dir;
  const std::string picture = clitest::DataFile("chain_ring.png");
  bool ok = false;
  const clitest::Image grey = clitest::DecodePng(picture, &ok);
  ASSERT_TRUE(ok);
  const int w = grey.width, h = grey.height;
  // The index in the picture of frame f's pixel (x, y).
  auto at = [&](int f, int x, int y) {
    const int sx = f == 1 ? w - 1 - x : x, sy = f == 2 ? h - 1 - y : y;
    return static_cast<std::size_t>(sy) * w + sx;
  };
  const float codeMax = static_cast<float>((1 << c.codeBits) - 1);
  auto code = [&](std::size_t i) {  // the picture's 8-bit grey as a code of codeBits
    const unsigned v = grey.pixels[i].r >> 8;
    return static_cast<uint16_t>(c.codeBits == 16 ? v * 257 : (v * ((1u << c.codeBits) - 1) + 127) / 255);
  };
  if (c.codeBits == 0) {
    ASSERT_EQ(Shell("cp " + Quote(picture) + " " + Quote(dir / "f0.png")), 0);
    ASSERT_TRUE(Ffmpeg("-i " + Quote(picture) + " -vf hflip " + Quote(dir / "f1.png")));
    ASSERT_TRUE(Ffmpeg("-i " + Quote(picture) + " -vf vflip " + Quote(dir / "f2.png")));
    ASSERT_TRUE(Ffmpeg("-framerate 12 -i " + Quote(dir / "f%d.png") + " -c:v ffv1 -pix_fmt " + c.pixelFormat +
                       " " + Quote(dir / "d.mkv")));
  } else {
    std::vector<uint8_t> raw;
    for (int f = 0; f < 3; ++f) {
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const uint16_t word = code(at(f, x, y));
          raw.push_back(static_cast<uint8_t>(word & 0xFF));
          raw.push_back(static_cast<uint8_t>(word >> 8));
        }
      }
    }
    clitest::WriteBytes(dir / "frames.raw", raw);
    ASSERT_TRUE(Ffmpeg(std::string("-f rawvideo -pix_fmt ") + c.pixelFormat + " -s " + std::to_string(w) + "x" +
                       std::to_string(h) + " -framerate 12 -i " + Quote(dir / "frames.raw") +
                       " -c:v ffv1 " + Quote(dir / "d.mkv")));
  }

  zavol::io::DepthMap png;
  zavol::io::ReadPngDepth(picture, zavol::io::DepthReadOptions{}, png);
  ASSERT_TRUE(zavol::io::IsVideoInput(dir / "d.mkv"));
  zavol::io::VideoReader reader(dir / "d.mkv", 1);
  EXPECT_EQ(reader.Info().width, w);
  EXPECT_EQ(reader.Info().height, h);
  EXPECT_EQ(reader.Info().rate.num, 12);
  EXPECT_EQ(reader.Info().rate.den, 1);
  zavol::io::DepthMap frame;
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(reader.Read(zavol::io::DepthReadOptions{}, frame)) << "frame " << f;
    ASSERT_EQ(frame.width, w);
    ASSERT_EQ(frame.height, h);
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const float want = c.codeBits == 0
                               ? png.depth[at(f, x, y)]
                               : zavol::ToEngineDepth(zavol::DepthKind::kHeight, code(at(f, x, y)) * (1.0f / codeMax), 0);
        const float got = frame.depth[static_cast<std::size_t>(y) * w + x];
        const bool background = want <= zavol::kBackgroundThreshold;
        if (background ? got > zavol::kBackgroundThreshold : !(std::abs(got - want) <= c.tolerance)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << "frame " << f;
  }
  EXPECT_FALSE(reader.Read(zavol::io::DepthReadOptions{}, frame));
  EXPECT_EQ(reader.FramesRead(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DepthVideo,
    testing::Values(DepthVideoCase{"grey_8_bit", "gray", 0, 0.0f},
                    DepthVideoCase{"grey_and_alpha", "ya8", 0, 0.0f},
                    DepthVideoCase{"colour", "bgr0", 0, 0.0f},
                    DepthVideoCase{"colour_and_alpha", "bgra", 0, 0.0f},
                    // FFmpeg's own conversion to limited-range YUV is within a code of 16 + 219 v / 255.
                    DepthVideoCase{"yuv_limited_range", "yuv444p", 0, 1.0f / 219 + 1e-6f},
                    DepthVideoCase{"grey_10_bit", "gray10le", 10, 0.0f},
                    DepthVideoCase{"grey_16_bit", "gray16le", 16, 0.0f}),
    [](const testing::TestParamInfo<DepthVideoCase>& p) { return p.param.name; });

// Which inputs the tool reads as videos: containers by their contents whatever their names,
// damaged files by a video's name, never a depth image, a pipe (looking would take its bytes)
// or a missing file.
TEST(DepthVideo, WhatCountsAsAVideo) {
  ScratchDir dir;
  Zavol({"scene", "--size", "24x16", "-o", dir / "d.png"});
  Zavol({"scene", "--size", "24x16", "-o", dir / "d.pfm"});
  Zavol({"render", dir / "d.png", "-q", "-o", dir / "v.mkv"});
  clitest::WriteBytes(dir / "video_named.dat", clitest::ReadBytes(dir / "v.mkv"));
  clitest::WriteBytes(dir / "junk.mp4", {'n', 'o', 'p', 'e'});
  clitest::WriteBytes(dir / "junk.dat", {'n', 'o', 'p', 'e'});
  ASSERT_EQ(mkfifo((dir / "pipe.mkv").c_str(), 0600), 0);
  const struct {
    const char* name;
    bool video;
  } cases[] = {{"v.mkv", true}, {"video_named.dat", true}, {"junk.mp4", true}, {"junk.dat", false},
               {"d.png", false}, {"d.pfm", false}, {"pipe.mkv", false}, {"missing.mkv", false}};
  for (const auto& c : cases) EXPECT_EQ(zavol::io::IsVideoInput(dir / c.name), c.video) << c.name;
  EXPECT_FALSE(zavol::io::IsVideoInput(clitest::DataFile("cycles_single_zbuf.exr")));
}

// The tool renders a depth video's frame N as the height map it was made from, seeded as frame
// N of a sequence; a video it writes keeps the input's rate unless --fps says otherwise.
TEST(DepthVideo, FramesRenderAsTheirHeightMapsAtTheInputsRate) {
  ScratchDir dir;
  Zavol({"scene", "--size", "160x90", "--frames", "0-3", "-o", dir / "h_#.png"});
  ASSERT_TRUE(Ffmpeg("-framerate 12 -i " + Quote(dir / "h_%d.png") + " -c:v ffv1 -pix_fmt gray16le " +
                     Quote(dir / "d.mkv")));
  Zavol({"render", dir / "d.mkv", "--frames", "1-3", "--seed", "4", "-q", "-o", dir / "v_#.pam"});
  Zavol({"render", dir / "h_#.png", "--frames", "1-3", "--seed", "4", "-q", "-o", dir / "p_#.pam"});
  for (int f = 1; f <= 3; ++f) {
    const std::string n = std::to_string(f);
    EXPECT_TRUE(clitest::ReadBytes(dir / ("v_" + n + ".pam")) == clitest::ReadBytes(dir / ("p_" + n + ".pam")))
        << "frame " << f;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "v_0.pam"));
  Zavol({"render", dir / "d.mkv", "-q", "-o", dir / "same.mkv"});
  Zavol({"render", dir / "d.mkv", "-q", "--fps", "30", "-o", dir / "fast.mkv"});
  EXPECT_EQ(Probe(dir / "same.mkv", dir).rate, "12/1");
  EXPECT_EQ(Probe(dir / "same.mkv", dir).frames, 4);
  EXPECT_EQ(Probe(dir / "fast.mkv", dir).rate, "30/1");
  // One input, a video output: a one-frame video of the picture that input gives.
  Zavol({"render", dir / "h_2.png", "--seed", "4", "-q", "-o", dir / "one.mkv"});
  Zavol({"render", dir / "h_2.png", "--seed", "4", "-q", "-o", dir / "one.pam"});
  EXPECT_EQ(Probe(dir / "one.mkv", dir).frames, 1);
  const std::vector<uint8_t> one = DecodeRgb(dir / "one.mkv", dir);
  EXPECT_TRUE(one == Dots(dir / "one.pam"));
}

// ---- Bad input: one line naming the file and the reason, the exit code, no file left (neither
// the output nor a temporary).
struct BadCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the scratch folder
  int exitCode;
  const char* message;
  const char* shellPrefix = "";  // run before the tool in the same shell
  bool interrupt = false;        // Ctrl-C once the video's temporary has grown
  bool withoutModule = false;    // a copy of the program with no video module beside it
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

// Runs zavol through sh; with interrupt, sends SIGINT when a temporary file (a hidden name) of
// some size appears in dir. Returns the exit code; stderr goes to err.
int RunBad(const BadCase& c, const ScratchDir& dir, std::string* err) {
  const std::string lone = dir.Path().string() + ".zavol";  // outside dir: it is not output
  if (c.withoutModule) std::filesystem::copy_file(ZAVOL_BIN, lone, std::filesystem::copy_options::overwrite_existing);
  std::string command = std::string(c.shellPrefix) + " exec " + Quote(c.withoutModule ? lone : ZAVOL_BIN);
  for (const std::string& a : c.args) command += " " + Quote(a.size() > 0 && a[0] == '@' ? dir / a.substr(1) : a);
  command += " </dev/null >/dev/null 2>" + Quote(dir.Path().parent_path() / (dir.Path().filename().string() + ".err"));
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (c.interrupt) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool grown = false;
    while (!grown && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().filename().string()[0] == '.' && entry.file_size() > 4096) grown = true;
      }
    }
    EXPECT_TRUE(grown) << "the video's temporary never grew";
    kill(child, SIGINT);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const std::string errPath = (dir.Path().parent_path() / (dir.Path().filename().string() + ".err")).string();
  const std::vector<uint8_t> bytes = clitest::ReadBytes(errPath);
  std::remove(errPath.c_str());
  std::remove(lone.c_str());
  *err = std::string(bytes.begin(), bytes.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class BadVideo : public testing::TestWithParam<BadCase> {};

TEST_P(BadVideo, OneLineRightCodeNoFile) {
  const BadCase& c = GetParam();
  ScratchDir dir;
  Zavol({"scene", "--size", "97x41", "--frames", "1-3", "-o", dir / "d_#.pfm"});
  Zavol({"render", dir / "d_#.pfm", "--frames", "1-3", "-q", "-o", dir / "three.mp4"});
  Zavol({"render", dir / "d_#.pfm", "--frames", "1-3", "-q", "-o", dir / "three.mkv"});
  for (const char* name : {"three.mp4", "three.mkv"}) {
    std::vector<uint8_t> bytes = clitest::ReadBytes(dir / name);
    bytes.resize(bytes.size() * 6 / 10);
    clitest::WriteBytes(dir / (std::string("cut_") + name), bytes);
  }
  ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=duration=0.5 -c:a aac " + Quote(dir / "audio.m4a")));
  if (c.interrupt) {
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=320x180:duration=30:rate=24 -pix_fmt gray -c:v ffv1 " +
                       Quote(dir / "long.mkv")));
  }
  const std::string header = "YUV4MPEG2 W16 H16 F24:1 Ip A1:1 C420jpeg\n";  // and no frame
  clitest::WriteBytes(dir / "empty.y4m", std::vector<uint8_t>(header.begin(), header.end()));
  clitest::WriteBytes(dir / "junk.mp4", {'n', 'o', 'p', 'e'});
  clitest::WriteBytes(dir / "e_1.pfm", clitest::ReadBytes(dir / "d_1.pfm"));
  clitest::WriteBytes(dir / "e_2.pfm", {'P', 'f', '\n', '9'});
  clitest::WriteBytes(dir / "e_3.pfm", clitest::ReadBytes(dir / "d_3.pfm"));
  const std::vector<std::string> before = dir.Names();

  std::string err;
  const int code = RunBad(c, dir, &err);
  EXPECT_EQ(code, c.exitCode) << err;
  EXPECT_NE(err.find(c.message), std::string::npos) << err;
  EXPECT_EQ(err.rfind("zavol: ", 0), 0u) << err;
  EXPECT_EQ(dir.Names(), before) << "a file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadVideo,
    testing::Values(
        BadCase{"truncated_mp4", {"render", "@cut_three.mp4", "-o", "@o.mkv"}, 1, "cut_three.mp4: frame "},
        BadCase{"truncated_mkv", {"render", "@cut_three.mkv", "-o", "@o.mkv"}, 1, "cut_three.mkv: ends after "},
        BadCase{"audio_only", {"render", "@audio.m4a", "-o", "@o.mp4"}, 1, "audio.m4a: no video stream"},
        BadCase{"zero_frames", {"render", "@empty.y4m", "-o", "@o.mp4"}, 1, "empty.y4m: the video has no frames"},
        BadCase{"not_a_video", {"render", "@junk.mp4", "-o", "@o.mp4"}, 1, "junk.mp4: not a video"},
        BadCase{"frames_past_the_end", {"render", "@three.mkv", "--frames", "1-5", "-o", "@o.mkv"}, 1,
                "three.mkv: the video ends after frame 2"},
        BadCase{"bad_frame_in_a_sequence", {"render", "@e_#.pfm", "--frames", "1-3", "-o", "@o.mp4"}, 1,
                "o.mp4: not written (frame 2 failed)"},
        BadCase{"unwritable_output", {"render", "@d_#.pfm", "--frames", "1-3", "-o", "@nowhere/o.mp4"}, 1,
                "o.mp4: cannot create"},
        BadCase{"disk_full", {"render", "@d_#.pfm", "--frames", "1-3", "-o", "@o.mkv"}, 1, "o.mkv: cannot write",
                "trap '' XFSZ; ulimit -f 16;"},
        BadCase{"ctrl_c_mid_video", {"render", "@long.mkv", "-q", "-o", "@o.mp4", "--jobs", "2"}, 130,
                "stopped; ", "", true},
        BadCase{"video_named_with_a_frame_field", {"render", "@d_#.pfm", "--frames", "1-3", "-o", "@o_#.mp4"}, 2,
                "a video is one file"},
        BadCase{"video_frames_as_one_image", {"render", "@three.mkv", "-o", "@o.png"}, 2,
                "need # for the frame number"},
        BadCase{"video_file_to_a_pipe", {"render", "@d_#.pfm", "--frames", "1-3", "-o", "-", "--format", "mp4"}, 2,
                "cannot go to standard output"},
        BadCase{"crf_above_the_encoders_range", {"render", "@d_#.pfm", "--frames", "1-3", "-o", "@o.mp4", "--crf", "52"},
                2, "--crf 52: libx264 takes 0 to 51"},
        BadCase{"video_module_missing", {"render", "@d_#.pfm", "--frames", "1-3", "-o", "@o.mp4"}, 1,
                "videos cannot be read or written here (no libzavol_video.so", "", false, true}),
    [](const testing::TestParamInfo<BadCase>& p) { return p.param.name; });

}  // namespace
