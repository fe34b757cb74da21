// Fuzz target: the pattern image reader (PNG of any type, PAM), as `zavol render --pattern`
// calls it.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_input.h"
#include "io/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace zavol;
  const std::string& path = fuzz::Input().Write(data, size);
  io::Image64 image;
  try {
    image = io::ReadImage(path);
  } catch (const io::IoError& error) {
    fuzz::CheckError(error, path);
    return 0;
  }
  if (image.width < 1 || image.height < 1 || image.width > io::kMaxSide || image.height > io::kMaxSide) {
    fuzz::Finding("a pattern with sides out of range");
  }
  if (image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
    fuzz::Finding("a pattern whose size does not match its sides");
  }
  return 0;
}
