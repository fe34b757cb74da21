// Fuzz target: the reader of PFM depth files, as `zavol render` calls it.
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_input.h"
#include "io/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return zavol::fuzz::FuzzDepthReader(data, size, zavol::io::ReadPfmDepth);
}
