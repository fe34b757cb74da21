// Opening input files with messages a user can act on, and the readers over an opened input.
// Internal to the readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "io/depth_map.h"

namespace zavol::io {

// Opens path for reading; throws IoError ("no such file", "is a folder", the system's reason).
FILE* OpenInput(const std::string& path);

// Up to limit bytes from the file's current position (fewer at its end). Throws IoError.
std::vector<uint8_t> ReadPrefix(FILE* file, std::size_t limit, const std::string& path);

// Closes on scope exit.
struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

// An input opened once and read through one stream. A regular file is streamed from disk;
// anything else (standard input as "-", a pipe, a device such as /dev/stdin) is read whole into
// memory first, because the readers seek and check sizes against the file's length, and a
// pipe can be read only once. Throws IoError.
class InputSource {
 public:
  explicit InputSource(const std::string& path);
  ~InputSource();
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;

  // Positioned at the first byte by Rewind.
  FILE* Stream() { return stream_; }
  void Rewind() { std::rewind(stream_); }
  uint64_t Size() const { return size_; }
  // How messages name it: the path, or "standard input" for "-".
  const std::string& Name() const { return name_; }
  // The path a library may open by name; empty when the bytes are in memory.
  const std::string& DiskPath() const { return diskPath_; }
  // The bytes, when the input was read into memory; empty otherwise.
  const std::vector<uint8_t>& Memory() const { return memory_; }

 private:
  std::string name_, diskPath_;
  std::vector<uint8_t> memory_;
  FILE* stream_ = nullptr;
  uint64_t size_ = 0;
};

// The readers over an opened input (see io/formats.h for what each reads).
void ReadPfmDepth(InputSource& input, const DepthReadOptions& options, DepthMap& map);
void ReadPngDepth(InputSource& input, const DepthReadOptions& options, DepthMap& map);
void ReadExrDepth(InputSource& input, const DepthReadOptions& options, DepthMap& map);
// ReadImage over an opened input, positioned at its first byte.
struct Image64;
Image64 ReadImageFrom(InputSource& input);
// A binary PPM or PGM image over an opened input (stereograms from other programs).
Image64 ReadPnmImageFrom(InputSource& input);

}  // namespace zavol::io
