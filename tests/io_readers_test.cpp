// Depth readers against the real sample files and small hand-made ones: conversions, row order,
// byte order, data windows, deep samples, and one clear error per bad file.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfTiledOutputFile.h>
#include <gtest/gtest.h>
#include <half.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "io/error.h"
#include "io/formats.h"
#include "tests/cli_support.h"

namespace {

using clitest::DataFile;
using clitest::ScratchDir;
using zavol::io::DepthKind;
using zavol::io::DepthMap;
using zavol::io::DepthReadOptions;
using zavol::io::IoError;
using zavol::io::kBackgroundDepth;
using zavol::io::ToEngineDepth;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

DepthMap Read(const std::string& path, DepthReadOptions options = {}) {
  DepthMap map;
  zavol::io::ReadDepthFile(path, options, map);
  return map;
}

// The message of the IoError that reading path throws; empty when it reads.
std::string ReadError(const std::string& path, DepthReadOptions options = {}) {
  try {
    Read(path, options);
  } catch (const IoError& e) {
    return e.what();
  }
  return {};
}

float At(const DepthMap& map, int x, int y) { return map.depth[static_cast<std::size_t>(y) * map.width + x]; }

bool IsBackground(float z) { return z == kBackgroundDepth; }

double BackgroundFraction(const DepthMap& map) {
  return static_cast<double>(std::count(map.depth.begin(), map.depth.end(), kBackgroundDepth)) /
         map.depth.size();
}

// ---- Conversions, one row per rule.
struct ConversionCase {
  const char* name;
  DepthKind kind;
  float value;
  float expected;  // kBackgroundDepth for background
};

class Conversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, MapsToTheEngineConvention) {
  const ConversionCase& c = GetParam();
  const float z = ToEngineDepth(c.kind, c.value, 1e9f);
  if (std::isnan(c.expected)) {
    EXPECT_TRUE(std::isnan(z));
  } else {
    EXPECT_EQ(z, c.expected) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Conversion,
    testing::Values(
        ConversionCase{"host_as_is", DepthKind::kHost, -5.5f, -5.5f},
        ConversionCase{"host_keeps_positive", DepthKind::kHost, 3.0f, 3.0f},
        ConversionCase{"host_keeps_nan", DepthKind::kHost, kNaN, kNaN},
        ConversionCase{"distance_negated", DepthKind::kDistance, 12.5f, -12.5f},
        ConversionCase{"distance_zero_is_background", DepthKind::kDistance, 0.0f, kBackgroundDepth},
        ConversionCase{"distance_negative_is_background", DepthKind::kDistance, -1.0f, kBackgroundDepth},
        ConversionCase{"distance_sky_is_background", DepthKind::kDistance, 1e10f, kBackgroundDepth},
        ConversionCase{"distance_at_cutoff_is_background", DepthKind::kDistance, 1e9f, kBackgroundDepth},
        ConversionCase{"distance_infinity_is_background", DepthKind::kDistance, kInf, kBackgroundDepth},
        ConversionCase{"distance_nan_is_background", DepthKind::kDistance, kNaN, kBackgroundDepth},
        ConversionCase{"disparity_inverted", DepthKind::kDisparity, 4.0f, -0.25f},
        ConversionCase{"disparity_zero_is_background", DepthKind::kDisparity, 0.0f, kBackgroundDepth},
        ConversionCase{"height_white_is_nearest", DepthKind::kHeight, 1.0f, 0.0f},
        ConversionCase{"height_grey", DepthKind::kHeight, 0.25f, -0.75f},
        ConversionCase{"height_above_one_counts_as_one", DepthKind::kHeight, 7.0f, 0.0f},
        ConversionCase{"height_black_is_background", DepthKind::kHeight, 0.0f, kBackgroundDepth},
        ConversionCase{"mist_zero_is_nearest", DepthKind::kMist, 0.0f, -0.0f},
        ConversionCase{"mist_half", DepthKind::kMist, 0.5f, -0.5f},
        ConversionCase{"mist_far_end_is_background", DepthKind::kMist, 1.0f, kBackgroundDepth},
        ConversionCase{"mist_negative_is_background", DepthKind::kMist, -0.1f, kBackgroundDepth}),
    [](const testing::TestParamInfo<ConversionCase>& p) { return p.param.name; });

TEST(ConversionOrder, NearerIsCloserToZeroForEveryKind) {
  // A nearer sample of each kind, then a farther one.
  const struct { DepthKind kind; float nearer, farther; } kinds[] = {
      {DepthKind::kDistance, 2.0f, 3.0f}, {DepthKind::kDisparity, 3.0f, 2.0f},
      {DepthKind::kHeight, 0.9f, 0.2f},   {DepthKind::kMist, 0.1f, 0.7f}};
  for (const auto& k : kinds) {
    const float nearer = ToEngineDepth(k.kind, k.nearer, 1e9f);
    const float farther = ToEngineDepth(k.kind, k.farther, 1e9f);
    EXPECT_LE(nearer, 0.0f);
    EXPECT_GT(nearer, farther) << zavol::io::DepthKindName(k.kind);
    EXPECT_GT(farther, -1e20f);
  }
}

// ---- PFM
TEST(PfmReader, RowsStoredBottomUpComeOutTopDownInEitherByteOrder) {
  ScratchDir dir;
  // 5 x 3, every row different and asymmetric, so a flip or a byte swap shows.
  const std::vector<float> values = {-1, -2, -3, -4, -5,  -10, -20, -30, -40, -50,
                                     -0.5f, -1e30f, 2.5f, -7, -8};
  for (bool little : {true, false}) {
    clitest::WriteBytes(dir / "tiny.pfm", clitest::PfmBytes(5, 3, values, little));
    const DepthMap map = Read(dir / "tiny.pfm");
    ASSERT_EQ(map.width, 5);
    ASSERT_EQ(map.height, 3);
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(map.depth[i], values[i]) << i << " little " << little;
  }
}

// A frame large enough for its pages to be faulted in on the decoding threads first reads the
// same with any number of them, into a fresh map and into one an earlier read filled.
TEST(PfmReader, DecodingThreadsReadTheSameValues) {
  ScratchDir dir;
  const int width = 1500, height = 1100;  // 6.6 MB of depth: several huge pages
  std::vector<float> values(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = -static_cast<float>(i % 9973) / 7.0f;
  clitest::WriteBytes(dir / "large.pfm", clitest::PfmBytes(width, height, values, true));
  DepthMap reused = Read(dir / "large.pfm");
  ASSERT_EQ(std::vector<float>(reused.depth.begin(), reused.depth.end()), values);
  for (int threads : {2, 3, 7}) {
    DepthReadOptions options;
    options.threads = threads;
    const DepthMap fresh = Read(dir / "large.pfm", options);
    EXPECT_EQ(std::vector<float>(fresh.depth.begin(), fresh.depth.end()), values) << threads;
    zavol::io::ReadDepthFile(dir / "large.pfm", options, reused);
    EXPECT_EQ(std::vector<float>(reused.depth.begin(), reused.depth.end()), values) << threads;
  }
}

TEST(PfmReader, ColourFileGivesItsFirstChannel) {
  ScratchDir dir;
  std::vector<uint8_t> bytes{'P', 'F', '\n', '2', ' ', '1', '\n', '-', '1', '\n'};
  for (float v : {-3.0f, 9.0f, 9.0f, -4.0f, 8.0f, 8.0f}) {
    uint32_t w;
    std::memcpy(&w, &v, 4);
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(w >> (8 * k)));
  }
  clitest::WriteBytes(dir / "colour.pfm", bytes);
  const DepthMap map = Read(dir / "colour.pfm");
  ASSERT_EQ(map.depth.size(), 2u);
  EXPECT_EQ(map.depth[0], -3.0f);
  EXPECT_EQ(map.depth[1], -4.0f);
}

TEST(PfmReader, SampleFileIsLittleEndianAndBottomUp) {
  const std::string path = DataFile("test-1.pfm");
  const DepthMap map = Read(path);
  ASSERT_EQ(map.width, 64);
  ASSERT_EQ(map.height, 64);
  // Decoded here from the bytes: the header is "PF\n64 64\n-1.0\n", rows bottom-up, 3 floats
  // per pixel, little-endian.
  const std::vector<uint8_t> bytes = clitest::ReadBytes(path);
  const std::size_t start = std::string("PF\n64 64\n-1.0\n").size();
  ASSERT_EQ(bytes.size(), start + 64 * 64 * 12);
  for (int y : {0, 1, 31, 63}) {
    for (int x : {0, 5, 63}) {
      const uint8_t* p = &bytes[start + (static_cast<std::size_t>(63 - y) * 64 + x) * 12];
      const uint32_t word = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
      float expected;
      std::memcpy(&expected, &word, 4);
      EXPECT_EQ(At(map, x, y), expected) << x << "," << y;
    }
  }
  // Read in the wrong byte order, a picture's samples would not be small finite numbers.
  for (float v : map.depth) {
    ASSERT_TRUE(std::isfinite(v));
    ASSERT_LT(std::fabs(v), 100.0f);
  }
}

// ---- EXR
TEST(ExrReader, SingleLayerZWithSkyAsBackground) {
  const DepthMap map = Read(DataFile("cycles_single_zbuf.exr"));
  ASSERT_EQ(map.width, 320);
  ASSERT_EQ(map.height, 180);
  const double background = BackgroundFraction(map);
  EXPECT_GT(background, 0.05);
  EXPECT_LT(background, 0.95);
  for (float z : map.depth) {
    if (!IsBackground(z)) {
      ASSERT_LT(z, 0.0f);
      ASSERT_GT(z, -1e9f);
    }
  }
}

TEST(ExrReader, MultiLayerFindsItsDepthChannelAndAgreesWithTheSingleLayerFile) {
  const DepthMap single = Read(DataFile("cycles_single_zbuf.exr"));
  const DepthMap multi = Read(DataFile("cycles_multilayer.exr"));
  ASSERT_EQ(multi.width, single.width);
  ASSERT_EQ(multi.height, single.height);
  EXPECT_TRUE(multi.depth == single.depth);
  // Asking for the distance channel by name gives the same.
  DepthReadOptions named;
  named.channel = "ViewLayer.Depth.Z";
  EXPECT_TRUE(Read(DataFile("cycles_multilayer.exr"), named).depth == single.depth);
}

TEST(ExrReader, MistKindTakesTheMistChannel) {
  DepthReadOptions mist;
  mist.kind = DepthKind::kMist;
  const DepthMap map = Read(DataFile("cycles_multilayer.exr"), mist);
  std::size_t scene = 0;
  for (float z : map.depth) {
    if (IsBackground(z)) continue;
    ++scene;
    ASSERT_LE(z, 0.0f);
    ASSERT_GT(z, -1.0f);
  }
  EXPECT_GT(scene, map.depth.size() / 20);
}

TEST(ExrReader, UnknownChannelListsTheChannelsFound) {
  DepthReadOptions options;
  options.channel = "depth";
  const std::string message = ReadError(DataFile("cycles_single_zbuf.exr"), options);
  EXPECT_NE(message.find("cycles_single_zbuf.exr: no channel 'depth'"), std::string::npos) << message;
  for (const char* name : {"R", "G", "B", "A", "Z"}) {
    EXPECT_NE(message.find(std::string(name)), std::string::npos) << message;
  }
}

TEST(ExrReader, ChannelChoiceOrder) {
  DepthReadOptions none;
  EXPECT_EQ(zavol::io::ChooseExrChannel("f", {"R", "left.Z", "Z"}, none), "Z");
  EXPECT_EQ(zavol::io::ChooseExrChannel("f", {"a.Mist.Z", "a.Depth.Z"}, none), "a.Depth.Z");
  EXPECT_EQ(zavol::io::ChooseExrChannel("f", {"R", "cam.Z"}, none), "cam.Z");
  DepthReadOptions mist;
  mist.kind = DepthKind::kMist;
  EXPECT_EQ(zavol::io::ChooseExrChannel("f", {"a.Depth.Z", "a.Mist.Z"}, mist), "a.Mist.Z");
  EXPECT_THROW(zavol::io::ChooseExrChannel("f", {"R", "G"}, none), IoError);
}

TEST(ExrReader, DataWindowInsideTheDisplayWindowAndBackgroundOutside) {
  const DepthMap map = Read(DataFile("Beachball_singlepart.0001.exr"));
  ASSERT_EQ(map.width, 2048);
  ASSERT_EQ(map.height, 1556);
  // Data window: 911 x 876 at (654, 245).
  std::size_t scene = 0;
  for (int y = 0; y < map.height; ++y) {
    for (int x = 0; x < map.width; ++x) {
      const float z = At(map, x, y);
      const bool inside = x >= 654 && x < 654 + 911 && y >= 245 && y < 245 + 876;
      if (!inside) {
        ASSERT_TRUE(IsBackground(z)) << x << "," << y;
      } else if (!IsBackground(z)) {
        ++scene;
        ASSERT_GE(z, -10.93f);
        ASSERT_LE(z, -8.99f);
      }
    }
  }
  EXPECT_GT(scene, 1000u);
}

TEST(ExrReader, DeepFileTakesTheNearestSample) {
  const DepthMap map = Read(DataFile("v2_LowResLeftView_Trunks.exr"));
  ASSERT_EQ(map.width, 1024);
  ASSERT_EQ(map.height, 576);
  float nearest = -1e30f, farthest = 0;
  for (float z : map.depth) {
    if (IsBackground(z)) continue;
    nearest = std::max(nearest, z);
    farthest = std::min(farthest, z);
  }
  EXPECT_NEAR(nearest, -94.3f, 0.1f);
  EXPECT_GE(farthest, -991.7f);
  EXPECT_GT(BackgroundFraction(map), 0.0);
}

TEST(ExrReader, FarCutoffMakesDistantPixelsBackground) {
  DepthReadOptions options;
  options.farCutoff = 500.0f;
  const DepthMap map = Read(DataFile("v2_LowResLeftView_Trunks.exr"), options);
  for (float z : map.depth) {
    if (!IsBackground(z)) {
      ASSERT_GT(z, -500.0f);
    }
  }
  EXPECT_GT(BackgroundFraction(map), BackgroundFraction(Read(DataFile("v2_LowResLeftView_Trunks.exr"))));
}

// Files written here through OpenEXR: a tiled part whose data window sticks out of the frame,
// and a two-part file with half-float depth in its second part.
TEST(ExrReader, TiledPartWithADataWindowBeyondTheFrame) {
  ScratchDir dir;
  const int width = 37, height = 23;
  // Data window from (-3, 2) to (40, 30): partly left of, right of and below the frame.
  const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(width - 1, height - 1));
  const Imath::Box2i data(Imath::V2i(-3, 2), Imath::V2i(40, 30));
  const int dataWidth = 44, dataHeight = 29;
  Imf::Header header(display, data);
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  header.setTileDescription(Imf::TileDescription(16, 8, Imf::ONE_LEVEL));
  std::vector<float> values(static_cast<std::size_t>(dataWidth) * dataHeight);
  for (int y = 0; y < dataHeight; ++y) {
    for (int x = 0; x < dataWidth; ++x) values[y * dataWidth + x] = 1.0f + (x - 3) + 100.0f * (y + 2);
  }
  {
    Imf::TiledOutputFile file((dir / "tiled.exr").c_str(), header);
    Imf::FrameBuffer frameBuffer;
    frameBuffer.insert("Z", Imf::Slice::Make(Imf::FLOAT, values.data(), data, sizeof(float),
                                             sizeof(float) * dataWidth));
    file.setFrameBuffer(frameBuffer);
    file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
  }
  const DepthMap map = Read(dir / "tiled.exr");
  ASSERT_EQ(map.width, width);
  ASSERT_EQ(map.height, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float expected = y < 2 ? kBackgroundDepth : -(1.0f + x + 100.0f * y);
      ASSERT_EQ(At(map, x, y), expected) << x << "," << y;
    }
  }
}

