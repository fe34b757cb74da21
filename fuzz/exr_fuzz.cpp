// Fuzz target: the reader of OpenEXR depth files (scanline, tiled, multi-part, deep), as `zavol render` calls it.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_input.h"
#include "io/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return zavol::fuzz::FuzzDepthReader(data, size, zavol::io::ReadExrDepth);
}
