// Fuzz target: the depth-video reader as `zavol render` calls it: the file is recognised, opened
// and read frame by frame (a few frames at most, each checked as every reader's maps are).
#include <cstddef>
#include <cstdint>

#include "fuzz/reader_input.h"
#include "io/video_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  namespace io = zavol::io;
  const std::string& path = zavol::fuzz::Input().Write(data, size);
  io::IsVideoInput(path);  // either answer is fine; it only must not fail
  io::DepthMap map;
  try {
    io::VideoReader reader(path, 1);
    for (int frame = 0; frame < 4 && reader.Read(zavol::fuzz::OptionsFor(size), map); ++frame) {
      zavol::fuzz::CheckDepthMap(map);
    }
  } catch (const io::IoError& error) {
    zavol::fuzz::CheckError(error, path);
  }
  return 0;
}
