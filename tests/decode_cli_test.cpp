// `zavol decode` as a user runs it: bad inputs and options in one table (one line naming the
// file or the option, the exit code, nothing left behind), the scores of --compare, and the
// tool's separations against the decoder called directly on the same picture. Native only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

#include <jpeglib.h>

#include "render/decode.h"
#include "tests/cli_support.h"

namespace {

using clitest::ScratchDir;

// The picture as another tool would hand it over: a JPEG of libjpeg's default kind (chroma
// halved both ways) at the given quality.
std::vector<uint8_t> JpegBytes(const clitest::Image& picture, int quality) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.width);
  info.image_height = static_cast<JDIMENSION>(picture.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(picture.width) * 3);
  while (info.next_scanline < info.image_height) {
    const clitest::Pixel64* p = picture.pixels.data() + static_cast<std::size_t>(info.next_scanline) * picture.width;
    for (int x = 0; x < picture.width; ++x) {
      row[3 * x] = static_cast<JSAMPLE>(p[x].r >> 8);
      row[3 * x + 1] = static_cast<JSAMPLE>(p[x].g >> 8);
      row[3 * x + 2] = static_cast<JSAMPLE>(p[x].b >> 8);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

// A 320x180 frame of the built-in scene at 30 dpi (separations 16 to 41 pixels), its depth, and
// some things that are not stereograms.
void MakeInputs(const ScratchDir& dir) {
  const std::vector<std::vector<std::string>> runs = {
      {"scene", "--size", "320x180", "-o", dir / "depth.pfm"},
      {"scene", "--size", "300x180", "-o", dir / "other.pfm"},
      {"render", dir / "depth.pfm", "--seed", "5", "--medium", "dpi", "--dpi", "30", "-o",
       dir / "stereo.png"}};
  for (const auto& args : runs) {
    const clitest::ProcessResult run = clitest::RunZavol(args);
    if (run.exitCode != 0) {
      std::fprintf(stderr, "%s", run.err.c_str());
      std::abort();
    }
  }
  clitest::WriteBytes(dir / "junk.png", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  const std::string cut = "P6\n10 10\n255\n" + std::string(100, 'x');
  clitest::WriteBytes(dir / "cut.ppm", std::vector<uint8_t>(cut.begin(), cut.end()));
  const std::string noMaxval = "P5\n4 4\n0\n" + std::string(16, 'x');
  clitest::WriteBytes(dir / "zero.pgm", std::vector<uint8_t>(noMaxval.begin(), noMaxval.end()));
  bool ok = false;
  const std::vector<uint8_t> jpeg = JpegBytes(clitest::DecodePng(dir / "stereo.png", &ok), 90);
  if (!ok) std::abort();
  clitest::WriteBytes(dir / "stereo.jpg", jpeg);
  clitest::WriteBytes(dir / "cut.jpg", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
  // Narrower than the smallest separation of the default medium (80 pixels on a 1920x1080
  // 15-inch screen).
  clitest::Image narrow;
  narrow.width = 60;
  narrow.height = 10;
  for (int i = 0; i < 600; ++i) narrow.pixels.push_back({static_cast<uint16_t>(i * 40503u), 0, 0, 65535});
  clitest::WriteBytes(dir / "narrow.pam", clitest::RgbPamBytes(narrow));
}

const ScratchDir& Inputs() {
  static const ScratchDir dir;
  static const bool made = (MakeInputs(dir), true);
  static_cast<void>(made);
  return dir;
}

struct BadCase {
  const char* name;
  std::vector<std::string> args;  // "%x" is the shared input x, "@x" x in the row's own folder
  int exitCode;
  const char* message;  // contained in the one line on stderr
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class BadDecode : public testing::TestWithParam<BadCase> {};

TEST_P(BadDecode, OneLineRightCodeNoFile) {
  const BadCase& c = GetParam();
  ScratchDir dir;
  std::vector<std::string> args = {"decode"};
  for (const std::string& a : c.args) {
    args.push_back(a[0] == '%' ? Inputs() / a.substr(1) : a[0] == '@' ? dir / a.substr(1) : a);
  }
  const clitest::ProcessResult run = clitest::RunZavol(args);
  EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
  const std::string first = run.err.substr(0, run.err.find('\n'));
  EXPECT_EQ(first.rfind("zavol: ", 0), 0u) << run.err;
  EXPECT_NE(first.find(c.message), std::string::npos) << run.err;
  EXPECT_TRUE(dir.Names().empty()) << "a file was left behind";
  EXPECT_TRUE(run.out.empty()) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadDecode,
    testing::Values(
        BadCase{"not_an_image", {"%junk.png", "-o", "@o.png"}, 1, "junk.png: not a PNG, PAM, PPM, PGM or JPEG image"},
        BadCase{"jpeg_cut_short", {"%cut.jpg", "-o", "@o.png"}, 1, "cut.jpg: truncated or damaged JPEG image"},
        BadCase{"missing_picture", {"%none.png", "-o", "@o.png"}, 1, "none.png: no such file"},
        BadCase{"ppm_cut_short", {"%cut.ppm", "-o", "@o.png"}, 1,
                "cut.ppm: truncated (300 bytes of samples expected, 100 found)"},
        BadCase{"pgm_maxval_zero", {"%zero.pgm", "-o", "@o.png"}, 1, "zero.pgm: maxval 0 is outside 1..65535"},
        BadCase{"too_narrow_for_one_separation", {"%narrow.pam", "-o", "@o.png"}, 1,
                "narrow.pam: the picture is 60 pixels wide, too narrow to hold one repeat"},
        BadCase{"missing_depth", {"%stereo.png", "--compare", "%none.exr"}, 1, "none.exr: no such file"},
        BadCase{"depth_of_another_size", {"%stereo.png", "--compare", "%other.pfm"}, 1,
                "other.pfm: the depth is 300x180, the picture 320x180"},
        BadCase{"nothing_asked", {"%stereo.png"}, 2, "decode wants -o FILE"},
        BadCase{"unknown_extension", {"%stereo.png", "-o", "@o.jpg"}, 2, "must end in .png, .pfm or .exr"},
        BadCase{"separations_as_png", {"%stereo.png", "--separations", "-o", "@o.png"}, 2,
                "--separations are real numbers"},
        BadCase{"even_window", {"%stereo.png", "--window", "8", "-o", "@o.png"}, 2, "odd"},
        BadCase{"window_too_wide", {"%stereo.png", "--window", "99", "-o", "@o.png"}, 2, "window"},
        BadCase{"bounds_reversed",
                {"%stereo.png", "--min-separation", "50", "--max-separation", "40", "-o", "@o.png"}, 2,
                "the smallest must not exceed the largest"},
        BadCase{"fit_and_a_medium", {"%stereo.png", "--fit", "--dpi", "30", "-o", "@o.png"}, 2,
                "--fit chooses the dpi itself"},
        BadCase{"output_is_the_picture", {"%stereo.png", "-o", "%stereo.png"}, 2, "is one of the inputs"},
        BadCase{"oversample_beyond_eight", {"%stereo.png", "-o", "@o.png", "--oversample", "9"}, 2,
                "--oversample"},
        BadCase{"unknown_linking", {"%stereo.png", "--compare", "%depth.pfm", "--linking", "centred"}, 2,
                "--linking"},
        BadCase{"unknown_option", {"%stereo.png", "-o", "@o.png", "--widow", "5"}, 2,
                "unknown option --widow; did you mean --window?"}),
    [](const testing::TestParamInfo<BadCase>& p) { return p.param.name; });

std::map<std::string, std::string> KeyValues(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return fields;
}

TEST(Decode, CompareScoresTheToolsOwnPictureAndWritesTheMaps) {
  ScratchDir dir;
  const clitest::ProcessResult run =
      clitest::RunZavol({"decode", Inputs() / "stereo.png", "--compare", Inputs() / "depth.pfm",
                         "--medium", "dpi", "--dpi", "30", "-o", dir / "height.png",
                         "--confidence", dir / "sure.pfm", "-q"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::map<std::string, std::string> f = KeyValues(run.out);
  EXPECT_EQ(f["pixels"], "57600");
  EXPECT_EQ(f["min_separation"], "16");
  EXPECT_EQ(f["max_separation"], "41");
  EXPECT_GT(std::stod(f["visible"]), 0.75 * 57600);
  EXPECT_GE(std::stod(f["match_share"]), 0.95);
  EXPECT_EQ(std::stol(f["matched"]) + std::stol(f["unknown"]) + std::stol(f["wrong"]),
            std::stol(f["visible"]));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"height.png", "sure.pfm"}));
  bool ok = false;
  const clitest::Image height = clitest::DecodePng(dir / "height.png", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(height.width, 320);
  // Unknown pixels are 0 (black): the leftmost column can repeat nothing to its left.
  EXPECT_EQ(height.pixels[0].r, 0);

  const clitest::ProcessResult json = clitest::RunZavol(
      {"decode", Inputs() / "stereo.png", "--compare", Inputs() / "depth.pfm", "--medium", "dpi",
       "--dpi", "30", "--json", "-q"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(json.out.rfind("{\"pixels\": 57600, ", 0), 0u) << json.out;
  EXPECT_NE(json.out.find("\"match_share\": " + f["match_share"] + ","), std::string::npos) << json.out;
}

// A picture rendered with the viewing options scores well only when --compare is told them: the
// meter then replays the links the picture was built with.
TEST(Decode, CompareTakesTheViewingOptionsThePictureWasRenderedWith) {
  ScratchDir dir;
  const std::vector<std::string> view = {"--view", "cross", "--oversample", "2", "--linking",
                                         "symmetric", "--medium", "dpi", "--dpi", "30"};
  std::vector<std::string> render = {"render", Inputs() / "depth.pfm", "--seed", "5", "-q", "-o",
                                     dir / "view.png"};
  render.insert(render.end(), view.begin(), view.end());
  const clitest::ProcessResult rendered = clitest::RunZavol(render);
  ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
  std::vector<std::string> told = {"decode", dir / "view.png", "--compare", Inputs() / "depth.pfm", "-q"};
  told.insert(told.end(), view.begin(), view.end());
  const clitest::ProcessResult withOptions = clitest::RunZavol(told);
  ASSERT_EQ(withOptions.exitCode, 0) << withOptions.err;
  const clitest::ProcessResult without = clitest::RunZavol(
      {"decode", dir / "view.png", "--compare", Inputs() / "depth.pfm", "--medium", "dpi", "--dpi",
       "30", "-q"});
  ASSERT_EQ(without.exitCode, 0) << without.err;
  const double share = std::stod(KeyValues(withOptions.out)["match_share"]);
  EXPECT_GE(share, 0.85);
  EXPECT_LT(std::stod(KeyValues(without.out)["match_share"]), share - 0.3);
}

// Another tool's way of handing a stereogram over: a JPEG, its dots blurred and blocky, still
// decodes to the engine's separations for most pixels.
TEST(Decode, AJpegOfThePictureStillDecodes) {
  const clitest::ProcessResult run =
      clitest::RunZavol({"decode", Inputs() / "stereo.jpg", "--compare", Inputs() / "depth.pfm",
                         "--medium", "dpi", "--dpi", "30", "-q"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::map<std::string, std::string> f = KeyValues(run.out);
  EXPECT_GE(std::stod(f["match_share"]), 0.85);
}

// The tool's --separations are the decoder's, bit for bit, on the picture as libpng reads it.
TEST(Decode, ToolSeparationsEqualTheDecoderCalledDirectly) {
  ScratchDir dir;
  const clitest::ProcessResult run = clitest::RunZavol(
      {"decode", Inputs() / "stereo.png", "--min-separation", "16", "--max-separation", "41",
       "--separations", "-o", dir / "s.pfm", "-q", "-j", "2"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  zavol::netpbm::PfmImage fromTool;
  std::string error;
  const std::vector<uint8_t> bytes = clitest::ReadBytes(dir / "s.pfm");
  ASSERT_TRUE(zavol::netpbm::DecodePfm(bytes.data(), bytes.size(), &fromTool, &error)) << error;

  bool ok = false;
  const clitest::Image picture = clitest::DecodePng(Inputs() / "stereo.png", &ok);
  ASSERT_TRUE(ok);
  zavol::DecodeOptions options;
  options.bounds = {16, 41};
  std::vector<float> direct(320 * 180);
  const zavol::ConstPixelView view{reinterpret_cast<const uint16_t*>(picture.pixels.data()), 320, 180,
                                   4 * 320};
  ASSERT_EQ(zavol::DecodeStereogram(view, options, direct.data(), nullptr), zavol::FrameStatus::kDone);
  ASSERT_EQ(fromTool.values.size(), direct.size());
  EXPECT_EQ(std::memcmp(fromTool.values.data(), direct.data(), direct.size() * sizeof(float)), 0);
  const std::size_t known = static_cast<std::size_t>(
      std::count_if(direct.begin(), direct.end(), [](float s) { return !std::isnan(s); }));
  EXPECT_GT(known, direct.size() * 3 / 4);
}

// A cross-eyed picture decodes the right way up with --view cross (near bright), and --compare
// judges it by geometry too: each flat level's share of pixels repeated at its own separation.
TEST(Decode, CrossEyedPicturesDecodeNearBrightAndEveryLevelRepeats) {
  ScratchDir dir;
  std::vector<float> heights(320 * 180, 0.2f);
  for (int y = 0; y < 180; ++y) {
    for (int x = 0; x < 320; ++x) {
      if (x >= 40 && x < 120 && y >= 50 && y < 130) heights[y * 320 + x] = 0.4f;
      if ((x - 220) * (x - 220) + (y - 90) * (y - 90) < 45 * 45) heights[y * 320 + x] = 0.8f;
    }
  }
  clitest::WriteBytes(dir / "levels.pfm", clitest::PfmBytes(320, 180, heights, true));
  const std::vector<std::string> common = {"--medium", "a4", "--view", "cross", "-q"};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), common.begin(), common.end());
    const clitest::ProcessResult result = clitest::RunZavol(args);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return result;
  };
  run({"render", dir / "levels.pfm", "--depth-kind", "height", "--seed", "5", "-o",
       dir / "cross.png"});
  run({"decode", dir / "cross.png", "-o", dir / "height.pfm"});
  zavol::netpbm::PfmImage decoded;
  std::string error;
  const std::vector<uint8_t> bytes = clitest::ReadBytes(dir / "height.pfm");
  ASSERT_TRUE(zavol::netpbm::DecodePfm(bytes.data(), bytes.size(), &decoded, &error)) << error;
  ASSERT_EQ(decoded.values.size(), heights.size());
  const float disc = decoded.values[90 * 320 + 220], box = decoded.values[90 * 320 + 100];
  const float plane = decoded.values[160 * 320 + 300];
  EXPECT_GT(disc, box);
  EXPECT_GT(box, plane);

  std::map<std::string, std::string> f =
      KeyValues(run({"decode", dir / "cross.png", "--compare", dir / "levels.pfm", "--depth-kind",
                     "height"}).out);
  EXPECT_EQ(f["levels"], "3");
  EXPECT_GE(std::stod(f["geometric_share"]), 0.9);
  for (const char* level : {"level_1", "level_2", "level_3"}) {
    const std::string& text = f[level];
    const std::size_t at = text.find("share:");
    ASSERT_NE(at, std::string::npos) << level << ": " << text;
    EXPECT_GE(std::stod(text.substr(at + 6)), 0.9) << level << ": " << text;
  }
}

// Another program's picture, as PPM (8 bits) or PGM (16 bits, maxval 1023): its background
// repeats every 300 pixels, beyond the settings' range (80 to 201 on a 1920-pixel 15-inch
// screen), so the decoder estimates the rows' own repeat and says which range it searched.
TEST(Decode, AnotherProgramsPictureDecodesThroughTheRowsOwnRepeat) {
  const int width = 1920, height = 30;
  std::vector<uint16_t> samples;  // three per pixel, 0..1023
  uint64_t state = 5;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = samples.size();
    for (int x = 0; x < width; ++x) {
      const int s = x >= 700 && x < 1200 && y >= 10 ? 250 : 300;
      for (int c = 0; c < 3; ++c) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        samples.push_back(x >= s ? samples[row + 3 * (x - s) + c] : static_cast<uint16_t>(state >> 54));
      }
    }
  }
  for (const bool grey : {false, true}) {
    SCOPED_TRACE(grey ? "pgm" : "ppm");
    ScratchDir dir;
    const std::string name = dir / (grey ? "other.pgm" : "other.ppm");
    std::string bytes = std::string(grey ? "P5" : "P6") + "\n# made elsewhere\n" +
                        std::to_string(width) + " " + std::to_string(height) + "\n" +
                        (grey ? "1023" : "255") + "\n";
    for (std::size_t i = 0; i < samples.size(); i += grey ? 3 : 1) {
      if (grey) {
        bytes += static_cast<char>(samples[i] >> 8);
        bytes += static_cast<char>(samples[i] & 0xFF);
      } else {
        bytes += static_cast<char>(samples[i] >> 2);
      }
    }
    clitest::WriteBytes(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    const clitest::ProcessResult run =
        clitest::RunZavol({"decode", name, "--separations", "-o", dir / "s.pfm"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("the rows repeat most at 300 px, outside that range, and searching 120 to"),
              std::string::npos) << run.err;
    EXPECT_NE(run.err.find("so that range is used"), std::string::npos) << run.err;
    zavol::netpbm::PfmImage got;
    std::string error;
    const std::vector<uint8_t> file = clitest::ReadBytes(dir / "s.pfm");
    ASSERT_TRUE(zavol::netpbm::DecodePfm(file.data(), file.size(), &got, &error)) << error;
    int judged = 0, right = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 320; x < width; ++x) {
        // Clear of the square's edges by a window and the band that only one eye sees.
        if ((x > 690 && x < 760) || (x > 1190 && x < 1260)) continue;
        const double want = x >= 700 && x < 1200 && y >= 10 ? 250.0 : 300.0;
        ++judged;
        right += std::fabs(got.values[static_cast<std::size_t>(y) * width + x] - want) <= 0.5;
      }
    }
    EXPECT_GE(right, judged * 95 / 100);
  }
}

}  // namespace
