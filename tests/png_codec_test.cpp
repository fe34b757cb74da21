// The PNG codecs against libpng: every plain height map libpng writes (each filter, colour type,
// depth, split image data) reads whole exactly as libpng reads it row by row, and the rest is
// left to libpng; every frame the writer deflates decodes to its pixels through libpng.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/deflate_join.h"
#include "io/formats.h"
#include "io/png_decode.h"
#include "tests/cli_support.h"

namespace {

struct PngCase {
  const char* name;
  int colourType, bitDepth, filters, interlace;
  bool transparency;  // a tRNS chunk
  bool whole;         // read by the whole-file reader (else left to libpng)
};

// A w x h image with noise over a slope (so every filter has work) and some pixels of alpha 0.
void WritePng(const std::string& path, const PngCase& c, int w, int h) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, w, h, c.bitDepth, c.colourType, c.interlace, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, 0, c.filters);
  png_color palette[4] = {{0, 0, 0}, {90, 1, 2}, {200, 3, 4}, {255, 5, 6}};
  if (c.colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 4);
  png_color_16 grey{};
  grey.gray = 7;
  if (c.transparency) png_set_tRNS(png, info, nullptr, 0, &grey);
  png_write_info(png, info);
  const int channels = c.colourType == 0 || c.colourType == 3 ? 1 : c.colourType == 2 ? 3
                       : c.colourType == 4 ? 2 : 4;
  const int bytes = c.bitDepth == 16 ? 2 : 1;
  std::vector<png_byte> row(static_cast<std::size_t>(w) * channels * bytes);
  uint32_t state = 7;
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const unsigned slope = static_cast<unsigned>(i * 3 + y * 5);
        row[i] = static_cast<png_byte>(c.colourType == 3 ? (state >> 24) % 4 : slope + (state >> 29));
        // Alpha 0 now and then, in both bytes of a 16-bit sample.
        const bool alpha = (c.colourType & PNG_COLOR_MASK_ALPHA) != 0 &&
                           i % (static_cast<std::size_t>(channels) * bytes) >= static_cast<std::size_t>(channels - 1) * bytes;
        if (alpha && (state >> 20) % 5 == 0) row[i] = 0;
      }
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

TEST(PngWholeReader, ReadsPlainFilesAsLibpngDoesAndLeavesTheRestToIt) {
  const int all = PNG_ALL_FILTERS;
  const PngCase cases[] = {
      {"grey8_no_filter", 0, 8, PNG_FILTER_NONE, 0, false, true},
      {"grey8_sub", 0, 8, PNG_FILTER_SUB, 0, false, true},
      {"grey8_up", 0, 8, PNG_FILTER_UP, 0, false, true},
      {"grey16_average", 0, 16, PNG_FILTER_AVG, 0, false, true},
      {"grey16_paeth", 0, 16, PNG_FILTER_PAETH, 0, false, true},
      {"grey16_every_filter", 0, 16, all, 0, false, true},
      {"rgb8_every_filter", 2, 8, all, 0, false, true},
      {"rgb16_paeth", 2, 16, PNG_FILTER_PAETH, 0, false, true},
      {"grey_alpha8", 4, 8, all, 0, false, true},
      {"grey_alpha16", 4, 16, all, 0, false, true},
      {"rgba8", 6, 8, all, 0, false, true},
      {"rgba16", 6, 16, all, 0, false, true},
      {"interlaced", 0, 16, all, 1, false, false},
      {"transparent_grey", 0, 8, all, 0, true, false},
      {"palette", 3, 8, all, 0, false, false},
      {"grey4", 0, 4, all, 0, false, false},
  };
  clitest::ScratchDir dir;
  for (const PngCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / (std::string(c.name) + ".png");
    // Large enough for several image-data chunks.
    WritePng(path, c, 97, 61);
    for (int threads : {0, 3}) {
      zavol::io::DepthReadOptions options;
      options.threads = threads;
      if (threads == 3) options.kind = zavol::DepthKind::kMist;
      zavol::io::InputSource whole(path), rows(path);
      zavol::io::DepthMap fromWhole, fromRows;
      ASSERT_EQ(zavol::io::ReadPngDepthWhole(whole, options, fromWhole), c.whole);
      zavol::io::ReadPngDepthWithLibpng(rows, options, fromRows);
      // What a user's read gives: the whole-file reader, or libpng where it declines.
      zavol::io::DepthMap fromFile;
      zavol::io::ReadDepthFile(path, options, fromFile);
      ASSERT_EQ(fromFile.depth.size(), fromRows.depth.size());
      EXPECT_EQ(std::memcmp(fromFile.depth.data(), fromRows.depth.data(),
                            fromRows.depth.size() * sizeof(float)),
                0);
      if (!c.whole) continue;
      ASSERT_EQ(fromWhole.width, fromRows.width);
      ASSERT_EQ(fromWhole.height, fromRows.height);
      EXPECT_EQ(std::memcmp(fromWhole.depth.data(), fromRows.depth.data(),
                            fromRows.depth.size() * sizeof(float)),
                0);
    }
  }
}

