// Chooses the depth reader by the file's first bytes, so a misnamed file still reads.
#include <cstring>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"

namespace zavol::io {

void ReadDepthFile(const std::string& path, const DepthReadOptions& options, DepthMap& map) {
  unsigned char magic[8] = {};
  std::size_t got = 0;
  {
    FILE* file = OpenInput(path);
    FileCloser closer{file};
    got = std::fread(magic, 1, sizeof magic, file);
  }
  static const unsigned char kPng[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  static const unsigned char kExr[4] = {0x76, 0x2f, 0x31, 0x01};
  if (got == 0) throw IoError(path, "empty file");
  if (got >= 2 && magic[0] == 'P' && (magic[1] == 'f' || magic[1] == 'F')) {
    ReadPfmDepth(path, options, map);
  } else if (got == 8 && std::memcmp(magic, kPng, 8) == 0) {
    ReadPngDepth(path, options, map);
  } else if (got >= 4 && std::memcmp(magic, kExr, 4) == 0) {
    ReadExrDepth(path, options, map);
  } else {
    throw IoError(path, "not a depth image (PFM, PNG or OpenEXR)");
  }
}

}  // namespace zavol::io
