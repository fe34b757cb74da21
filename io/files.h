// Opening input files with messages a user can act on. Internal to the readers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zavol::io {

// Opens path for reading; throws IoError ("no such file", "is a folder", the system's reason).
FILE* OpenInput(const std::string& path);

// The size of an open file in bytes.
uint64_t FileSize(FILE* file);

// Up to limit bytes from the file's current position (fewer at its end). Throws IoError.
std::vector<uint8_t> ReadPrefix(FILE* file, std::size_t limit, const std::string& path);

// Closes on scope exit.
struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

}  // namespace zavol::io
