// Chooses the depth reader by the file's first bytes, so a misnamed file still reads. The input
// is opened once: a pipe's first bytes cannot be read a second time.
#include <cstring>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"

namespace zavol::io {

void ReadDepthFile(const std::string& path, const DepthReadOptions& options, DepthMap& map) {
  InputSource input(path);
  unsigned char magic[8] = {};
  const std::size_t got = std::fread(magic, 1, sizeof magic, input.Stream());
  input.Rewind();
  static const unsigned char kPng[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  static const unsigned char kExr[4] = {0x76, 0x2f, 0x31, 0x01};
  if (got == 0) throw IoError(input.Name(), "empty file");
  if (got >= 2 && magic[0] == 'P' && (magic[1] == 'f' || magic[1] == 'F')) {
    ReadPfmDepth(input, options, map);
  } else if (got == 8 && std::memcmp(magic, kPng, 8) == 0) {
    ReadPngDepth(input, options, map);
  } else if (got >= 4 && std::memcmp(magic, kExr, 4) == 0) {
    ReadExrDepth(input, options, map);
  } else {
    throw IoError(input.Name(), "not a depth image (PFM, PNG or OpenEXR)");
  }
}

}  // namespace zavol::io