TEST(ExrReader, MultiPartHalfDepthWithLargestHalfAsSky) {
  ScratchDir dir;
  const int width = 9, height = 5;
  std::vector<Imf::Header> headers(2, Imf::Header(width, height));
  headers[0].setName("beauty");
  headers[0].setType(Imf::SCANLINEIMAGE);
  headers[0].channels().insert("R", Imf::Channel(Imf::HALF));
  headers[1].setName("depth");
  headers[1].setType(Imf::SCANLINEIMAGE);
  headers[1].channels().insert("cam.Z", Imf::Channel(Imf::HALF));
  std::vector<half> red(width * height, half(0.5f)), depth(width * height);
  for (int i = 0; i < width * height; ++i) depth[i] = half(i % 4 == 0 ? 65504.0f : 2.0f + i);
  {
    Imf::MultiPartOutputFile file((dir / "parts.exr").c_str(), headers.data(), 2);
    const char* names[2] = {"R", "cam.Z"};
    std::vector<half>* planes[2] = {&red, &depth};
    for (int part = 0; part < 2; ++part) {
      Imf::OutputPart out(file, part);
      Imf::FrameBuffer frameBuffer;
      frameBuffer.insert(names[part], Imf::Slice(Imf::HALF, reinterpret_cast<char*>(planes[part]->data()),
                                                 sizeof(half), sizeof(half) * width));
      out.setFrameBuffer(frameBuffer);
      out.writePixels(height);
    }
  }
  const DepthMap map = Read(dir / "parts.exr");
  ASSERT_EQ(map.width, width);
  for (int i = 0; i < width * height; ++i) {
    const float expected = i % 4 == 0 ? kBackgroundDepth : -static_cast<float>(depth[i]);
    EXPECT_EQ(map.depth[i], expected) << i;
  }
}

