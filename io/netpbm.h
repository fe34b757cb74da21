// PFM and PAM, read and written on bytes in memory: the one parser and writer of both formats for
// the command-line tool, the stand-in host program and the tests. No file I/O, no printing;
// C++17 and the standard library only, so it builds for MinGW as well as natively.
//
// Errors are one line of printable text without the file's name, which the caller puts in front.
// Every size taken from a header is checked (sides, their products, the bytes the file holds)
// before anything is allocated with it, so a decoded image never needs more memory than a small
// multiple of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zavol::netpbm {

// Largest side either format may declare: the host's bitmaps count pixels in 16 bits.
constexpr int64_t kMaxSide = 65535;

// Headers, '#' comments included, end within this many bytes. A caller that reads a file in
// pieces hands the header parsers at least the file's first min(file size, kMaxHeaderBytes).
constexpr std::size_t kMaxHeaderBytes = 65536;

// ---- PFM: "Pf" (grey) or "PF" (colour), width, height, scale; then 32-bit reals, rows stored
// bottom-up, little-endian when the scale is negative.

struct PfmHeader {
  int width = 0;
  int height = 0;
  int channels = 0;           // 1 for Pf, 3 for PF
  bool littleEndian = false;  // the scale's sign
  std::size_t dataOffset = 0; // first sample byte
  std::size_t RowBytes() const { return static_cast<std::size_t>(width) * channels * 4; }
  uint64_t DataBytes() const { return static_cast<uint64_t>(RowBytes()) * height; }
};

// Parses the header at the start of a file of fileSize bytes whose first size bytes are at data,
// and checks that the file holds every sample it declares.
bool ParsePfmHeader(const uint8_t* data, std::size_t size, uint64_t fileSize, PfmHeader* header,
                    std::string* error);

// One stored row (header.RowBytes() bytes) into width values of the given channel.
void DecodePfmRow(const PfmHeader& header, const uint8_t* row, int channel, float* values);

struct PfmImage {
  int width = 0;
  int height = 0;
  int channels = 1;
  std::vector<float> values;  // width * height * channels, top row first, channels interleaved
};

bool DecodePfm(const uint8_t* data, std::size_t size, PfmImage* image, std::string* error);
// Bit-exact: values are stored as they are, NaN payloads included.
std::vector<uint8_t> EncodePfm(const PfmImage& image, bool littleEndian);

// ---- PAM: "P7", then WIDTH, HEIGHT, DEPTH, MAXVAL and TUPLTYPE lines up to ENDHDR; samples
// interleaved by pixel, rows top-down, big-endian when MAXVAL is 65535. Only what the host's
// bitmaps can take: DEPTH 1 to 4, MAXVAL 255 or 65535.

struct PamHeader {
  int width = 0;
  int height = 0;
  int depth = 0;
  int maxval = 0;
  std::string tupleType;      // empty when the header names none
  std::size_t dataOffset = 0;
  int SampleBytes() const { return maxval < 256 ? 1 : 2; }
  uint64_t DataBytes() const {
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * depth * SampleBytes();
  }
};

bool ParsePamHeader(const uint8_t* data, std::size_t size, uint64_t fileSize, PamHeader* header,
                    std::string* error);

struct PamImage {
  int width = 0;
  int height = 0;
  int depth = 0;
  int maxval = 0;
  std::string tupleType;
  std::vector<uint16_t> samples;  // width * height * depth, as stored (0..maxval)
};

bool DecodePam(const uint8_t* data, std::size_t size, PamImage* image, std::string* error);

// ---- PPM and PGM, binary: "P6" (colour) or "P5" (grey), WIDTH, HEIGHT and MAXVAL (1..65535)
// as whitespace-separated tokens, one whitespace byte, then the samples: one byte each when
// MAXVAL is below 256, else two, big-endian. Read into the PAM structures: DEPTH 3 or 1, no
// TUPLTYPE, and the samples rescaled to MAXVAL 255 or 65535 so that PamToRgba16 takes them.
bool ParsePnmHeader(const uint8_t* data, std::size_t size, uint64_t fileSize, PamHeader* header,
                    std::string* error);
bool DecodePnm(const uint8_t* data, std::size_t size, PamImage* image, std::string* error);
std::vector<uint8_t> EncodePam(const PamImage& image);

// The header EncodePam writes, for writers that stream the samples after it.
std::string PamHeaderText(int width, int height, int depth, int maxval, const std::string& tupleType);

// Colour as the host holds it: four 16-bit channels red, green, blue, alpha per pixel. Grey
// fills all three colours, a missing alpha is full, 8-bit samples are widened by 256 as the host
// widens its 8-bit colours. Fails when TUPLTYPE names something other than the grey or RGB type
// of that DEPTH (CMYK, say), which would otherwise be read as the wrong colours.
bool PamToRgba16(const PamImage& image, std::vector<uint16_t>* rgba, std::string* error);

// The frame format of the tool and the host program: DEPTH 4, MAXVAL 65535, TUPLTYPE RGB_ALPHA.
std::string Rgba16PamHeader(int width, int height);
// count 16-bit samples as big-endian bytes (2 * count of them).
void StoreBigEndian16(const uint16_t* samples, std::size_t count, uint8_t* bytes);
std::vector<uint8_t> EncodeRgba16Pam(int width, int height, const std::vector<uint16_t>& rgba);

}  // namespace zavol::netpbm
