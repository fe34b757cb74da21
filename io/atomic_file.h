// Files that only ever appear complete under their final name: written under a hidden temporary
// name in the same folder, renamed over the target on commit, removed on failure. Shared by the
// command-line tool and the stand-in host program; C++17 and the C library, with the little
// POSIX or Windows code that creating and replacing a file needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zavol::files {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile() { Abandon(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates ".NAME.zavol-XXXXXX" beside path (in the same folder, so that the rename never
  // crosses file systems). False with a reason such as "cannot create the file (...)".
  bool Open(const std::string& path, std::string* error);

  FILE* Stream() { return stream_; }
  // For libraries that open files by name; write through this or Stream(), not both.
  const std::string& TemporaryPath() const { return temp_; }

  // Flushes, closes and renames the temporary over the target (replacing a file already
  // there). On failure the temporary is removed and a reason given.
  bool Commit(std::string* error);

  // Removes the temporary now; safe at any time and more than once.
  void Abandon() noexcept;

 private:
  std::string path_;
  std::string temp_;
  FILE* stream_ = nullptr;
};

// The whole of a small file at once, through an AtomicFile. False with a reason.
bool WriteFileAtomically(const std::string& path, const uint8_t* data, std::size_t size,
                         std::string* error);

}  // namespace zavol::files
