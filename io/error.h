// The one error type of the readers and writers: which file, and why, in words for the user.
// Depends on the standard library only.
#pragma once

#include <cstddef>
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

// Text taken from a file, fit for a one-line message: control characters (line breaks, escapes)
// are shown as \xNN, and anything past limit characters as "...".
inline std::string Printable(const std::string& text, std::size_t limit = 64) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == limit) return shown + "...";
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      shown += "\\x";
      shown.push_back(kHex[c >> 4]);
      shown.push_back(kHex[c & 15]);
    } else {
      shown.push_back(static_cast<char>(c));
    }
  }
  return shown;
}

}  // namespace zavol::io
