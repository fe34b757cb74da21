// Input files (on disk or read into memory), output files under temporary names or standard
// output, small whole-file reads.
#include "io/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::vector<uint8_t> ReadPrefix(FILE* file, std::size_t limit, const std::string& path) {
  std::vector<uint8_t> bytes(limit);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  if (std::ferror(file)) throw IoError(path, "cannot read (" + std::string(std::strerror(errno)) + ")");
  bytes.resize(got);
  return bytes;
}

InputSource::InputSource(const std::string& path) : name_(path == "-" ? "standard input" : path) {
  FILE* file = path == "-" ? stdin : OpenInput(path);
  struct stat info;
  if (path != "-" && fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) {
    stream_ = file;
    diskPath_ = path;
    size_ = static_cast<uint64_t>(info.st_size);
    return;
  }
  FileCloser closer{path == "-" ? nullptr : file};
  // Read to the end in growing pieces; a signal (Ctrl-C while waiting on a terminal or a pipe)
  // ends the read with an error, which the tool reports as stopped.
  std::size_t piece = 1 << 16;
  for (;;) {
    const std::size_t have = memory_.size();
    if (!FitsInMemory(static_cast<uint64_t>(have + piece) * 2)) throw IoError(name_, "too large for memory");
    memory_.resize(have + piece);
    const std::size_t got = std::fread(memory_.data() + have, 1, piece, file);
    memory_.resize(have + got);
    if (got < piece) {
      if (std::ferror(file)) {
        const int error = errno;
        std::clearerr(file);
        throw IoError(name_, "cannot read (" + std::string(std::strerror(error)) + ")");
      }
      break;
    }
    piece = std::min<std::size_t>(piece * 2, std::size_t{1} << 26);
  }
  if (memory_.empty()) throw IoError(name_, "empty file");
  size_ = memory_.size();
  stream_ = fmemopen(memory_.data(), memory_.size(), "rb");
  if (stream_ == nullptr) throw IoError(name_, "cannot read (" + std::string(std::strerror(errno)) + ")");
}

InputSource::~InputSource() {
  if (stream_ != nullptr) std::fclose(stream_);
}

std::vector<uint8_t> ReadSmallFile(const std::string& path, std::size_t limit) {
  FILE* file = OpenInput(path);
  FileCloser closer{file};
  return ReadPrefix(file, limit + 1, path);
}

std::string OutputRefusal(const std::string& path, bool seeks) {
  if (path == "-") return "";  // the callers have their own words for standard output
  files::OutputKind kind;
  std::string reason;
  if (!files::ClassifyOutput(path, &kind, &reason)) return path + ": " + reason;
  if (seeks && kind == files::OutputKind::kStream) {
    return path + ": is a FIFO or socket, and this format's writer seeks; write a stream format "
                  "to it (png, pam, pfm; y4m or rgb48 for a video's frames)";
  }
  return "";
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path == "-") return;
  std::string error;
  if (!file_.Open(path, &error)) throw IoError(path, error);
}

FILE* OutputFile::Stream() { return path_ == "-" ? stdout : file_.Stream(); }

void OutputFile::Commit() {
  if (path_ == "-") {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      throw IoError("standard output", "cannot write (" + std::string(std::strerror(errno)) + ")");
    }
    return;
  }
  std::string error;
  if (!file_.Commit(&error)) throw IoError(path_, error);
}

}  // namespace zavol::io