// ---- PNG
TEST(PngReader, RgbaHeightMapWhiteNearAlphaAndBlackBackground) {
  const DepthMap map = Read(DataFile("chain_ring.png"));
  ASSERT_EQ(map.width, 1920);
  ASSERT_EQ(map.height, 1080);
  const double background = BackgroundFraction(map);
  EXPECT_GT(background, 0.74);
  EXPECT_LT(background, 0.82);
  float nearest = -2;
  for (float z : map.depth) {
    if (IsBackground(z)) continue;
    ASSERT_GT(z, -1.0f);  // code 1 of 255 at the farthest
    ASSERT_LE(z, 0.0f);
    nearest = std::max(nearest, z);
  }
  EXPECT_GT(nearest, -0.5f);
}

TEST(PngReader, SixteenBitGreyKeepsEveryCode) {
  ScratchDir dir;
  // Written by our PNG writer, grey 16-bit: code = x * 4096 + y.
  zavol::io::WriteOptions options;
  options.pngBits = 16;
  options.grey = true;
  {
    zavol::io::OutputFile out(dir / "h.png");
    auto writer = zavol::io::MakeRowWriter(zavol::io::ImageFormat::kPng, out.Stream(), out.Path(), 7, 3, options);
    for (int y = 0; y < 3; ++y) {
      std::vector<zavol::Pixel64> row;
      for (int x = 0; x < 7; ++x) {
        const uint16_t code = static_cast<uint16_t>(x * 4096 + y);
        row.push_back({code, 0, 0, 65535});
      }
      writer->WriteRow(row.data());
    }
    writer->Finish();
    writer.reset();
    out.Commit();
  }
  const DepthMap map = Read(dir / "h.png");
  ASSERT_EQ(map.width, 7);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 7; ++x) {
      const int code = x * 4096 + y;
      const float expected = code == 0 ? kBackgroundDepth : code / 65535.0f - 1.0f;
      EXPECT_FLOAT_EQ(At(map, x, y), expected) << x << "," << y;
    }
  }
}

