// PFM depth files: a text header ("Pf" grey or "PF" colour, width, height, scale) and 32-bit
// samples, rows bottom-up, little-endian when the scale is negative.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"

namespace zavol::io {
namespace {

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The next whitespace-separated header token; the header is short, so a long token is junk.
bool HeaderToken(FILE* file, std::string* token) {
  token->clear();
  int c = std::fgetc(file);
  while (c != EOF && IsSpace(c)) c = std::fgetc(file);
  while (c != EOF && !IsSpace(c)) {
    if (token->size() > 32) return false;
    token->push_back(static_cast<char>(c));
    c = std::fgetc(file);
  }
  // The single whitespace character after the scale ends the header; it has been consumed.
  return !token->empty() && c != EOF;
}

bool ParseSide(const std::string& text, int64_t* value) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *value = std::strtoll(text.c_str(), nullptr, 10);
  return true;
}

uint32_t Swap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

bool HostIsLittleEndian() {
  const uint32_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

}  // namespace

void ReadPfmDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map) {
  FILE* file = OpenInput(path);
  FileCloser closer{file};
  std::string magic, widthText, heightText, scaleText;
  if (!HeaderToken(file, &magic) || (magic != "Pf" && magic != "PF")) {
    throw IoError(path, "not a PFM file (no Pf or PF signature)");
  }
  int64_t width = 0, height = 0;
  if (!HeaderToken(file, &widthText) || !HeaderToken(file, &heightText) ||
      !ParseSide(widthText, &width) || !ParseSide(heightText, &height)) {
    throw IoError(path, "PFM header has no valid width and height");
  }
  char* end = nullptr;
  if (!HeaderToken(file, &scaleText)) throw IoError(path, "PFM header has no scale");
  const double scale = std::strtod(scaleText.c_str(), &end);
  if (*end != '\0' || !std::isfinite(scale) || scale == 0.0) {
    throw IoError(path, "PFM scale '" + Printable(scaleText) + "' is not a non-zero number");
  }
  if (width > kMaxSide || height > kMaxSide || width <= 0 || height <= 0) {
    SizeDepthMap(path, width, height, map);  // throws with the reason
  }
  const int channels = magic == "PF" ? 3 : 1;
  const uint64_t rowValues = static_cast<uint64_t>(width) * channels;
  const uint64_t needed = rowValues * static_cast<uint64_t>(height) * 4;
  const long headerEnd = std::ftell(file);
  const uint64_t size = FileSize(file);
  if (headerEnd < 0 || size < static_cast<uint64_t>(headerEnd) + needed) {
    throw IoError(path, "truncated (" + std::to_string(needed) + " bytes of samples expected, " +
                            std::to_string(size - std::min<uint64_t>(size, headerEnd)) + " found)");
  }
  SizeDepthMap(path, width, height, map);

  const DepthKind kind = options.kind.value_or(DepthKind::kHost);
  const bool swap = (scale < 0.0) != HostIsLittleEndian();
  std::vector<uint32_t> colourRow(channels == 3 ? rowValues : 0);
  for (int64_t fileRow = 0; fileRow < height; ++fileRow) {
    float* row = map.depth.data() + static_cast<std::size_t>(height - 1 - fileRow) * width;
    // Grey samples land in their row and are converted in place.
    void* samples = channels == 3 ? static_cast<void*>(colourRow.data()) : static_cast<void*>(row);
    if (std::fread(samples, 4, rowValues, file) != rowValues) {
      throw IoError(path, "truncated (read failed in row " + std::to_string(fileRow) + ")");
    }
    for (int64_t x = 0; x < width; ++x) {
      uint32_t word;
      std::memcpy(&word, static_cast<const unsigned char*>(samples) + x * channels * 4, 4);
      if (swap) word = Swap32(word);
      float value;
      std::memcpy(&value, &word, 4);
      row[x] = ToEngineDepth(kind, value, options.farCutoff);
    }
  }
}

void WritePfm(FILE* out, const std::string& path, int width, int height, const float* values,
              bool littleEndian) {
  std::fprintf(out, "Pf\n%d %d\n%s\n", width, height, littleEndian ? "-1.0" : "1.0");
  const bool swap = littleEndian != HostIsLittleEndian();
  std::vector<uint32_t> row(static_cast<std::size_t>(width));
  for (int y = height - 1; y >= 0; --y) {
    std::memcpy(row.data(), values + static_cast<std::size_t>(y) * width, row.size() * 4);
    if (swap) {
      for (uint32_t& word : row) word = Swap32(word);
    }
    if (std::fwrite(row.data(), 4, row.size(), out) != row.size()) {
      throw IoError(path, std::string("cannot write (") + std::strerror(errno) + ")");
    }
  }
}

}  // namespace zavol::io
