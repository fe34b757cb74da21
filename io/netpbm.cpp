// PFM and PAM on bytes in memory (see netpbm.h). Standard library only; byte order is assembled
// explicitly, so the result does not depend on the machine's.
#include "io/netpbm.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "io/error.h"

namespace zavol::netpbm {
namespace {

using io::Printable;

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Header tokens of the netpbm family: whitespace separated, a '#' where a token could start
// comments out the rest of its line. A token counts only when a whitespace byte follows it; that
// byte is consumed, so after the last token of a header the position is the first sample byte.
class HeaderReader {
 public:
  HeaderReader(const uint8_t* data, std::size_t size, uint64_t fileSize)
      : data_(data), limit_(std::min(size, kMaxHeaderBytes)),
        capped_(limit_ == kMaxHeaderBytes && fileSize > kMaxHeaderBytes) {}

  bool Token(std::string* token) {
    token->clear();
    for (;;) {
      while (pos_ < limit_ && IsSpace(data_[pos_])) ++pos_;
      if (pos_ >= limit_ || data_[pos_] != '#') break;
      while (pos_ < limit_ && data_[pos_] != '\n') ++pos_;
    }
    // Header tokens are short words and numbers; a long one is junk, not something to collect.
    while (pos_ < limit_ && !IsSpace(data_[pos_])) {
      if (token->size() == 64) return false;
      token->push_back(static_cast<char>(data_[pos_++]));
    }
    if (token->empty() || pos_ >= limit_) return false;
    ++pos_;
    return true;
  }

  // Whether the header ran into kMaxHeaderBytes rather than into the end of the file.
  bool OverLong() const { return capped_ && pos_ >= limit_; }
  std::size_t Position() const { return pos_; }

