// PNG codecs on one thread, for choosing them: a 3840x2160 16-bit height map of the built-in
// scene read by libpng row by row, by libspng whole and by the whole-file libdeflate reader; and
// a 3840x2160 8-bit stereogram of it deflated in the writer's 1 MiB bands by zlib level 1 (sync
// flush) and by libdeflate at levels 1, 3, 6 and 9 (joined as the writer joins them), with the
// bytes each gives. Native only; timings are never tests.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <spng.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/deflate_join.h"
#include "io/formats.h"
#include "io/png_decode.h"
#include "render/image_render.h"
#include "render/scene.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;
constexpr std::size_t kBandBytes = std::size_t{1} << 20;  // as the writer's bands

// The height map as `zavol scene` writes it, in a file of its own for the readers.
const std::string& HeightMapPath() {
  static const std::string path = [] {
    const std::string name = "/tmp/zavol_png_codec_bench_height.png";
    const std::vector<float> depth = zavol::MakeDemoScene(kWidth, kHeight);
    float nearest = -1e30f, farthest = 1e30f;
    for (float z : depth) {
      if (z > -1e20f) nearest = std::max(nearest, z), farthest = std::min(farthest, z);
    }
    zavol::io::OutputFile out(name);
    zavol::io::WriteOptions options;
    options.pngBits = 16;
    options.grey = true;
    auto writer = zavol::io::MakeRowWriter(zavol::io::ImageFormat::kPng, out.Stream(), name,
                                           kWidth, kHeight, options);
    std::vector<zavol::Pixel64> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const float z = depth[static_cast<std::size_t>(y) * kWidth + x];
        const uint16_t code = z <= -1e20f ? 0
            : static_cast<uint16_t>(1.0f + (z - farthest) / (nearest - farthest) * 65534.0f + 0.5f);
        row[x] = zavol::Pixel64{code, code, code, 65535};
      }
      writer->WriteRow(row.data());
    }
    writer->Finish();
    out.Commit();
    return name;
  }();
  return path;
}

void ReadWithLibpng(benchmark::State& state) {
  zavol::io::DepthMap map;
  for (auto _ : state) {
    zavol::io::InputSource input(HeightMapPath());
    zavol::io::ReadPngDepthWithLibpng(input, {}, map);
  }
}

void ReadWhole(benchmark::State& state) {
  zavol::io::DepthMap map;
  for (auto _ : state) {
    zavol::io::InputSource input(HeightMapPath());
    if (!zavol::io::ReadPngDepthWhole(input, {}, map)) state.SkipWithError("not read whole");
  }
}

// libspng decodes the whole image (its inflating is zlib's); the codes then become depths as
// the readers convert them.
void ReadWithLibspng(benchmark::State& state) {
  std::vector<float> depth(static_cast<std::size_t>(kWidth) * kHeight);
  std::vector<uint8_t> pixels;
  for (auto _ : state) {
    FILE* file = std::fopen(HeightMapPath().c_str(), "rb");
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_IGNORE_ADLER32);
    spng_set_png_file(ctx, file);
    std::size_t size = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
    pixels.resize(size);
    if (spng_decode_image(ctx, pixels.data(), size, SPNG_FMT_PNG, 0) != 0) {
      state.SkipWithError("libspng could not decode");
    }
    for (std::size_t i = 0; i < depth.size(); ++i) {
      const unsigned code = pixels[2 * i] << 8 | pixels[2 * i + 1];
      depth[i] = code == 0 ? -1e30f : code / 65535.0f - 1.0f;
    }
    spng_ctx_free(ctx);
    std::fclose(file);
    benchmark::DoNotOptimize(depth.data());
  }
}

// The stereogram's PNG rows (filter byte, then 8-bit RGB), as the writer fills its bands.
const std::vector<uint8_t>& StereogramRows() {
  static const std::vector<uint8_t> raw = [] {
    const std::vector<float> depth = zavol::MakeDemoScene(kWidth, kHeight);
    std::vector<uint16_t> words(4 * depth.size());
    zavol::ImageRenderOptions options;
    options.seed = 1;
    zavol::RenderImage(DefaultSettings(), zavol::DepthView{depth.data(), kWidth, kHeight, kWidth},
                       options, zavol::PixelView{words.data(), kWidth, kHeight, 4 * kWidth});
    std::vector<uint8_t> rows;
    for (int y = 0; y < kHeight; ++y) {
      rows.push_back(0);
      for (int x = 0; x < kWidth; ++x) {
        for (int c = 0; c < 3; ++c) rows.push_back(words[(static_cast<std::size_t>(y) * kWidth + x) * 4 + c] >> 8);
      }
    }
    return rows;
  }();
  return raw;
}

void DeflateWithZlib(benchmark::State& state) {
  const std::vector<uint8_t>& raw = StereogramRows();
  std::vector<uint8_t> out(kBandBytes * 2);
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (std::size_t at = 0; at < raw.size(); at += kBandBytes) {
      const std::size_t length = std::min(kBandBytes, raw.size() - at);
      deflateReset(&z);
      z.next_in = const_cast<uint8_t*>(raw.data() + at);
      z.avail_in = static_cast<uInt>(length);
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, at + length == raw.size() ? Z_FINISH : Z_SYNC_FLUSH);
      bytes += out.size() - z.avail_out;
      benchmark::DoNotOptimize(adler32(1, raw.data() + at, static_cast<uInt>(length)));
    }
  }
  deflateEnd(&z);
  state.counters["bytes"] = static_cast<double>(bytes);
}

void DeflateWithLibdeflate(benchmark::State& state, int level) {
  const std::vector<uint8_t>& raw = StereogramRows();
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  std::vector<uint8_t> out;
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (std::size_t at = 0; at < raw.size(); at += kBandBytes) {
      const std::size_t length = std::min(kBandBytes, raw.size() - at);
      out.resize(libdeflate_deflate_compress_bound(compressor, length));
      std::size_t packed =
          libdeflate_deflate_compress(compressor, raw.data() + at, length, out.data(), out.size());
      if (at + length < raw.size() && !zavol::io::MakeStreamContinue(out, packed, &packed)) {
        state.SkipWithError("could not join");
      }
      bytes += packed;
      benchmark::DoNotOptimize(libdeflate_adler32(1, raw.data() + at, length));
    }
  }
  libdeflate_free_compressor(compressor);
  state.counters["bytes"] = static_cast<double>(bytes);
}

}  // namespace

int main(int argc, char** argv) {
  auto repeat = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
  };
  repeat(benchmark::RegisterBenchmark("png_read/libpng_rows", ReadWithLibpng));
  repeat(benchmark::RegisterBenchmark("png_read/libspng_whole", ReadWithLibspng));
  repeat(benchmark::RegisterBenchmark("png_read/libdeflate_whole", ReadWhole));
  repeat(benchmark::RegisterBenchmark("png_write/zlib_level1_bands", DeflateWithZlib));
  for (int level : {1, 3, 6, 9}) {
    repeat(benchmark::RegisterBenchmark(
        ("png_write/libdeflate_level" + std::to_string(level) + "_bands").c_str(),
        DeflateWithLibdeflate, level));
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
