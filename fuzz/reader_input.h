// What the reader fuzz targets share. The readers open files by name (OpenEXR insists on it),
// so every input is written to one anonymous in-memory file and read back through
// /proc/self/fd. A reader may succeed or throw IoError naming its file; anything else that
// escapes, or a map whose size does not match its sides, aborts the run as a finding.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/depth_map.h"
#include "io/error.h"

namespace zavol::fuzz {

[[noreturn]] inline void Finding(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

class InputFile {
 public:
  InputFile() : fd_(memfd_create("zavol-fuzz-input", 0)) {
    if (fd_ < 0) Finding("cannot create the in-memory input file");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
    // Hostile headers may claim frames of many gigabytes; the readers must turn those down
    // with a message, not take the fuzzer's memory. 256 MiB holds every frame the small
    // inputs can really describe.
    io::SetMemoryBudget(uint64_t{256} << 20);
  }

  // Replaces the file's contents with the input and returns its path.
  const std::string& Write(const uint8_t* data, std::size_t size) {
    if (ftruncate(fd_, 0) != 0) Finding("cannot empty the input file");
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) Finding("cannot write the input file");
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

// The one input file of the process.
inline InputFile& Input() {
  static InputFile file;
  return file;
}

// An error must be the one-line "file: reason" the tool prints.
inline void CheckError(const io::IoError& error, const std::string& path) {
  const std::string what = error.what();
  const char* fault = nullptr;
  if (what.compare(0, path.size() + 2, path + ": ") != 0 || error.Reason().empty()) {
    fault = "an error that does not name the file and a reason";
  }
  for (unsigned char c : what) {
    if (c < 0x20 || c == 0x7f) fault = "an error with a line break or control character";
  }
  if (fault != nullptr) {
    std::fprintf(stderr, "%s\n", what.c_str());
    Finding(fault);
  }
}

// The map a reader filled: sides within the host's limit, one sample per pixel, every sample
// readable (so a short buffer shows under AddressSanitizer).
inline void CheckDepthMap(const io::DepthMap& map) {
  if (map.width < 1 || map.height < 1 || map.width > io::kMaxSide || map.height > io::kMaxSide) {
    Finding("a depth map with sides out of range");
  }
  if (map.depth.size() != static_cast<std::size_t>(map.width) * static_cast<std::size_t>(map.height)) {
    Finding("a depth map whose size does not match its sides");
  }
  volatile float sink = 0.0f;
  float sum = 0.0f;
  for (float z : map.depth) sum += z;
  sink = sum;
  (void)sink;
}

// The depth kind is taken from the input's length, so the same file bytes also run through
// every conversion (0: the format's own default).
inline io::DepthReadOptions OptionsFor(std::size_t size) {
  static const io::DepthKind kinds[] = {io::DepthKind::kHost, io::DepthKind::kDistance,
                                        io::DepthKind::kDisparity, io::DepthKind::kHeight,
                                        io::DepthKind::kMist};
  io::DepthReadOptions options;
  const std::size_t pick = size % 6;
  if (pick != 0) options.kind = kinds[pick - 1];
  return options;
}

template <class Reader>
int FuzzDepthReader(const uint8_t* data, std::size_t size, Reader read) {
  const std::string& path = Input().Write(data, size);
  io::DepthMap map;
  try {
    read(path, OptionsFor(size), map);
  } catch (const io::IoError& error) {
    CheckError(error, path);
    return 0;
  }
  CheckDepthMap(map);
  return 0;
}

}  // namespace zavol::fuzz
