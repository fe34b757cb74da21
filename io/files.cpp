// Input files, output files under temporary names, small whole-file reads.
#include "io/files.h"

#include <fcntl.h>
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

std::vector<uint8_t> ReadSmallFile(const std::string& path, std::size_t limit) {
  FILE* file = OpenInput(path);
  FileCloser closer{file};
  std::vector<uint8_t> bytes(limit + 1);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  if (std::ferror(file)) throw IoError(path, "cannot read (" + std::string(std::strerror(errno)) + ")");
  bytes.resize(got);
  return bytes;
}

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Read once: umask can only be read by setting it, and frames are written from several threads.
mode_t ProcessUmask() {
  static const mode_t mask = [] {
    const mode_t current = umask(022);
    umask(current);
    return current;
  }();
  return mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path.empty() || path.back() == '/') throw IoError(path, "output needs a file name");
  // Hidden and marked, in the target's folder so that the rename never crosses file systems.
  std::string temp = FolderOf(path) + "/." + BaseOf(path) + ".zavol-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    const int error = errno;
    throw IoError(path, std::string("cannot create the file (") + std::strerror(error) + ")");
  }
  // mkstemp makes the file private; a finished image gets the usual permissions.
  fchmod(fd, 0666 & ~ProcessUmask());
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    close(fd);
    unlink(temp.c_str());
    throw IoError(path, "cannot open the temporary file");
  }
  temp_ = temp;
  std::setvbuf(stream_, nullptr, _IOFBF, 1 << 20);
}

OutputFile::~OutputFile() { Abandon(); }

void OutputFile::Abandon() noexcept {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
}

void OutputFile::Commit() {
  if (stream_ == nullptr) throw IoError(path_, "file already closed");
  const bool writeFailed = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
  const int error = errno;
  const bool closeFailed = std::fclose(stream_) != 0;
  stream_ = nullptr;
  if (writeFailed || closeFailed) {
    Abandon();
    throw IoError(path_, std::string("cannot write (") + std::strerror(error) + ")");
  }
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    const int renameError = errno;
    Abandon();
    throw IoError(path_, std::string("cannot put the file in place (") +
                             std::strerror(renameError) + ")");
  }
  temp_.clear();
}

}  // namespace zavol::io
