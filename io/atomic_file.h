// Files that only ever appear complete under their final name: written under a hidden temporary
// name in the same folder, renamed over the target on commit, removed on failure. An output name
// that is a character device, a FIFO or a socket is written in place and in order instead, as
// cp and dd do (a FIFO streams the file to its reader, /dev/null discards it): renaming over it
// would destroy the node. Folders, block devices and anything else are refused. Shared by the
// command-line tool and the stand-in host program; C++17 and the C library, with the little
// POSIX or Windows code that creating and replacing a file needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zavol::files {

// What an output name stands for, looked at before anything is written.
enum class OutputKind {
  kFile,    // nothing yet, or a regular file (or a link to one): temporary and rename
  kDevice,  // a character device (/dev/null, a terminal): written in place; seeking is harmless
  kStream,  // a FIFO or a socket: written in place, strictly in order, never seeks
};

// The kind of output path names; false with a reason ("is a folder", "is a block device...")
// for a name no output may be written to.
bool ClassifyOutput(const std::string& path, OutputKind* kind, std::string* error);

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile() { Abandon(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates ".NAME.zavol-XXXXXX" beside path (in the same folder, so that the rename never
  // crosses file systems), or opens a device, FIFO or socket named path for writing in place (a
  // FIFO waits for its reader). False with a reason such as "cannot create the file (...)".
  bool Open(const std::string& path, std::string* error);

  FILE* Stream() { return stream_; }
  // For libraries that open files by name: the temporary, or the node written in place; write
  // through this or Stream(), not both.
  const std::string& TemporaryPath() const { return inPlace_ ? path_ : temp_; }
  // Written in place (a device, FIFO or socket): nothing to rename, nothing to take back.
  bool InPlace() const { return inPlace_; }
  // In place and unable to seek (a FIFO or socket).
  bool Streamed() const { return inPlace_ && kind_ == OutputKind::kStream; }

  // Flushes, closes and renames the temporary over the target (replacing a file already
  // there; never anything but a regular file). On failure the temporary is removed and a
  // reason given. In place: flushes and closes.
  bool Commit(std::string* error);

  // Removes the temporary now (in place: closes); safe at any time and more than once.
  void Abandon() noexcept;

 private:
  std::string path_;
  std::string temp_;
  FILE* stream_ = nullptr;
  bool inPlace_ = false;
  OutputKind kind_ = OutputKind::kFile;
};

// The whole of a small file at once, through an AtomicFile. False with a reason.
bool WriteFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string* error);

}  // namespace zavol::files
