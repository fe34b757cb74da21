// Reading PFM and PAM pictures and writing 16-bit RGBA PAM for the host program. Every size
// that comes from a file is checked before anything is allocated or indexed with it.
#include "standin/host/images.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace zavolhost {
namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Header tokens of the netpbm family: whitespace separated, '#' comments to the end of a line.
class HeaderReader {
 public:
  explicit HeaderReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool Token(std::string* token) {
    for (;;) {
      while (pos_ < bytes_.size() && IsSpace(bytes_[pos_])) ++pos_;
      if (pos_ < bytes_.size() && bytes_[pos_] == '#') {
        while (pos_ < bytes_.size() && bytes_[pos_] != '\n') ++pos_;
        continue;
      }
      break;
    }
    token->clear();
    while (pos_ < bytes_.size() && !IsSpace(bytes_[pos_]) && token->size() < 64) {
      token->push_back(static_cast<char>(bytes_[pos_++]));
    }
    return !token->empty();
  }

  // After the last header token exactly one whitespace byte precedes the samples.
  bool SkipOneSpace() {
    if (pos_ >= bytes_.size() || !IsSpace(bytes_[pos_])) return false;
    ++pos_;
    return true;
  }

  std::size_t Position() const { return pos_; }

 private:
  const std::vector<uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

bool ParseSide(const std::string& token, int* value) {
  if (token.empty() || token.size() > 6) return false;
  int v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > kMaxSide) return false;
  *value = v;
  return true;
}

bool ParseUnsigned(const std::string& token, long* value) {
  if (token.empty() || token.size() > 9) return false;
  long v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

uint16_t UnitToSample(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value >= 1.0f) return 65535;
  return static_cast<uint16_t>(std::lround(static_cast<double>(value) * 65535.0));
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path;
    return false;
  }
  bytes->clear();
  uint8_t buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes->insert(bytes->end(), buffer, buffer + got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error) {
  const std::string temporary = path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + temporary;
    return false;
  }
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    DeleteFileA(temporary.c_str());
    *error = "cannot write " + temporary;
    return false;
  }
  if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(temporary.c_str());
    *error = "cannot rename " + temporary + " to " + path;
    return false;
  }
  return true;
}

bool ParsePfm(const std::vector<uint8_t>& bytes, int* width, int* height, int* channels,
              std::vector<float>* values, std::string* error) {
  HeaderReader header(bytes);
  std::string magic, w, h, scaleText;
  if (!header.Token(&magic) || (magic != "Pf" && magic != "PF")) {
    *error = "not a PFM file (no Pf or PF signature)";
    return false;
  }
  if (!header.Token(&w) || !header.Token(&h) || !ParseSide(w, width) || !ParseSide(h, height)) {
    *error = "PFM size missing or beyond 65535";
    return false;
  }
  char* end = nullptr;
  if (!header.Token(&scaleText)) {
    *error = "PFM scale missing";
    return false;
  }
  const double scale = std::strtod(scaleText.c_str(), &end);
  if (end == scaleText.c_str() || *end != '\0' || !std::isfinite(scale) || scale == 0.0) {
    *error = "PFM scale is not a non-zero number: " + scaleText;
    return false;
  }
  if (!header.SkipOneSpace()) {
    *error = "PFM header does not end in whitespace";
    return false;
  }
  *channels = magic == "PF" ? 3 : 1;
  // Sides are at most 65535, so the product fits 64 bits easily.
  const uint64_t count = static_cast<uint64_t>(*width) * static_cast<uint64_t>(*height) *
                         static_cast<uint64_t>(*channels);
  const std::size_t start = header.Position();
  if (count * 4 > bytes.size() - start) {
    *error = "PFM data shorter than its size says";
    return false;
  }
  const bool littleEndian = scale < 0.0;
  values->assign(static_cast<std::size_t>(count), 0.0f);
  // Rows are stored bottom-up; turn them so that row 0 is the top.
  const std::size_t rowValues = static_cast<std::size_t>(*width) * *channels;
  for (int fileRow = 0; fileRow < *height; ++fileRow) {
    const std::size_t y = static_cast<std::size_t>(*height - 1 - fileRow);
    for (std::size_t i = 0; i < rowValues; ++i) {
      const uint8_t* p = &bytes[start + (static_cast<std::size_t>(fileRow) * rowValues + i) * 4];
      const uint32_t word = littleEndian
          ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24)
          : (uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24);
      float value;
      std::memcpy(&value, &word, 4);
      (*values)[y * rowValues + i] = value;
    }
  }
  return true;
}

