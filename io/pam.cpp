// PAM and PFM images through the netpbm module: 16-bit RGBA frames out as PAM (big-endian
// samples, exact) or as float RGB PFM, pattern images in.
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"
#include "io/netpbm.h"

namespace zavol::io {

Image64 ReadPngImage(const std::string& path, FILE* file);  // png_read.cpp

namespace {

class PamWriter final : public RowWriter {
 public:
  PamWriter(FILE* out, const std::string& path, int width, int height)
      : out_(out), path_(path), samples_(static_cast<std::size_t>(width) * 4),
        bytes_(samples_.size() * 2), width_(width) {
    const std::string header = netpbm::Rgba16PamHeader(width, height);
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) Fail();
  }
  void WriteRow(const Pixel64* row) override {
    for (int x = 0; x < width_; ++x) {
      uint16_t* s = &samples_[static_cast<std::size_t>(x) * 4];
      s[0] = row[x].r, s[1] = row[x].g, s[2] = row[x].b, s[3] = row[x].a;
    }
    netpbm::StoreBigEndian16(samples_.data(), samples_.size(), bytes_.data());
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
  std::vector<uint16_t> samples_;
  std::vector<unsigned char> bytes_;
  int width_;
};

// PFM keeps its rows bottom-up, so the frame is gathered and written at the end.
class PfmWriter final : public RowWriter {
 public:
  PfmWriter(FILE* out, const std::string& path, int width, int height) : out_(out), path_(path) {
    image_.width = width;
    image_.height = height;
    image_.channels = 3;
    // Reserved whole, so that no row reallocates.
    try {
      image_.values.reserve(static_cast<std::size_t>(width) * height * 3);
    } catch (const std::bad_alloc&) {
      throw IoError(path, "frame is too large for memory");
    }
  }
  void WriteRow(const Pixel64* row) override {
    for (int x = 0; x < image_.width; ++x) {
      for (uint16_t channel : {row[x].r, row[x].g, row[x].b}) image_.values.push_back(channel / 65535.0f);
    }
  }
  void Finish() override {
    std::vector<uint8_t> bytes;
    try {
      bytes = netpbm::EncodePfm(image_, true);
    } catch (const std::bad_alloc&) {
      throw IoError(path_, "frame is too large for memory");
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size() || std::fflush(out_) != 0) {
      throw IoError(path_, std::string("cannot write (") + std::strerror(errno) + ")");
    }
  }

 private:
  FILE* out_;
  std::string path_;
  netpbm::PfmImage image_;
};

// A PAM file, or with pnm a binary PPM or PGM one.
Image64 ReadPamImage(const std::string& path, FILE* file, uint64_t size, bool pnm = false) {
  const std::vector<uint8_t> head = ReadPrefix(file, netpbm::kMaxHeaderBytes, path);
  netpbm::PamHeader header;
  std::string error;
  const bool parsed =
      pnm ? netpbm::ParsePnmHeader(head.data(), head.size(), size, &header, &error)
          : netpbm::ParsePamHeader(head.data(), head.size(), size, &header, &error);
  if (!parsed) throw IoError(path, error);
  // The file's bytes, the samples widened to 16 bits, the colours, and the image.
  const uint64_t pixels = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height);
  if (!FitsInMemory(header.DataBytes() * 3 + pixels * 16)) {
    throw IoError(path, "image is too large for memory");
  }
  std::rewind(file);
  const std::vector<uint8_t> bytes =
      ReadPrefix(file, static_cast<std::size_t>(header.dataOffset + header.DataBytes()), path);
  netpbm::PamImage pam;
  std::vector<uint16_t> rgba;
  const bool decoded = pnm ? netpbm::DecodePnm(bytes.data(), bytes.size(), &pam, &error)
                           : netpbm::DecodePam(bytes.data(), bytes.size(), &pam, &error);
  if (!decoded ||
      !netpbm::PamToRgba16(pam, &rgba, &error)) {
    throw IoError(path, error);
  }
  Image64 image;
  image.width = pam.width;
  image.height = pam.height;
  image.pixels.resize(static_cast<std::size_t>(pixels));
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    image.pixels[i] = Pixel64{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
  }
  return image;
}

}  // namespace

std::unique_ptr<RowWriter> MakePamWriter(FILE* out, const std::string& path, int width,
                                         int height) {
  return std::make_unique<PamWriter>(out, path, width, height);
}

std::unique_ptr<RowWriter> MakePfmWriter(FILE* out, const std::string& path, int width,
                                         int height) {
  return std::make_unique<PfmWriter>(out, path, width, height);
}

Image64 ReadImage(const std::string& path) {
  InputSource input(path);
  return ReadImageFrom(input);
}

Image64 ReadPnmImageFrom(InputSource& input) {
  input.Rewind();
  return ReadPamImage(input.Name(), input.Stream(), input.Size(), true);
}

Image64 ReadImageFrom(InputSource& input) {
  FILE* file = input.Stream();
  unsigned char magic[8] = {};
  const std::size_t got = std::fread(magic, 1, 8, file);
  if (got >= 2 && magic[0] == 'P' && magic[1] == '7') {
    input.Rewind();
    return ReadPamImage(input.Name(), file, input.Size());
  }
  static const unsigned char kPng[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  if (got == 8 && std::memcmp(magic, kPng, 8) == 0) return ReadPngImage(input.Name(), file);
  throw IoError(input.Name(), "not a PNG or PAM image");
}

}  // namespace zavol::io
