// Output under a temporary name, renamed into place (see atomic_file.h). The platform code is the
// rename over an existing file, which the C library's rename refuses on Windows, and the file
// mode a finished file gets on POSIX systems.
#include "io/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace zavol::files {
namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\:";
#else
constexpr const char* kSeparators = "/";

// Read once: umask can only be read by setting it, and frames are written from several threads.
mode_t ProcessUmask() {
  static const mode_t mask = [] {
    const mode_t current = umask(022);
    umask(current);
    return current;
  }();
  return mask;
}
#endif

std::string Reason(const char* what, int error) {
  return std::string(what) + " (" + std::strerror(error) + ")";
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* error) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *error = "cannot put the file in place (Windows error " + std::to_string(GetLastError()) + ")";
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *error = Reason("cannot put the file in place", errno);
  return false;
#endif
}

}  // namespace

bool AtomicFile::Open(const std::string& path, std::string* error) {
  Abandon();
  const std::size_t cut = path.find_last_of(kSeparators);
  const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
  if (base.empty()) {
    *error = "output needs a file name";
    return false;
  }
  // Hidden and marked, so that a temporary left by a killed process is recognisable.
  std::string temp = path.substr(0, path.size() - base.size()) + "." + base + ".zavol-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = Reason("cannot create the file", errno);
    return false;
  }
#ifndef _WIN32
  // mkstemp makes the file private; a finished image gets the usual permissions.
  fchmod(fd, 0666 & ~ProcessUmask());
#endif
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    close(fd);
    std::remove(temp.c_str());
    *error = "cannot open the temporary file";
    return false;
  }
  path_ = path;
  temp_ = temp;
  std::setvbuf(stream_, nullptr, _IOFBF, 1 << 20);
  return true;
}

void AtomicFile::Abandon() noexcept {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temp_.empty()) {
    std::remove(temp_.c_str());
    temp_.clear();
  }
}

bool AtomicFile::Commit(std::string* error) {
  if (stream_ == nullptr) {
    *error = "file already closed";
    return false;
  }
  const bool writeFailed = std::fflush(stream_) != 0 || std::ferror(stream_) != 0;
  const int writeError = errno;
  const bool closeFailed = std::fclose(stream_) != 0;
  stream_ = nullptr;
  if (writeFailed || closeFailed) {
    Abandon();
    *error = Reason("cannot write", writeError);
    return false;
  }
  if (!ReplaceFile(temp_, path_, error)) {
    Abandon();
    return false;
  }
  temp_.clear();
  return true;
}

bool WriteFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string* error) {
  AtomicFile file;
  if (!file.Open(path, error)) return false;
  if (size != 0 && std::fwrite(data, 1, size, file.Stream()) != size) {
    *error = Reason("cannot write", errno);
    return false;  // the temporary goes with file
  }
  return file.Commit(error);
}

}  // namespace zavol::files