 private:
  const uint8_t* data_;
  std::size_t limit_;
  bool capped_;
  std::size_t pos_ = 0;
};

std::string OverLongMessage(const char* format) {
  return std::string(format) + " header is longer than " + std::to_string(kMaxHeaderBytes) + " bytes";
}

// Decimal digits only, at most maxDigits of them (so the value fits 64 bits with room to spare).
bool ParseDigits(const std::string& text, std::size_t maxDigits, int64_t* value) {
  if (text.empty() || text.size() > maxDigits) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

std::string Sides(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

bool Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return false;
}

// Both sides are at most kMaxSide and a pixel has at most 4 samples of 4 bytes, so the byte
// counts below fit 64 bits; the file must hold them before anything is allocated.
bool CheckHolds(uint64_t needed, std::size_t dataOffset, uint64_t fileSize, std::string* error) {
  const uint64_t found = fileSize - std::min<uint64_t>(fileSize, dataOffset);
  if (found >= needed) return true;
  return Fail(error, "truncated (" + std::to_string(needed) + " bytes of samples expected, " +
                         std::to_string(found) + " found)");
}

uint32_t LoadWord(const uint8_t* p, bool littleEndian) {
  uint32_t word = 0;
  for (int k = 0; k < 4; ++k) word = word << 8 | p[littleEndian ? 3 - k : k];
  return word;
}

void StoreWord(uint32_t word, bool littleEndian, uint8_t* p) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(word >> (littleEndian ? 8 * k : 24 - 8 * k));
}

const char* ColourTupleType(int depth) {
  static const char* const kNames[] = {"GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
  return depth >= 1 && depth <= 4 ? kNames[depth - 1] : "";
}

}  // namespace

bool ParsePfmHeader(const uint8_t* data, std::size_t size, uint64_t fileSize, PfmHeader* header,
                    std::string* error) {
  HeaderReader reader(data, size, fileSize);
  std::string magic, widthText, heightText, scaleText;
  if (!reader.Token(&magic) || (magic != "Pf" && magic != "PF")) {
    return Fail(error, "not a PFM file (no Pf or PF signature)");
  }
  // Twelve digits are plenty for a side and still reach the "over 65535" message, which says
  // more than "not a number" does.
  int64_t width = 0, height = 0;
  if (!reader.Token(&widthText) || !reader.Token(&heightText) ||
      !ParseDigits(widthText, 12, &width) || !ParseDigits(heightText, 12, &height)) {
    if (reader.OverLong()) return Fail(error, OverLongMessage("PFM"));
    return Fail(error, "PFM header has no valid width and height");
  }
  if (!reader.Token(&scaleText)) {
    if (reader.OverLong()) return Fail(error, OverLongMessage("PFM"));
    return Fail(error, "PFM header has no scale");
  }
  char* end = nullptr;
  const double scale = std::strtod(scaleText.c_str(), &end);
  if (end == scaleText.c_str() || *end != '\0' || !std::isfinite(scale) || scale == 0.0) {
    return Fail(error, "PFM scale '" + Printable(scaleText) + "' is not a non-zero number");
  }
  if (width <= 0 || height <= 0) {
    return Fail(error, "image has no pixels (" + Sides(width, height) + ")");
  }
  if (width > kMaxSide || height > kMaxSide) {
    return Fail(error, "dimensions " + Sides(width, height) + " are over 65535, the host's limit");
  }
  PfmHeader parsed;
  parsed.width = static_cast<int>(width);
  parsed.height = static_cast<int>(height);
  parsed.channels = magic == "PF" ? 3 : 1;
  parsed.littleEndian = scale < 0.0;
  parsed.dataOffset = reader.Position();
  if (!CheckHolds(parsed.DataBytes(), parsed.dataOffset, fileSize, error)) return false;
  *header = parsed;
  return true;
}

void DecodePfmRow(const PfmHeader& header, const uint8_t* row, int channel, float* values) {
  const std::size_t stride = static_cast<std::size_t>(header.channels) * 4;
  const uint8_t* p = row + static_cast<std::size_t>(channel) * 4;
  for (int x = 0; x < header.width; ++x, p += stride) {
    const uint32_t word = LoadWord(p, header.littleEndian);
    std::memcpy(&values[x], &word, 4);
  }
}

bool DecodePfm(const uint8_t* data, std::size_t size, PfmImage* image, std::string* error) {
  PfmHeader header;
  if (!ParsePfmHeader(data, size, size, &header, error)) return false;
  PfmImage decoded;
  decoded.width = header.width;
  decoded.height = header.height;
  decoded.channels = header.channels;
  const std::size_t rowValues = static_cast<std::size_t>(header.width) * header.channels;
  decoded.values.resize(rowValues * header.height);
  // Every sample of a row is a channel of its own when the row is read as one grey row.
  PfmHeader flat = header;
  flat.width = static_cast<int>(rowValues);
  flat.channels = 1;
  for (int fileRow = 0; fileRow < header.height; ++fileRow) {
    const std::size_t y = static_cast<std::size_t>(header.height - 1 - fileRow);
    DecodePfmRow(flat, data + header.dataOffset + fileRow * header.RowBytes(), 0,
                 &decoded.values[y * rowValues]);
  }
  *image = std::move(decoded);
  return true;
}

std::vector<uint8_t> EncodePfm(const PfmImage& image, bool littleEndian) {
  const std::string header = std::string(image.channels == 3 ? "PF\n" : "Pf\n") +
                             std::to_string(image.width) + " " + std::to_string(image.height) +
                             (littleEndian ? "\n-1.0\n" : "\n1.0\n");
  std::vector<uint8_t> bytes(header.begin(), header.end());
  const std::size_t rowValues = static_cast<std::size_t>(image.width) * image.channels;
  bytes.resize(header.size() + rowValues * image.height * 4);
  uint8_t* out = bytes.data() + header.size();
  for (int y = image.height - 1; y >= 0; --y) {
    const float* row = image.values.data() + static_cast<std::size_t>(y) * rowValues;
    for (std::size_t i = 0; i < rowValues; ++i, out += 4) {
      uint32_t word;
      std::memcpy(&word, &row[i], 4);
      StoreWord(word, littleEndian, out);
    }
  }
  return bytes;
}

bool ParsePamHeader(const uint8_t* data, std::size_t size, uint64_t fileSize, PamHeader* header,
                    std::string* error) {
  HeaderReader reader(data, size, fileSize);
  std::string token;
  if (!reader.Token(&token) || token != "P7") return Fail(error, "not a PAM file (no P7 signature)");
  int64_t width = -1, height = -1, depth = -1, maxval = -1;
  PamHeader parsed;
  for (;;) {
    if (!reader.Token(&token)) {
      if (reader.OverLong()) return Fail(error, OverLongMessage("PAM"));
      return Fail(error, "PAM header has no ENDHDR");
    }
    if (token == "ENDHDR") break;
    std::string value;
    if (!reader.Token(&value)) {
      if (reader.OverLong()) return Fail(error, OverLongMessage("PAM"));
      return Fail(error, "PAM header field " + Printable(token) + " has no value");
    }
    bool ok = true;
    if (token == "WIDTH") ok = ParseDigits(value, 9, &width);
    else if (token == "HEIGHT") ok = ParseDigits(value, 9, &height);
    else if (token == "DEPTH") ok = ParseDigits(value, 9, &depth);
    else if (token == "MAXVAL") ok = ParseDigits(value, 9, &maxval);
    else if (token == "TUPLTYPE") parsed.tupleType = value;
    else ok = false;
    if (!ok) {
      return Fail(error, "PAM header field not understood: " + Printable(token) + " " +
                             Printable(value));
    }
  }
  if (width <= 0 || height <= 0) return Fail(error, "PAM header has no valid WIDTH and HEIGHT");
  if (width > kMaxSide || height > kMaxSide) {
    return Fail(error, "dimensions " + Sides(width, height) + " are over 65535, the host's limit");
  }
  if (depth < 1 || depth > 4 || (maxval != 255 && maxval != 65535)) {
    return Fail(error, "PAM must have DEPTH 1 to 4 and MAXVAL 255 or 65535");
  }
  parsed.width = static_cast<int>(width);
  parsed.height = static_cast<int>(height);
  parsed.depth = static_cast<int>(depth);
  parsed.maxval = static_cast<int>(maxval);
  parsed.dataOffset = reader.Position();
  if (!CheckHolds(parsed.DataBytes(), parsed.dataOffset, fileSize, error)) return false;
  *header = std::move(parsed);
  return true;
}

bool DecodePam(const uint8_t* data, std::size_t size, PamImage* image, std::string* error) {
  PamHeader header;
  if (!ParsePamHeader(data, size, size, &header, error)) return false;
  PamImage decoded;
  decoded.width = header.width;
  decoded.height = header.height;
  decoded.depth = header.depth;
  decoded.maxval = header.maxval;
  decoded.tupleType = header.tupleType;
  decoded.samples.resize(static_cast<std::size_t>(header.DataBytes() / header.SampleBytes()));
  const uint8_t* p = data + header.dataOffset;
  if (header.SampleBytes() == 1) {
    for (uint16_t& s : decoded.samples) s = *p++;
  } else {
    for (uint16_t& s : decoded.samples) s = static_cast<uint16_t>(p[0] << 8 | p[1]), p += 2;
  }
  *image = std::move(decoded);
  return true;
}

bool ParsePnmHeader(const uint8_t* data, std::size_t size, uint64_t fileSize, PamHeader* header,
                    std::string* error) {
  HeaderReader reader(data, size, fileSize);
  std::string magic, widthText, heightText, maxvalText;
  if (!reader.Token(&magic) || (magic != "P5" && magic != "P6")) {
    return Fail(error, "not a binary PPM or PGM file (no P6 or P5 signature)");
  }
  int64_t width = 0, height = 0, maxval = 0;
  if (!reader.Token(&widthText) || !reader.Token(&heightText) || !reader.Token(&maxvalText)) {
    if (reader.OverLong()) return Fail(error, OverLongMessage(magic == "P6" ? "PPM" : "PGM"));
    return Fail(error, "truncated header: no width, height and maxval");
  }
  if (!ParseDigits(widthText, 12, &width) || !ParseDigits(heightText, 12, &height) ||
      !ParseDigits(maxvalText, 12, &maxval)) {
    return Fail(error, "header numbers not understood: " + Printable(widthText) + " " +
                           Printable(heightText) + " " + Printable(maxvalText));
  }
  if (width <= 0 || height <= 0) {
    return Fail(error, "image has no pixels (" + Sides(width, height) + ")");
  }
  if (width > kMaxSide || height > kMaxSide) {
    return Fail(error, "dimensions " + Sides(width, height) + " are over 65535, the host's limit");
  }
  if (maxval < 1 || maxval > 65535) {
    return Fail(error, "maxval " + std::to_string(maxval) + " is outside 1..65535");
  }
  PamHeader parsed;
  parsed.width = static_cast<int>(width);
  parsed.height = static_cast<int>(height);
  parsed.depth = magic == "P6" ? 3 : 1;
  parsed.maxval = static_cast<int>(maxval);
  parsed.dataOffset = reader.Position();
  if (!CheckHolds(parsed.DataBytes(), parsed.dataOffset, fileSize, error)) return false;
  *header = std::move(parsed);
  return true;
}

bool DecodePnm(const uint8_t* data, std::size_t size, PamImage* image, std::string* error) {
  PamHeader header;
  if (!ParsePnmHeader(data, size, size, &header, error)) return false;
  PamImage decoded;
  decoded.width = header.width;
  decoded.height = header.height;
  decoded.depth = header.depth;
  decoded.samples.resize(static_cast<std::size_t>(header.DataBytes() / header.SampleBytes()));
  const uint8_t* p = data + header.dataOffset;
  // Samples above maxval are clipped to it, then every maxval is stretched onto 255 or 65535.
  const uint32_t maxval = static_cast<uint32_t>(header.maxval);
  const uint32_t full = header.SampleBytes() == 1 ? 255u : 65535u;
  for (uint16_t& s : decoded.samples) {
    uint32_t v = header.SampleBytes() == 1 ? *p : static_cast<uint32_t>(p[0] << 8 | p[1]);
    p += header.SampleBytes();
    v = std::min(v, maxval);
    s = static_cast<uint16_t>((v * full + maxval / 2) / maxval);
  }
  decoded.maxval = static_cast<int>(full);
  *image = std::move(decoded);
  return true;
}

std::string PamHeaderText(int width, int height, int depth, int maxval, const std::string& tupleType) {
  std::string text = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                     "\nDEPTH " + std::to_string(depth) + "\nMAXVAL " + std::to_string(maxval) + "\n";
  if (!tupleType.empty()) text += "TUPLTYPE " + tupleType + "\n";
  return text + "ENDHDR\n";
}

std::vector<uint8_t> EncodePam(const PamImage& image) {
  const std::string header =
      PamHeaderText(image.width, image.height, image.depth, image.maxval, image.tupleType);
  std::vector<uint8_t> bytes(header.begin(), header.end());
  if (image.maxval == 255) {
    for (uint16_t s : image.samples) bytes.push_back(static_cast<uint8_t>(s));
  } else {
    bytes.resize(header.size() + image.samples.size() * 2);
    StoreBigEndian16(image.samples.data(), image.samples.size(), bytes.data() + header.size());
  }
  return bytes;
}

bool PamToRgba16(const PamImage& image, std::vector<uint16_t>* rgba, std::string* error) {
  if (!image.tupleType.empty() && image.tupleType != ColourTupleType(image.depth)) {
    return Fail(error, "PAM TUPLTYPE " + Printable(image.tupleType) + " does not match DEPTH " +
                           std::to_string(image.depth));
  }
  const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
  rgba->assign(pixels * 4, 65535);
  const int shift = image.maxval == 255 ? 8 : 0;
  const bool colour = image.depth >= 3;
  const bool alpha = image.depth == 2 || image.depth == 4;
  const uint16_t* s = image.samples.data();
  uint16_t* out = rgba->data();
  for (std::size_t i = 0; i < pixels; ++i, s += image.depth, out += 4) {
    for (int c = 0; c < 3; ++c) out[c] = static_cast<uint16_t>(s[colour ? c : 0] << shift);
    if (alpha) out[3] = static_cast<uint16_t>(s[image.depth - 1] << shift);
  }
  return true;
}

std::string Rgba16PamHeader(int width, int height) {
  return PamHeaderText(width, height, 4, 65535, "RGB_ALPHA");
}

void StoreBigEndian16(const uint16_t* samples, std::size_t count, uint8_t* bytes) {
  for (std::size_t i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(samples[i] >> 8);
    bytes[2 * i + 1] = static_cast<uint8_t>(samples[i] & 0xFF);
  }
}

std::vector<uint8_t> EncodeRgba16Pam(int width, int height, const std::vector<uint16_t>& rgba) {
  const std::string header = Rgba16PamHeader(width, height);
  std::vector<uint8_t> bytes(header.size() + rgba.size() * 2);
  std::copy(header.begin(), header.end(), bytes.begin());
  StoreBigEndian16(rgba.data(), rgba.size(), bytes.data() + header.size());
  return bytes;
}

}  // namespace zavol::netpbm
