// Input files, output files under temporary names, small whole-file reads.
#include "io/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/error.h"
#include "io/formats.h"

namespace zavol::io {

FILE* OpenInput(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    const int error = errno;
    throw IoError(path, error == ENOENT ? "no such file" : std::strerror(error));
  }
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    throw IoError(path, "is a folder, not a file");
  }
  return file;
}

uint64_t FileSize(FILE* file) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || info.st_size < 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

std::vector<uint8_t> ReadPrefix(FILE* file, std::size_t limit, const std::string& path) {
  std::vector<uint8_t> bytes(limit);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  if (std::ferror(file)) throw IoError(path, "cannot read (" + std::string(std::strerror(errno)) + ")");
  bytes.resize(got);
  return bytes;
}

std::vector<uint8_t> ReadSmallFile(const std::string& path, std::size_t limit) {
  FILE* file = OpenInput(path);
  FileCloser closer{file};
  return ReadPrefix(file, limit + 1, path);
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
  std::string error;
  if (!file_.Open(path, &error)) throw IoError(path, error);
}

void OutputFile::Commit() {
  std::string error;
  if (!file_.Commit(&error)) throw IoError(path_, error);
}

}  // namespace zavol::io