bool ReadDepthPfm(const std::string& path, DepthImage* image, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  int channels = 0;
  std::vector<float> values;
  if (!ParsePfm(bytes, &image->width, &image->height, &channels, &values, error)) {
    *error = path + ": " + *error;
    return false;
  }
  // A colour PFM carries depth in its first channel; the values are taken as they are.
  const std::size_t pixels = static_cast<std::size_t>(image->width) * image->height;
  image->depth.resize(pixels);
  for (std::size_t i = 0; i < pixels; ++i) image->depth[i] = values[i * channels];
  return true;
}

bool ParsePam(const std::vector<uint8_t>& bytes, ColourImage* image, std::string* error) {
  HeaderReader header(bytes);
  std::string token;
  if (!header.Token(&token) || token != "P7") {
    *error = "not a PAM file (no P7 signature)";
    return false;
  }
  int width = -1, height = -1;
  long depth = -1, maxval = -1;
  std::string tupleType;
  for (;;) {
    if (!header.Token(&token)) {
      *error = "PAM header has no ENDHDR";
      return false;
    }
    if (token == "ENDHDR") break;
    std::string value;
    if (!header.Token(&value)) {
      *error = "PAM header field " + token + " has no value";
      return false;
    }
    bool ok = true;
    if (token == "WIDTH") ok = ParseSide(value, &width);
    else if (token == "HEIGHT") ok = ParseSide(value, &height);
    else if (token == "DEPTH") ok = ParseUnsigned(value, &depth);
    else if (token == "MAXVAL") ok = ParseUnsigned(value, &maxval);
    else if (token == "TUPLTYPE") tupleType = value;
    else ok = false;
    if (!ok) {
      *error = "PAM header field not understood: " + token + " " + value;
      return false;
    }
  }
  if (!header.SkipOneSpace() || width < 0 || height < 0) {
    *error = "PAM header incomplete";
    return false;
  }
  if ((depth != 3 && depth != 4) || (maxval != 255 && maxval != 65535)) {
    *error = "PAM must be RGB or RGB_ALPHA with MAXVAL 255 or 65535";
    return false;
  }
  if (!tupleType.empty() && tupleType != (depth == 4 ? "RGB_ALPHA" : "RGB")) {
    *error = "PAM TUPLTYPE " + tupleType + " does not match DEPTH";
    return false;
  }
  const uint64_t sampleBytes = maxval == 255 ? 1 : 2;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const std::size_t start = header.Position();
  if (pixels * depth * sampleBytes > bytes.size() - start) {
    *error = "PAM data shorter than its size says";
    return false;
  }
  image->width = width;
  image->height = height;
  image->samples.assign(static_cast<std::size_t>(pixels) * 4, 65535);
  const uint8_t* p = bytes.data() + start;
  for (std::size_t i = 0; i < pixels; ++i) {
    for (long c = 0; c < depth; ++c) {
      // 8-bit components become 16-bit channels by multiplying by 256.
      const uint16_t sample = sampleBytes == 1 ? static_cast<uint16_t>(p[0] << 8)
                                               : static_cast<uint16_t>(p[0] << 8 | p[1]);
      p += sampleBytes;
      image->samples[i * 4 + c] = sample;
    }
  }
  return true;
}

bool ReadPatternImage(const std::string& path, ColourImage* image, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '7') {
    if (ParsePam(bytes, image, error)) return true;
    *error = path + ": " + *error;
    return false;
  }
  int channels = 0;
  std::vector<float> values;
  if (!ParsePfm(bytes, &image->width, &image->height, &channels, &values, error)) {
    *error = path + ": " + *error;
    return false;
  }
  // Colour PFM values are fractions of full intensity; a grey PFM gives grey dots.
  const std::size_t pixels = static_cast<std::size_t>(image->width) * image->height;
  image->samples.assign(pixels * 4, 65535);
  for (std::size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 3; ++c) {
      image->samples[i * 4 + c] = UnitToSample(values[i * channels + (channels == 3 ? c : 0)]);
    }
  }
  return true;
}

std::vector<uint8_t> EncodePam(const ColourImage& image) {
  char header[160];
  const int length = std::snprintf(header, sizeof header,
                                   "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\n"
                                   "TUPLTYPE RGB_ALPHA\nENDHDR\n",
                                   image.width, image.height);
  std::vector<uint8_t> bytes(header, header + length);
  bytes.reserve(bytes.size() + image.samples.size() * 2);
  for (uint16_t sample : image.samples) {
    bytes.push_back(static_cast<uint8_t>(sample >> 8));
    bytes.push_back(static_cast<uint8_t>(sample & 0xFF));
  }
  return bytes;
}

}  // namespace zavolhost
