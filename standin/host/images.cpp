// Reading PFM and PAM pictures and writing 16-bit RGBA PAM for the host program: file access
// here, every format detail in the netpbm module.
#include "standin/host/images.h"

#include <cmath>
#include <cstdio>

#include "io/atomic_file.h"
#include "io/netpbm.h"

namespace zavolhost {
namespace {

namespace netpbm = zavol::netpbm;

static_assert(kMaxSide == netpbm::kMaxSide, "one limit for the bitmaps and the files");

uint16_t UnitToSample(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value >= 1.0f) return 65535;
  return static_cast<uint16_t>(std::lround(static_cast<double>(value) * 65535.0));
}

// Puts the file's name in front of a reason; false, for returning.
bool NamingFile(const std::string& path, std::string* error) {
  *error = path + ": " + *error;
  return false;
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
  return zavol::files::WriteFileAtomically(path, bytes.data(), bytes.size(), error) ||
         NamingFile(path, error);
}

bool ReadDepthPfm(const std::string& path, DepthImage* image, std::string* error) {
  std::vector<uint8_t> bytes;
  netpbm::PfmImage pfm;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  if (!netpbm::DecodePfm(bytes.data(), bytes.size(), &pfm, error)) return NamingFile(path, error);
  // A colour PFM carries depth in its first channel; the values are taken as they are.
  image->width = pfm.width;
  image->height = pfm.height;
  const std::size_t pixels = static_cast<std::size_t>(pfm.width) * pfm.height;
  image->depth.resize(pixels);
  for (std::size_t i = 0; i < pixels; ++i) image->depth[i] = pfm.values[i * pfm.channels];
  return true;
}

bool ReadPatternImage(const std::string& path, ColourImage* image, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes, error)) return false;
  if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '7') {
    netpbm::PamImage pam;
    if (!netpbm::DecodePam(bytes.data(), bytes.size(), &pam, error) ||
        !netpbm::PamToRgba16(pam, &image->samples, error)) {
      return NamingFile(path, error);
    }
    image->width = pam.width;
    image->height = pam.height;
    return true;
  }
  netpbm::PfmImage pfm;
  if (!netpbm::DecodePfm(bytes.data(), bytes.size(), &pfm, error)) return NamingFile(path, error);
  // Colour PFM values are fractions of full intensity; a grey PFM gives grey dots.
  image->width = pfm.width;
  image->height = pfm.height;
  const std::size_t pixels = static_cast<std::size_t>(pfm.width) * pfm.height;
  image->samples.assign(pixels * 4, 65535);
  for (std::size_t i = 0; i < pixels; ++i) {
    for (int c = 0; c < 3; ++c) {
      const float value = pfm.values[i * pfm.channels + (pfm.channels == 3 ? c : 0)];
      image->samples[i * 4 + c] = UnitToSample(value);
    }
  }
  return true;
}

std::vector<uint8_t> EncodePam(const ColourImage& image) {
  return netpbm::EncodeRgba16Pam(image.width, image.height, image.samples);
}

}  // namespace zavolhost