// ---- Bad files: one line naming the file and the reason.
TEST(BadDepthFiles, EachGetsItsReason) {
  ScratchDir dir;
  const auto real = [](const char* name) { return clitest::ReadBytes(DataFile(name)); };
  auto cut = [](std::vector<uint8_t> bytes, std::size_t keep) {
    bytes.resize(keep);
    return bytes;
  };
  const std::string pfmHeader = "Pf\n4 2\n-1.0\n";
  const struct {
    const char* file;
    std::vector<uint8_t> bytes;
    const char* reason;
  } cases[] = {
      {"junk.exr", {'h', 'e', 'l', 'l', 'o'}, "not a depth image"},
      {"empty.pfm", {}, "empty file"},
      {"short.pfm", std::vector<uint8_t>(pfmHeader.begin(), pfmHeader.end()), "truncated"},
      {"wide.pfm", {'P', 'f', '\n', '7', '0', '0', '0', '0', ' ', '1', '\n', '-', '1', '\n'},
       "over 65535"},
      {"scale.pfm", {'P', 'f', '\n', '1', ' ', '1', '\n', '0', '\n', 0, 0, 0, 0}, "scale"},
      {"cut.png", cut(real("chain_ring.png"), 5000), "truncated or damaged PNG"},
      {"cut.exr", cut(real("cycles_single_zbuf.exr"), 3000), "truncated or damaged OpenEXR"},
      {"cutdeep.exr", cut(real("v2_LowResLeftView_Trunks.exr"), 200000), "truncated or damaged OpenEXR"},
  };
  for (const auto& c : cases) {
    clitest::WriteBytes(dir / c.file, c.bytes);
    const std::string message = ReadError(dir / c.file);
    EXPECT_NE(message.find(dir / c.file), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << c.file << ": " << message;
  }
  EXPECT_NE(ReadError(dir / "missing.exr").find("missing.exr: no such file"), std::string::npos);
  EXPECT_NE(ReadError(dir.Path().string()).find("is a folder"), std::string::npos);
}

}  // namespace

