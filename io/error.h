// The one error type of the readers and writers: which file, and why, in words for the user.
// Depends on the standard library only.
#pragma once

#include <stdexcept>
#include <string>

namespace zavol::io {

// what() is "file: reason", the line the tool prints.
class IoError : public std::runtime_error {
 public:
  IoError(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason), file_(file), reason_(reason) {}
  const std::string& File() const { return file_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string file_;
  std::string reason_;
};

}  // namespace zavol::io
