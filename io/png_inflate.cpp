// PNG height maps read whole: the file in memory, its chunks and their checksums checked, the
// image data inflated in one call (libdeflate), unfiltered, and converted on several threads.
// Only the plain cases are taken (8- or 16-bit grey, grey+alpha, RGB or RGBA, not interlaced,
// no palette or transparency chunk, no critical chunk it does not know); anything else, and any
// fault at all, is left to the libpng reader, which reports it as it always has.
#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <atomic>
#include <vector>

#include "io/depth_map.h"
#include "io/files.h"
#include "io/png_decode.h"
#include "render/thread_team.h"

namespace zavol::io {
namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

struct Header {
  uint32_t width = 0, height = 0;
  int channels = 0, bytesPerSample = 0;
  std::size_t rowBytes = 0;  // without the filter byte
};

// The chunks of a whole file: the header, and the image data's pieces in order. False for
// anything the libpng reader should see.
bool ReadChunks(const uint8_t* file, std::size_t size, Header* header,
                std::vector<std::pair<const uint8_t*, std::size_t>>* data) {
  static const uint8_t kSignature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  if (size < 8 || std::memcmp(file, kSignature, 8) != 0) return false;
  std::size_t at = 8;
  bool sawHeader = false, dataEnded = false;
  for (;;) {
    if (size - at < 12) return false;  // no IEND
    const uint32_t length = BigEndian32(file + at);
    if (length > 0x7FFFFFFFu || size - at - 12 < length) return false;
    const uint8_t* type = file + at + 4;
    const uint8_t* body = type + 4;
    const bool critical = (type[0] & 0x20) == 0;
    if (critical && libdeflate_crc32(0, type, length + 4) != BigEndian32(body + length)) {
      return false;
    }
    const bool isHeader = std::memcmp(type, "IHDR", 4) == 0;
    if (sawHeader == isHeader) return false;  // IHDR first, and only once
    if (isHeader) {
      if (length != 13) return false;
      header->width = BigEndian32(body);
      header->height = BigEndian32(body + 4);
      const int bitDepth = body[8], colourType = body[9];
      // Compression and filter method 0, not interlaced.
      if (body[10] != 0 || body[11] != 0 || body[12] != 0) return false;
      if (bitDepth != 8 && bitDepth != 16) return false;
      switch (colourType) {
        case 0: header->channels = 1; break;
        case 2: header->channels = 3; break;
        case 4: header->channels = 2; break;
        case 6: header->channels = 4; break;
        default: return false;
      }
      if (header->width == 0 || header->height == 0 || header->width > 0x7FFFFFFFu ||
          header->height > 0x7FFFFFFFu) {
        return false;
      }
      header->bytesPerSample = bitDepth / 8;
      header->rowBytes = static_cast<std::size_t>(header->width) * header->channels *
                         header->bytesPerSample;
      sawHeader = true;
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      if (dataEnded) return false;  // image data split by other chunks
      data->emplace_back(body, length);
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      return !data->empty();
    } else {
      if (!data->empty()) dataEnded = true;
      // A critical chunk (PLTE included) or transparency: the libpng reader's business.
      if (critical || std::memcmp(type, "tRNS", 4) == 0) return false;
    }
    at += 12 + static_cast<std::size_t>(length);
  }
}

uint8_t Paeth(uint8_t left, uint8_t up, uint8_t upLeft) {
  const int p = left + up - upLeft;
  const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
  if (pa <= pb && pa <= pc) return left;
  return pb <= pc ? up : upLeft;
}

// Undoes each row's filter in place (the filter byte before each row). False for a filter type
// PNG does not define.
bool Unfilter(uint8_t* raw, const Header& h) {
  const std::size_t bpp = static_cast<std::size_t>(h.channels) * h.bytesPerSample;
  const std::size_t stride = h.rowBytes + 1;
  std::vector<uint8_t> zeros(h.rowBytes, 0);
  for (uint32_t y = 0; y < h.height; ++y) {
    uint8_t* row = raw + y * stride + 1;
    const uint8_t* up = y > 0 ? row - stride : zeros.data();
    switch (row[-1]) {
      case 0: break;
      case 1:
        for (std::size_t i = bpp; i < h.rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        break;
      case 2:
        for (std::size_t i = 0; i < h.rowBytes; ++i) row[i] = static_cast<uint8_t>(row[i] + up[i]);
        break;
      case 3:
        for (std::size_t i = 0; i < h.rowBytes; ++i) {
          const int left = i >= bpp ? row[i - bpp] : 0;
          row[i] = static_cast<uint8_t>(row[i] + ((left + up[i]) >> 1));
        }
        break;
      case 4:
        for (std::size_t i = 0; i < h.rowBytes; ++i) {
          const uint8_t left = i >= bpp ? row[i - bpp] : 0, upLeft = i >= bpp ? up[i - bpp] : 0;
          row[i] = static_cast<uint8_t>(row[i] + Paeth(left, up[i], upLeft));
        }
        break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

bool ReadPngDepthWhole(InputSource& input, const DepthReadOptions& options, DepthMap& map) {
  // The file's bytes: in memory already (a pipe), or read whole now.
  std::vector<uint8_t> read;
  const uint8_t* file = input.Memory().data();
  std::size_t size = input.Memory().size();
  if (input.Memory().empty()) {
    if (!FitsInMemory(input.Size())) return false;
    try {
      read.resize(static_cast<std::size_t>(input.Size()));
    } catch (const std::bad_alloc&) {
      return false;
    }
    input.Rewind();
    size = std::fread(read.data(), 1, read.size(), input.Stream());
    input.Rewind();
    file = read.data();
  }
  Header h;
  std::vector<std::pair<const uint8_t*, std::size_t>> pieces;
  if (!ReadChunks(file, size, &h, &pieces)) return false;
  // The sides are the libpng reader's to refuse, with its messages.
  if (h.width > static_cast<uint32_t>(kMaxSide) || h.height > static_cast<uint32_t>(kMaxSide)) {
    return false;
  }
  const uint64_t rawBytes = static_cast<uint64_t>(h.rowBytes + 1) * h.height;
  const uint64_t pixels = static_cast<uint64_t>(h.width) * h.height;
  if (!FitsInMemory(rawBytes + size + pixels * 16)) return false;

  // One zlib stream over the chunks' pieces, inflated at once into exactly the image's size:
  // fewer rows, more data, a bad checksum or damage all go to the libpng reader.
  LargeVector<uint8_t> raw, joined;
  try {
    raw.resize(static_cast<std::size_t>(rawBytes));
    if (pieces.size() > 1) {
      std::size_t total = 0;
      for (const auto& piece : pieces) total += piece.second;
      joined.resize(total);
      std::size_t at = 0;
      for (const auto& piece : pieces) {
        std::memcpy(joined.data() + at, piece.first, piece.second);
        at += piece.second;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint8_t* stream = pieces.size() > 1 ? joined.data() : pieces[0].first;
  const std::size_t streamBytes = pieces.size() > 1 ? joined.size() : pieces[0].second;
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
      libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  if (!inflater) return false;
  if (libdeflate_zlib_decompress(inflater.get(), stream, streamBytes, raw.data(), raw.size(),
                                 nullptr) != LIBDEFLATE_SUCCESS) {
    return false;
  }
  if (!Unfilter(raw.data(), h)) return false;

  SizeDepthMap(input.Name(), h.width, h.height, map);
  const DepthKind kind = options.kind.value_or(DepthKind::kHeight);
  map.format = DepthFormat::kPng;
  map.kind = kind;
  // Every code's depth once, as the libpng reader computes it for each pixel.
  const bool sixteen = h.bytesPerSample == 2;
  const float scale = sixteen ? 1.0f / 65535.0f : 1.0f / 255.0f;
  std::vector<float> depthOfCode(sixteen ? 65536 : 256);
  for (std::size_t code = 0; code < depthOfCode.size(); ++code) {
    depthOfCode[code] = ToEngineDepth(kind, static_cast<float>(code) * scale, options.farCutoff);
  }
  const bool hasAlpha = h.channels == 2 || h.channels == 4;
  const std::size_t pixelBytes = static_cast<std::size_t>(h.channels) * h.bytesPerSample;
  const std::size_t alphaOffset = pixelBytes - h.bytesPerSample;
  auto convertRows = [&](uint32_t first, uint32_t end) {
    for (uint32_t y = first; y < end; ++y) {
      const uint8_t* row = raw.data() + y * (h.rowBytes + 1) + 1;
      float* out = map.depth.data() + static_cast<std::size_t>(y) * h.width;
      for (uint32_t x = 0; x < h.width; ++x) {
        const uint8_t* p = row + x * pixelBytes;
        const unsigned code = sixteen ? (p[0] << 8 | p[1]) : p[0];
        const bool transparent =
            hasAlpha && p[alphaOffset] == 0 && (!sixteen || p[alphaOffset + 1] == 0);
        out[x] = transparent ? kBackgroundDepth : depthOfCode[code];
      }
    }
  };
  // The conversion in bands of rows on the decoding threads the caller allows.
  const int threads = static_cast<int>(std::clamp<uint32_t>(
      static_cast<uint32_t>(std::max(options.threads, 1)), 1, std::max<uint32_t>(1, h.height / 64)));
  std::atomic<int> nextBand{0};
  RunTeam(threads, [&](int) {
    for (int band; (band = nextBand.fetch_add(1)) < threads;) {
      convertRows(static_cast<uint32_t>(uint64_t{h.height} * band / threads),
                  static_cast<uint32_t>(uint64_t{h.height} * (band + 1) / threads));
    }
  });
  return true;
}

}  // namespace zavol::io
