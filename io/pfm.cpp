// PFM depth files through the netpbm module: the header from the file's first bytes, then the
// samples row by row straight into the depth map, so a frame is never held twice.
#include <cerrno>
#include <cstring>
#include <vector>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"
#include "io/large_buffer.h"
#include "io/netpbm.h"

namespace zavol::io {

void ReadPfmDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map) {
  InputSource input(path);
  ReadPfmDepth(input, options, map);
}

void ReadPfmDepth(InputSource& input, const DepthReadOptions& options, DepthMap& map) {
  const std::string& path = input.Name();
  FILE* file = input.Stream();
  const uint64_t size = input.Size();
  const std::vector<uint8_t> head = ReadPrefix(file, netpbm::kMaxHeaderBytes, path);
  netpbm::PfmHeader header;
  std::string error;
  if (!netpbm::ParsePfmHeader(head.data(), head.size(), size, &header, &error)) {
    throw IoError(path, error);
  }
  SizeDepthMap(path, header.width, header.height, map);
  TouchLarge(map.depth.data(), map.depth.size() * sizeof(float), options.threads);
  if (std::fseek(file, static_cast<long>(header.dataOffset), SEEK_SET) != 0) {
    throw IoError(path, std::string("cannot read (") + std::strerror(errno) + ")");
  }
  const DepthKind kind = options.kind.value_or(DepthKind::kHost);
  map.format = DepthFormat::kPfm;
  map.kind = kind;
  std::vector<uint8_t> stored(header.RowBytes());
  for (int fileRow = 0; fileRow < header.height; ++fileRow) {
    if (std::fread(stored.data(), 1, stored.size(), file) != stored.size()) {
      throw IoError(path, "truncated (read failed in row " + std::to_string(fileRow) + ")");
    }
    float* row = map.depth.data() + static_cast<std::size_t>(header.height - 1 - fileRow) * header.width;
    // A colour file carries depth in its first channel.
    netpbm::DecodePfmRow(header, stored.data(), 0, row);
    for (int x = 0; x < header.width; ++x) row[x] = ToEngineDepth(kind, row[x], options.farCutoff);
  }
}

void WritePfm(FILE* out, const std::string& path, int width, int height, const float* values,
              bool littleEndian) {
  netpbm::PfmImage image;
  image.width = width;
  image.height = height;
  image.values.assign(values, values + static_cast<std::size_t>(width) * height);
  const std::vector<uint8_t> bytes = netpbm::EncodePfm(image, littleEndian);
  if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
    throw IoError(path, std::string("cannot write (") + std::strerror(errno) + ")");
  }
}

}  // namespace zavol::io