namespace {

// Damaged copies of real files: each read either succeeds or throws IoError, never anything
// else (and, under the sanitizers, never touches memory it should not).
TEST(DamagedFiles, ReadOrFailWithAReason) {
  ScratchDir dir;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> originals;
  originals.emplace_back("z.exr", clitest::ReadBytes(DataFile("cycles_single_zbuf.exr")));
  originals.emplace_back("t.pfm", clitest::ReadBytes(DataFile("test-1.pfm")));
  // A small PNG height map, grey+alpha 8-bit, written here.
  {
    zavol::io::WriteOptions options;
    options.grey = true;
    zavol::io::OutputFile out(dir / "small.png");
    auto writer = zavol::io::MakeRowWriter(zavol::io::ImageFormat::kPng, out.Stream(), out.Path(), 40, 30, options);
    std::vector<zavol::Pixel64> row(40);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) row[x].r = static_cast<uint16_t>((x * 7 + y * 3) << 8);
      writer->WriteRow(row.data());
    }
    writer->Finish();
    writer.reset();
    out.Commit();
  }
  originals.emplace_back("h.png", clitest::ReadBytes(dir / "small.png"));
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  int failures = 0, reads = 0;
  for (const auto& [name, bytes] : originals) {
    ASSERT_FALSE(bytes.empty()) << name;
    for (int variant = 0; variant < 60; ++variant) {
      std::vector<uint8_t> damaged = bytes;
      // Mostly the first kilobyte, where the headers and offset tables live.
      const std::size_t span = variant % 3 == 0 ? damaged.size() : std::min<std::size_t>(damaged.size(), 1024);
      for (int flips = 1 + variant % 4; flips > 0; --flips) {
        damaged[next() % span] ^= static_cast<uint8_t>(1 + next() % 255);
      }
      if (variant % 5 == 4) damaged.resize(next() % damaged.size());
      clitest::WriteBytes(dir / name, damaged);
      try {
        Read(dir / name);
        ++reads;
      } catch (const IoError& e) {
        ++failures;
        EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
      }
    }
  }
  EXPECT_GT(failures, 0);
  RecordProperty("reads", reads);
}

}  // namespace
