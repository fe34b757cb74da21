// Fuzz target: the netpbm module on bytes, the input read as PFM and as PAM. An image either
// format accepts must have the sides and sample count its header declares, and must read back
// bit for bit after being written (PFM in both byte orders); anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/netpbm.h"

namespace {

namespace netpbm = zavol::netpbm;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

void CheckError(const std::string& error) {
  if (error.empty()) Finding("a failure without a reason");
  for (unsigned char c : error) {
    if (c < 0x20 || c == 0x7f) Finding("a reason with a line break or control character");
  }
}

bool SidesInRange(int width, int height) {
  return width >= 1 && height >= 1 && width <= netpbm::kMaxSide && height <= netpbm::kMaxSide;
}

void FuzzPfm(const uint8_t* data, std::size_t size) {
  netpbm::PfmImage image;
  std::string error;
  if (!netpbm::DecodePfm(data, size, &image, &error)) return CheckError(error);
  if (!SidesInRange(image.width, image.height)) Finding("a PFM with sides out of range");
  if (image.values.size() != static_cast<std::size_t>(image.width) * image.height * image.channels) {
    Finding("a PFM whose values do not match its sides");
  }
  for (bool littleEndian : {false, true}) {
    const std::vector<uint8_t> bytes = netpbm::EncodePfm(image, littleEndian);
    netpbm::PfmImage back;
    if (!netpbm::DecodePfm(bytes.data(), bytes.size(), &back, &error)) {
      Finding("a written PFM that does not read");
    }
    if (back.width != image.width || back.height != image.height ||
        back.channels != image.channels || back.values.size() != image.values.size() ||
        std::memcmp(back.values.data(), image.values.data(), image.values.size() * 4) != 0) {
      Finding("a PFM that reads back different");
    }
  }
}

void FuzzPam(const uint8_t* data, std::size_t size) {
  netpbm::PamImage image;
  std::string error;
  if (!netpbm::DecodePam(data, size, &image, &error)) return CheckError(error);
  if (!SidesInRange(image.width, image.height)) Finding("a PAM with sides out of range");
  if (image.samples.size() != static_cast<std::size_t>(image.width) * image.height * image.depth) {
    Finding("a PAM whose samples do not match its sides");
  }
  const std::vector<uint8_t> bytes = netpbm::EncodePam(image);
  netpbm::PamImage back;
  if (!netpbm::DecodePam(bytes.data(), bytes.size(), &back, &error)) {
    Finding("a written PAM that does not read");
  }
  if (back.width != image.width || back.height != image.height || back.depth != image.depth ||
      back.maxval != image.maxval || back.tupleType != image.tupleType ||
      back.samples != image.samples) {
    Finding("a PAM that reads back different");
  }
  std::vector<uint16_t> rgba;
  if (!netpbm::PamToRgba16(image, &rgba, &error)) return CheckError(error);
  if (rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
    Finding("colours that do not match the PAM's sides");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzPfm(data, size);
  FuzzPam(data, size);
  return 0;
}
