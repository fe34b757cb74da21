// Fuzz target: the PNG writer's deflate joining. The first byte picks the case: even, the rest is
// split in two, each half deflated by libdeflate at a level of its own and joined as the writer
// joins bands, and zlib must inflate the join to the rest exactly; odd, the rest is taken as a
// raw deflate stream of any shape, which the walker must read without reading out of bounds, and
// whenever both it and zlib take it, the continued stream must inflate to the same bytes.
#include <libdeflate.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/deflate_join.h"

namespace {

// Inflates a whole raw deflate stream with zlib; false unless it ends exactly at its last byte.
bool Inflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>* out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  out->clear();
  int result = Z_OK;
  uint8_t chunk[4096];
  while (result == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    result = inflate(&z, Z_NO_FLUSH);
    out->insert(out->end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (result == Z_BUF_ERROR || out->size() > (std::size_t{1} << 24)) break;
  }
  const bool whole = result == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return whole;
}

// The stream made to continue, then a final empty block (fixed codes: the end code alone).
std::vector<uint8_t> Continued(std::vector<uint8_t> stream) {
  std::size_t size = 0;
  if (!zavol::io::MakeStreamContinue(stream, stream.size(), &size)) std::abort();
  stream.resize(size);
  stream.push_back(0x03);
  stream.push_back(0x00);
  return stream;
}

std::vector<uint8_t> Deflate(const uint8_t* data, std::size_t size, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  if (compressor == nullptr) std::abort();
  std::vector<uint8_t> stream(libdeflate_deflate_compress_bound(compressor, size));
  stream.resize(libdeflate_deflate_compress(compressor, data, size, stream.data(), stream.size()));
  libdeflate_free_compressor(compressor);
  if (stream.empty()) std::abort();
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data, --size;
  std::vector<uint8_t> inflated;
  if ((mode & 1) == 0) {
    const std::size_t half = size / 2;
    std::vector<uint8_t> joined = Continued(Deflate(data, half, 1 + (mode >> 1) % 12));
    const std::vector<uint8_t> second = Deflate(data + half, size - half, 1 + (mode >> 5) % 12);
    joined.resize(joined.size() - 2);  // the second stream ends the join instead
    joined.insert(joined.end(), second.begin(), second.end());
    if (!Inflate(joined, &inflated) || inflated.size() != size ||
        (size != 0 && std::memcmp(inflated.data(), data, size) != 0)) {
      std::abort();
    }
    return 0;
  }
  const std::vector<uint8_t> stream(data, data + size);
  uint64_t lastBlockBit = 0, endBit = 0;
  if (!zavol::io::WalkDeflateStream(stream.data(), stream.size(), &lastBlockBit, &endBit)) return 0;
  if (lastBlockBit >= endBit || endBit > uint64_t{size} * 8) std::abort();
  if (!Inflate(stream, &inflated)) return 0;  // e.g. a distance before the start: zlib refuses
  std::vector<uint8_t> again;
  if (!Inflate(Continued(stream), &again) || again != inflated) std::abort();
  return 0;
}
