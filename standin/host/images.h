// The host program's picture files: depth from PFM, pattern dots from PAM or PFM, results to a
// 16-bit RGBA PAM, all through the netpbm module and the atomic-write helper. Plain C++ and the
// standard library; no host or Windows types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zavolhost {

// A depth map, rows top-down (row 0 is the top of the picture, as the bitmap holds it).
struct DepthImage {
  int width = 0;
  int height = 0;
  std::vector<float> depth;
};

// Colour pictures with 16-bit channels red, green, blue, alpha per pixel, rows top-down.
struct ColourImage {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> samples;  // 4 per pixel
};

// The largest side a host bitmap can have (its sizes are 16-bit).
constexpr int kMaxSide = 65535;

// Each reader returns false with a one-line "path: reason" in *error.
bool ReadDepthPfm(const std::string& path, DepthImage* image, std::string* error);
bool ReadPatternImage(const std::string& path, ColourImage* image, std::string* error);

// "P7" header, DEPTH 4, MAXVAL 65535, TUPLTYPE RGB_ALPHA, big-endian samples.
std::vector<uint8_t> EncodePam(const ColourImage& image);

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);
// Writes to a hidden temporary name beside path, then renames it over path, so that path only
// ever holds a complete file.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error);

}  // namespace zavolhost
