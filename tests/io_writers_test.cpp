// Image writers and output files: PNG bands joined into one stream decode to the frame (checked
// by libpng, not by the tool's reader), the same bytes on any thread count; PAM bytes exact;
// nothing appears under the final name before Commit, nothing is left behind without it.
#include <gtest/gtest.h>

#include <ImfRgbaFile.h>
#include <ImfArray.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "io/error.h"
#include "io/formats.h"
#include "tests/cli_support.h"

namespace {

// Set by a test: the next allocation through operator new fails, on whichever thread asks.
std::atomic<bool> failNextAllocation{false};

}  // namespace

namespace {

void* Allocate(std::size_t size) {
  if (failNextAllocation.load(std::memory_order_relaxed) && failNextAllocation.exchange(false)) {
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

// None inlined, so that the compiler does not take free() after new for a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size) { return Allocate(size); }
[[gnu::noinline]] void* operator new[](std::size_t size) { return Allocate(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using clitest::ScratchDir;
using zavol::Pixel64;
namespace io = zavol::io;

// An asymmetric test frame: every channel depends differently on x and y.
std::vector<Pixel64> TestFrame(int width, int height) {
  std::vector<Pixel64> frame(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      frame[static_cast<std::size_t>(y) * width + x] =
          Pixel64{static_cast<uint16_t>(x * 97 + y * 3), static_cast<uint16_t>(y * 211 ^ x),
                  static_cast<uint16_t>((x * y) * 31 + 7), static_cast<uint16_t>(x + y)};
    }
  }
  return frame;
}

void WriteFrame(const std::string& path, io::ImageFormat format, const std::vector<Pixel64>& frame,
                int width, int height, const io::WriteOptions& options) {
  io::OutputFile out(path);
  auto writer = io::MakeRowWriter(format, out.Stream(), path, width, height, options);
  for (int y = 0; y < height; ++y) writer->WriteRow(&frame[static_cast<std::size_t>(y) * width]);
  writer->Finish();
  writer.reset();
  out.Commit();
}

struct PngCase {
  const char* name;
  int width, height, bits, compression, threads;
  bool zlibBands = false;  // the writer's fallback: every band through zlib's sync flush
};

class PngWriterCase : public testing::TestWithParam<PngCase> {};

TEST_P(PngWriterCase, DecodesToTheFrame) {
  const PngCase& c = GetParam();
  ScratchDir dir;
  const std::vector<Pixel64> frame = TestFrame(c.width, c.height);
  io::WriteOptions options;
  options.pngBits = c.bits;
  options.compression = c.compression;
  options.threads = c.threads;
  options.zlibBands = c.zlibBands;
  WriteFrame(dir / "f.png", io::ImageFormat::kPng, frame, c.width, c.height, options);
  bool ok = false;
  const clitest::Image image = clitest::DecodePng(dir / "f.png", &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(image.width, c.width);
  ASSERT_EQ(image.height, c.height);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const Pixel64 want = frame[i], got = image.pixels[i];
    if (c.bits == 16) {
      ASSERT_EQ(got.r, want.r) << i;
      ASSERT_EQ(got.g, want.g) << i;
      ASSERT_EQ(got.b, want.b) << i;
    } else {
      ASSERT_EQ(got.r >> 8, want.r >> 8) << i;
      ASSERT_EQ(got.g >> 8, want.g >> 8) << i;
      ASSERT_EQ(got.b >> 8, want.b >> 8) << i;
    }
    ASSERT_EQ(got.a, 65535) << "RGB output: alpha is full";
  }
}

// Frames of more than 1 MiB of samples span several bands; the zlib rows force the writer's
// fallback for every band.
INSTANTIATE_TEST_SUITE_P(
    Sizes, PngWriterCase,
    testing::Values(PngCase{"one_pixel", 1, 1, 8, 1, 1}, PngCase{"odd_small", 13, 7, 8, 1, 2},
                    PngCase{"bands_8bit_threads", 701, 613, 8, 1, 3},
                    PngCase{"bands_16bit", 701, 613, 16, 1, 2},
                    PngCase{"stored", 301, 211, 8, 0, 2}, PngCase{"smallest", 301, 211, 16, 9, 1},
                    PngCase{"one_column", 1, 2000, 8, 1, 2},
                    PngCase{"zlib_bands_threads", 701, 613, 8, 1, 3, true},
                    PngCase{"zlib_bands_16bit_stored", 701, 613, 16, 0, 2, true},
                    PngCase{"zlib_bands_one_band", 13, 7, 8, 6, 1, true}),
    [](const testing::TestParamInfo<PngCase>& p) { return p.param.name; });

TEST(PngWriter, SameBytesOnAnyThreadCount) {
  ScratchDir dir;
  const int width = 900, height = 700;  // several bands
  const std::vector<Pixel64> frame = TestFrame(width, height);
  std::vector<uint8_t> first;
  for (int threads : {1, 2, 4}) {
    io::WriteOptions options;
    options.threads = threads;
    WriteFrame(dir / "t.png", io::ImageFormat::kPng, frame, width, height, options);
    const std::vector<uint8_t> bytes = clitest::ReadBytes(dir / "t.png");
    if (first.empty()) first = bytes;
    EXPECT_TRUE(bytes == first) << threads << " threads";
  }
}

TEST(PngWriter, FinishBeforeTheLastRowIsAnError) {
  ScratchDir dir;
  io::OutputFile out(dir / "short.png");
  auto writer = io::MakeRowWriter(io::ImageFormat::kPng, out.Stream(), out.Path(), 4, 3, {});
  const std::vector<Pixel64> row(4, Pixel64{1, 2, 3, 4});
  writer->WriteRow(row.data());
  EXPECT_THROW(writer->Finish(), io::IoError);
}

// The last band's compression out of memory (the rows fed, its buffers not yet had): an error
// from Finish, never the band's empty buffer written as data.
struct CompressionFailureCase {
  const char* name;
  int threads;
  bool zlibBands;
};

class PngCompressionFailure : public testing::TestWithParam<CompressionFailureCase> {};

TEST_P(PngCompressionFailure, FinishReportsIt) {
  const CompressionFailureCase& c = GetParam();
  ScratchDir dir;
  io::OutputFile out(dir / "f.png");
  io::WriteOptions options;
  options.threads = c.threads;
  options.zlibBands = c.zlibBands;
  const int width = 40, height = 30;  // one band
  const std::vector<Pixel64> frame = TestFrame(width, height);
  auto writer = io::MakeRowWriter(io::ImageFormat::kPng, out.Stream(), out.Path(), width, height, options);
  for (int y = 0; y < height; ++y) writer->WriteRow(&frame[static_cast<std::size_t>(y) * width]);
  failNextAllocation = true;
  try {
    writer->Finish();
    ADD_FAILURE() << "Finish succeeded without memory for the band";
  } catch (const io::IoError& e) {
    EXPECT_NE(std::string(e.what()).find("out of memory while compressing"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(failNextAllocation) << "nothing asked for memory";
}

INSTANTIATE_TEST_SUITE_P(Table, PngCompressionFailure,
                         testing::Values(CompressionFailureCase{"alone", 1, false},
                                         CompressionFailureCase{"with_helpers", 3, false},
                                         CompressionFailureCase{"zlib_band", 1, true}),
                         [](const testing::TestParamInfo<CompressionFailureCase>& p) { return p.param.name; });

TEST(PamWriter, ExactHeaderAndBigEndianSamples) {
  ScratchDir dir;
  const std::vector<Pixel64> frame = {{0x0102, 0x0304, 0x0506, 0x0708}, {0xFFFF, 0, 0x8000, 0x00FF}};
  WriteFrame(dir / "f.pam", io::ImageFormat::kPam, frame, 2, 1, {});
  const std::string header = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::vector<uint8_t> expected(header.begin(), header.end());
  for (uint8_t b : {1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0xFF, 0, 0, 0x80, 0, 0, 0xFF}) expected.push_back(b);
  EXPECT_TRUE(clitest::ReadBytes(dir / "f.pam") == expected);
}

TEST(ExrWriter, HalfRgbaOfEachChannelOver65535) {
  ScratchDir dir;
  const int width = 37, height = 23;  // more rows than one ZIP block
  const std::vector<Pixel64> frame = TestFrame(width, height);
  WriteFrame(dir / "f.exr", io::ImageFormat::kExr, frame, width, height, {});
  Imf::RgbaInputFile file((dir / "f.exr").c_str());
  ASSERT_EQ(file.dataWindow().max.x, width - 1);
  ASSERT_EQ(file.dataWindow().max.y, height - 1);
  Imf::Array2D<Imf::Rgba> pixels(height, width);
  file.setFrameBuffer(&pixels[0][0], 1, width);
  file.readPixels(0, height - 1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Pixel64 want = frame[static_cast<std::size_t>(y) * width + x];
      const Imf::Rgba got = pixels[y][x];
      EXPECT_EQ(static_cast<float>(got.r), static_cast<float>(half(want.r / 65535.0f))) << x << "," << y;
      EXPECT_EQ(static_cast<float>(got.b), static_cast<float>(half(want.b / 65535.0f))) << x << "," << y;
      EXPECT_EQ(static_cast<float>(got.a), static_cast<float>(half(want.a / 65535.0f))) << x << "," << y;
    }
  }
}

TEST(ImageReader, PamAndPngPatternsWidenEightBitSamplesBy256) {
  ScratchDir dir;
  clitest::Image pattern;
  pattern.width = 2, pattern.height = 1;
  pattern.pixels = {{0xFF00, 0, 0x1000, 0}, {0x0100, 0x0200, 0x0300, 0}};
  clitest::WriteBytes(dir / "p.pam", clitest::RgbPamBytes(pattern));
  const io::Image64 pam = io::ReadImage(dir / "p.pam");
  ASSERT_EQ(pam.width, 2);
  EXPECT_EQ(pam.pixels[0].r, 65280);
  EXPECT_EQ(pam.pixels[0].b, 4096);
  EXPECT_EQ(pam.pixels[1].g, 512);
  EXPECT_EQ(pam.pixels[1].a, 65535);

  const std::vector<Pixel64> frame = {{0xAB00, 0x1200, 0xFF00, 65535}, {0x0100, 0, 0x7F00, 65535}};
  WriteFrame(dir / "p.png", io::ImageFormat::kPng, frame, 2, 1, {});
  const io::Image64 png = io::ReadImage(dir / "p.png");
  ASSERT_EQ(png.width, 2);
  EXPECT_EQ(png.pixels[0].r, 0xAB00);
  EXPECT_EQ(png.pixels[0].g, 0x1200);
  EXPECT_EQ(png.pixels[1].b, 0x7F00);
}

TEST(OutputFile, AppearsOnlyOnCommitAndLeavesNothingOtherwise) {
  ScratchDir dir;
  {
    io::OutputFile out(dir / "a.png");
    std::fputs("partial", out.Stream());
    EXPECT_FALSE(std::filesystem::exists(dir / "a.png"));
    EXPECT_EQ(dir.Names().size(), 1u);  // the temporary, in the same folder
  }
  EXPECT_TRUE(dir.Names().empty());
  {
    io::OutputFile out(dir / "b.png");
    std::fputs("whole", out.Stream());
    out.Commit();
  }
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"b.png"});
  // A folder in the way is refused before anything is written; one that takes the name while
  // the temporary is written is not renamed over, and the temporary goes.
  std::filesystem::create_directory(dir / "c.png");
  EXPECT_THROW(io::OutputFile(dir / "c.png"), io::IoError);
  {
    io::OutputFile out(dir / "d.png");
    std::filesystem::create_directory(dir / "d.png");
    EXPECT_THROW(out.Commit(), io::IoError);
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"b.png", "c.png", "d.png"}));
  EXPECT_THROW(io::OutputFile(dir / "no/such/folder/x.png"), io::IoError);
}

}  // namespace
