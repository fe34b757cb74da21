// PAM images: 16-bit RGBA frames out (big-endian samples, exact), pattern images in.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"

namespace zavol::io {

Image64 ReadPngImage(const std::string& path, FILE* file);  // png_read.cpp

namespace {

class PamWriter final : public RowWriter {
 public:
  PamWriter(FILE* out, const std::string& path, int width, int height)
      : out_(out), path_(path), bytes_(static_cast<std::size_t>(width) * 8), width_(width) {
    if (std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                     width, height) < 0) {
      Fail();
    }
  }
  void WriteRow(const Pixel64* row) override {
    unsigned char* b = bytes_.data();
    for (int x = 0; x < width_; ++x, b += 8) {
      const Pixel64 p = row[x];
      b[0] = p.r >> 8, b[1] = p.r & 0xFF, b[2] = p.g >> 8, b[3] = p.g & 0xFF;
      b[4] = p.b >> 8, b[5] = p.b & 0xFF, b[6] = p.a >> 8, b[7] = p.a & 0xFF;
    }
    if (std::fwrite(bytes_.data(), 1, bytes_.size(), out_) != bytes_.size()) Fail();
  }
  void Finish() override {
    if (std::fflush(out_) != 0) Fail();
  }

 private:
  [[noreturn]] void Fail() {
    throw IoError(path_, std::string("cannot write (") + std::strerror(errno) + ")");
  }
  FILE* out_;
  std::string path_;
  std::vector<unsigned char> bytes_;
  int width_;
};

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// One header line's token; comments (#...) run to the end of their line.
bool PamToken(FILE* file, std::string* token) {
  token->clear();
  int c = std::fgetc(file);
  for (;;) {
    while (c != EOF && IsSpace(c)) c = std::fgetc(file);
    if (c != '#') break;
    while (c != EOF && c != '\n') c = std::fgetc(file);
  }
  while (c != EOF && !IsSpace(c)) {
    if (token->size() > 64) return false;
    token->push_back(static_cast<char>(c));
    c = std::fgetc(file);
  }
  return !token->empty() && c != EOF;
}

bool ParseNumber(const std::string& text, long* value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::strtol(text.c_str(), nullptr, 10);
  return true;
}

Image64 ReadPamImage(const std::string& path, FILE* file) {
  std::string token;
  if (!PamToken(file, &token) || token != "P7") throw IoError(path, "not a PAM file");
  long width = -1, height = -1, depth = -1, maxval = -1;
  std::string tuple;
  for (;;) {
    if (!PamToken(file, &token)) throw IoError(path, "PAM header has no ENDHDR");
    if (token == "ENDHDR") break;
    std::string value;
    if (!PamToken(file, &value)) throw IoError(path, "PAM header field " + Printable(token) + " has no value");
    bool ok = true;
    if (token == "WIDTH") ok = ParseNumber(value, &width);
    else if (token == "HEIGHT") ok = ParseNumber(value, &height);
    else if (token == "DEPTH") ok = ParseNumber(value, &depth);
    else if (token == "MAXVAL") ok = ParseNumber(value, &maxval);
    else if (token == "TUPLTYPE") tuple = value;
    else ok = false;
    if (!ok) throw IoError(path, "PAM header field not understood: " + Printable(token) + " " + Printable(value));
  }
  if (width <= 0 || height <= 0) throw IoError(path, "PAM header has no valid WIDTH and HEIGHT");
  if (width > kMaxSide || height > kMaxSide) {
    throw IoError(path, "dimensions " + std::to_string(width) + "x" + std::to_string(height) +
                            " are over 65535, the host's limit");
  }
  if (depth < 1 || depth > 4 || (maxval != 255 && maxval != 65535)) {
    throw IoError(path, "PAM must have DEPTH 1 to 4 and MAXVAL 255 or 65535");
  }
  const uint64_t sampleBytes = maxval == 255 ? 1 : 2;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const uint64_t needed = pixels * static_cast<uint64_t>(depth) * sampleBytes;
  const long start = std::ftell(file);
  const uint64_t size = FileSize(file);
  if (start < 0 || size < static_cast<uint64_t>(start) + needed) {
    throw IoError(path, "truncated (" + std::to_string(needed) + " bytes of samples expected)");
  }
  if (!FitsInMemory(pixels * 8 + needed)) throw IoError(path, "image is too large for memory");
  std::vector<unsigned char> bytes(static_cast<std::size_t>(needed));
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    throw IoError(path, "truncated (read failed)");
  }
  Image64 image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<std::size_t>(pixels));
  const bool colour = depth >= 3;
  const bool alpha = depth == 2 || depth == 4;
  const unsigned char* p = bytes.data();
  for (Pixel64& pixel : image.pixels) {
    uint16_t s[4] = {0, 0, 0, 65535};
    for (long c = 0; c < depth; ++c, p += sampleBytes) {
      // 8-bit samples widen by 256, as the host widens its 8-bit colours.
      s[c] = sampleBytes == 1 ? static_cast<uint16_t>(p[0] << 8)
                              : static_cast<uint16_t>(p[0] << 8 | p[1]);
    }
    if (!colour) pixel = Pixel64{s[0], s[0], s[0], alpha ? s[1] : uint16_t{65535}};
    else pixel = Pixel64{s[0], s[1], s[2], alpha ? s[3] : uint16_t{65535}};
  }
  return image;
}

}  // namespace

std::unique_ptr<RowWriter> MakePamWriter(FILE* out, const std::string& path, int width,
                                         int height) {
  return std::make_unique<PamWriter>(out, path, width, height);
}

Image64 ReadImage(const std::string& path) {
  FILE* file = OpenInput(path);
  FileCloser closer{file};
  unsigned char magic[8] = {};
  const std::size_t got = std::fread(magic, 1, 8, file);
  if (got >= 2 && magic[0] == 'P' && magic[1] == '7') {
    std::rewind(file);
    return ReadPamImage(path, file);
  }
  static const unsigned char kPng[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  if (got == 8 && std::memcmp(magic, kPng, 8) == 0) return ReadPngImage(path, file);
  throw IoError(path, "not a PNG or PAM image");
}

}  // namespace zavol::io