// Pieces deflated apart at every level kind (stored, fastest, middle, slowest), of data that
// compresses, does not, or barely exists, joined and inflated by zlib as one stream: the
// bytes come back whole, so every piece's end and last block were found to the bit.
TEST(DeflateJoin, PiecesDeflatedApartInflateAsOneStream) {
  struct Data {
    const char* name;
    std::vector<uint8_t> (*make)(std::size_t size, uint32_t seed);
  };
  const Data kinds[] = {
      {"noise", [](std::size_t n, uint32_t seed) {
         std::vector<uint8_t> v(n);
         for (uint8_t& b : v) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
         return v;
       }},
      {"repeats", [](std::size_t n, uint32_t seed) {  // a stereogram's row: a run repeated
         std::vector<uint8_t> v(n);
         const std::size_t period = 50 + seed % 700;
         for (std::size_t i = 0; i < n; ++i) {
           v[i] = i < period ? static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24)
                             : v[i - period];
         }
         return v;
       }},
      {"zeros", [](std::size_t n, uint32_t) { return std::vector<uint8_t>(n, 0); }},
  };
  const std::size_t sizes[] = {0, 1, 7, 300, 65535, 65536, 200000, 1 << 20};
  for (int level : {0, 1, 6, 12}) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    ASSERT_NE(compressor, nullptr);
    for (const Data& kind : kinds) {
      std::vector<uint8_t> whole, joined;
      uint32_t seed = 11;
      for (std::size_t size : sizes) {
        SCOPED_TRACE(std::string(kind.name) + " level " + std::to_string(level) + " size " +
                     std::to_string(size));
        const std::vector<uint8_t> piece = kind.make(size, seed++);
        std::vector<uint8_t> stream(libdeflate_deflate_compress_bound(compressor, size));
        std::size_t length =
            libdeflate_deflate_compress(compressor, piece.data(), size, stream.data(), stream.size());
        ASSERT_GT(length, 0u);
        const bool last = size == sizes[std::size(sizes) - 1];
        if (!last) {
          ASSERT_TRUE(zavol::io::MakeStreamContinue(stream, length, &length));
        }
        joined.insert(joined.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
        whole.insert(whole.end(), piece.begin(), piece.end());
      }
      z_stream z{};
      ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
      std::vector<uint8_t> inflated(whole.size() + 16);
      z.next_in = joined.data();
      z.avail_in = static_cast<uInt>(joined.size());
      z.next_out = inflated.data();
      z.avail_out = static_cast<uInt>(inflated.size());
      EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << kind.name << " level " << level;
      EXPECT_EQ(z.avail_in, 0u) << "bytes after the stream's end";
      inflateEnd(&z);
      inflated.resize(inflated.size() - z.avail_out);
      EXPECT_TRUE(inflated == whole) << kind.name << " level " << level;
    }
    libdeflate_free_compressor(compressor);
  }
}

// A stream that is not one (cut short, or not deflate at all) is refused, never walked past
// its end.
TEST(DeflateJoin, BrokenStreamsAreRefused) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
  std::vector<uint8_t> data(5000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * i % 251);
  std::vector<uint8_t> stream(libdeflate_deflate_compress_bound(compressor, data.size()));
  const std::size_t length =
      libdeflate_deflate_compress(compressor, data.data(), data.size(), stream.data(), stream.size());
  libdeflate_free_compressor(compressor);
  uint64_t lastBlock = 0, end = 0;
  ASSERT_TRUE(zavol::io::WalkDeflateStream(stream.data(), length, &lastBlock, &end));
  EXPECT_LE(end, uint64_t{length} * 8);
  EXPECT_GT(end, uint64_t{length - 1} * 8);
  for (std::size_t cut = 0; cut + 1 < length; cut += 7) {
    EXPECT_FALSE(zavol::io::WalkDeflateStream(stream.data(), cut, &lastBlock, &end)) << cut;
  }
  const std::vector<uint8_t> reserved = {0x07, 0x00};  // final block of the reserved type 3
  EXPECT_FALSE(zavol::io::WalkDeflateStream(reserved.data(), reserved.size(), &lastBlock, &end));
}

}  // namespace
