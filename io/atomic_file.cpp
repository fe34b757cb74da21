// Output under a temporary name, renamed into place, or written in place to a device, FIFO or
// socket (see atomic_file.h). The platform code is the rename over an existing file, which the C
// library's rename refuses on Windows, the file mode a finished file gets and the nodes written
// in place on POSIX systems (Windows has none that a name reaches: there only folders are
// refused).
#include "io/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/un.h>
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

#ifndef _WIN32
// A descriptor for writing to the node at path in place, or -1 with errno set.
int OpenInPlace(const std::string& path, OutputKind kind, bool socketNode) {
  if (kind == OutputKind::kStream && socketNode) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
      errno = ENAMETOOLONG;
      return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      const int saved = errno;
      close(fd);
      errno = saved;
      return -1;
    }
    return fd;
  }
  // A FIFO blocks here until its reader opens it, as it does for cp or a shell's redirection.
  return open(path.c_str(), O_WRONLY | O_CLOEXEC);
}
#endif

}  // namespace

bool ClassifyOutput(const std::string& path, OutputKind* kind, std::string* error) {
  *kind = OutputKind::kFile;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return true;  // nothing there yet (or unreachable: told on creating)
  const auto type = info.st_mode & S_IFMT;
  if (type == S_IFREG) return true;
  if (type == S_IFDIR) {
    *error = "is a folder; give a file name";
    return false;
  }
#ifdef _WIN32
  return true;
#else
  if (type == S_IFCHR) {
    *kind = OutputKind::kDevice;
    return true;
  }
  if (type == S_IFIFO || type == S_IFSOCK) {
    *kind = OutputKind::kStream;
    return true;
  }
  *error = type == S_IFBLK ? "is a block device, which zavol does not write to; give a file name"
                           : "is not a regular file; give a file name";
  return false;
#endif
}

bool AtomicFile::Open(const std::string& path, std::string* error) {
  Abandon();
  OutputKind kind;
  if (!ClassifyOutput(path, &kind, error)) return false;
#ifndef _WIN32
  if (kind != OutputKind::kFile) {
    struct stat info;
    const bool socketNode = stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
    const int fd = OpenInPlace(path, kind, socketNode);
    if (fd < 0) {
      *error = Reason(socketNode ? "cannot connect to the socket" : "cannot open", errno);
      return false;
    }
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
      close(fd);
      *error = "cannot open for writing";
      return false;
    }
    path_ = path;
    inPlace_ = true;
    kind_ = kind;
    std::setvbuf(stream_, nullptr, _IOFBF, 1 << 16);
    return true;
  }
#endif
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
  inPlace_ = false;
  kind_ = OutputKind::kFile;
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
  int writeError = errno;
  const bool closeFailed = std::fclose(stream_) != 0;
  if (!writeFailed && closeFailed) writeError = errno;
  stream_ = nullptr;
  if (writeFailed || closeFailed) {
    Abandon();
    *error = Reason("cannot write", writeError);
    return false;
  }
  if (inPlace_) return true;
  // Something other than a file may have taken the name while the temporary was written; a
  // rename would put a file in its place.
  OutputKind now;
  std::string refusal;
  if (!ClassifyOutput(path_, &now, &refusal) || now != OutputKind::kFile) {
    Abandon();
    *error = "cannot put the file in place (the name is no longer a regular file)";
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
