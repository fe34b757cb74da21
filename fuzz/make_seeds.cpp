// Writes the seed files of the reader fuzz targets: small files of every kind the readers
// accept, so that the fuzzer starts inside each format rather than at its signature.
// Usage: make_seeds CORPUS_FOLDER (its pfm/, png/, exr/, pattern/, netpbm/ and settings/ are
// filled).
#include <ImfChannelList.h>
#include <ImfDeepFrameBuffer.h>
#include <ImfDeepScanLineOutputFile.h>
#include <ImfDeepTiledOutputFile.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfTiledOutputFile.h>
#include <half.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/netpbm.h"
#include "render/settings.h"
#include "fuzz/exr_every_attribute.h"

namespace {

namespace fs = std::filesystem;

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Words(const std::vector<float>& values, bool littleEndian) {
  std::string bytes;
  for (float v : values) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);  // this machine is little-endian
    if (!littleEndian) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
    bytes.append(reinterpret_cast<const char*>(b), 4);
  }
  return bytes;
}

void Pfm(const fs::path& folder) {
  const float inf = std::numeric_limits<float>::infinity();
  WriteBytes(folder / "grey_le.pfm", "Pf\n3 2\n-1.0\n" + Words({-1, -2, -3, -4, -5, -1e30f}, true));
  WriteBytes(folder / "grey_be.pfm", "Pf\n2 2\n1.0\n" + Words({0.5f, 2, inf, -inf}, false));
  WriteBytes(folder / "colour.pfm", "PF\n2 1\n-0.5\n" + Words({1, 2, 3, 4, 5, 6}, true));
  WriteBytes(folder / "one.pfm", "Pf 1 1 -1 " + Words({-7}, true));
}

// A PNG through libpng; rows are given already packed for the colour type and depth.
void Png(const fs::path& path, int width, int height, int colourType, int bitDepth, bool interlaced,
         const std::vector<png_byte>& packed, const std::vector<png_color>& palette = {},
         const std::vector<png_byte>& transparency = {}) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path.string());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    throw std::runtime_error("libpng failed on " + path.string());
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, colourType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!transparency.empty()) {
    png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()), nullptr);
  }
  png_write_info(png, info);
  const std::size_t rowBytes = packed.size() / height;
  std::vector<png_bytep> rows(height);
  for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(packed.data()) + y * rowBytes;
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

std::vector<png_byte> Ramp(std::size_t count, int step) {
  std::vector<png_byte> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<png_byte>(i * step);
  return bytes;
}

void PngSeeds(const fs::path& folder) {
  Png(folder / "grey8.png", 5, 4, PNG_COLOR_TYPE_GRAY, 8, false, Ramp(20, 13));
  Png(folder / "grey16.png", 3, 3, PNG_COLOR_TYPE_GRAY, 16, false, Ramp(18, 29));
  Png(folder / "grey1.png", 9, 3, PNG_COLOR_TYPE_GRAY, 1, false, Ramp(6, 85));
  Png(folder / "grey_alpha16.png", 2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, Ramp(16, 17));
  Png(folder / "rgba8.png", 4, 2, PNG_COLOR_TYPE_RGBA, 8, false, Ramp(32, 9));
  Png(folder / "rgb16.png", 2, 2, PNG_COLOR_TYPE_RGB, 16, false, Ramp(24, 11));
  Png(folder / "interlaced.png", 7, 7, PNG_COLOR_TYPE_GRAY, 8, true, Ramp(49, 5));
  Png(folder / "palette_trns.png", 4, 4, PNG_COLOR_TYPE_PALETTE, 2, false, Ramp(4, 0x1B),
      {{0, 0, 0}, {90, 90, 90}, {180, 180, 180}, {255, 255, 255}}, {0, 255, 128});
}

// Depth values for w x h pixels: a slope with some sky.
std::vector<float> Distances(int width, int height) {
  std::vector<float> values(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = i % 7 == 0 ? 1e10f : 1.0f + i * 0.25f;
  return values;
}

void Scanline(const fs::path& path, Imf::Compression compression, bool halfDepth, const char* channel,
              bool everyAttributeType = false) {
  const int width = 8, height = 6;
  Imf::Header header(width, height);
  header.compression() = compression;
  if (everyAttributeType) exrtest::AddEveryAttributeType(header);
  header.channels().insert(channel, Imf::Channel(halfDepth ? Imf::HALF : Imf::FLOAT));
  const std::vector<float> values = Distances(width, height);
  std::vector<half> halves(values.begin(), values.end());
  Imf::OutputFile file(path.c_str(), header);
  Imf::FrameBuffer frameBuffer;
  if (halfDepth) {
    frameBuffer.insert(channel, Imf::Slice(Imf::HALF, reinterpret_cast<char*>(halves.data()),
                                           sizeof(half), sizeof(half) * width));
  } else {
    frameBuffer.insert(channel, Imf::Slice(Imf::FLOAT, const_cast<char*>(reinterpret_cast<const char*>(values.data())),
                                           sizeof(float), sizeof(float) * width));
  }
  file.setFrameBuffer(frameBuffer);
  file.writePixels(height);
}

void Tiled(const fs::path& path) {
  const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(6, 4));
  const Imath::Box2i data(Imath::V2i(-1, 1), Imath::V2i(7, 5));
  const int dataWidth = 9, dataHeight = 5;
  Imf::Header header(display, data);
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  header.setTileDescription(Imf::TileDescription(4, 2, Imf::ONE_LEVEL));
  const std::vector<float> values = Distances(dataWidth, dataHeight);
  Imf::TiledOutputFile file(path.c_str(), header);
  Imf::FrameBuffer frameBuffer;
  frameBuffer.insert("Z", Imf::Slice::Make(Imf::FLOAT, values.data(), data, sizeof(float),
                                           sizeof(float) * dataWidth));
  file.setFrameBuffer(frameBuffer);
  file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
}

void MultiPart(const fs::path& path) {
  const int width = 5, height = 3;
  std::vector<Imf::Header> headers(2, Imf::Header(width, height));
  headers[0].setName("beauty");
  headers[0].setType(Imf::SCANLINEIMAGE);
  headers[0].channels().insert("R", Imf::Channel(Imf::HALF));
  headers[1].setName("depth");
  headers[1].setType(Imf::SCANLINEIMAGE);
  headers[1].channels().insert("ViewLayer.Depth.Z", Imf::Channel(Imf::FLOAT));
  std::vector<half> red(width * height, half(0.5f));
  std::vector<float> depth = Distances(width, height);
  Imf::MultiPartOutputFile file(path.c_str(), headers.data(), 2);
  {
    Imf::OutputPart out(file, 0);
    Imf::FrameBuffer frameBuffer;
    frameBuffer.insert("R", Imf::Slice(Imf::HALF, reinterpret_cast<char*>(red.data()), sizeof(half),
                                       sizeof(half) * width));
    out.setFrameBuffer(frameBuffer);
    out.writePixels(height);
  }
  {
    Imf::OutputPart out(file, 1);
    Imf::FrameBuffer frameBuffer;
    frameBuffer.insert("ViewLayer.Depth.Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(depth.data()),
                                                       sizeof(float), sizeof(float) * width));
    out.setFrameBuffer(frameBuffer);
    out.writePixels(height);
  }
}

// Deep pixels: 0, 1 or 2 samples each.
struct DeepData {
  int width, height;
  std::vector<unsigned> counts;
  std::vector<float> samples;
  std::vector<float*> pointers;
  DeepData(int w, int h) : width(w), height(h), counts(static_cast<std::size_t>(w) * h) {
    for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = static_cast<unsigned>(i % 3);
    std::size_t total = 0;
    for (unsigned c : counts) total += c;
    samples.resize(total);
    for (std::size_t i = 0; i < total; ++i) samples[i] = 2.0f + static_cast<float>(i);
    std::size_t offset = 0;
    for (unsigned c : counts) {
      pointers.push_back(samples.data() + offset);
      offset += c;
    }
  }
  Imf::DeepFrameBuffer FrameBuffer() {
    Imf::DeepFrameBuffer frameBuffer;
    frameBuffer.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char*>(counts.data()),
                                                  sizeof(unsigned), sizeof(unsigned) * width));
    frameBuffer.insert("Z", Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char*>(pointers.data()),
                                           sizeof(float*), sizeof(float*) * width, sizeof(float)));
    return frameBuffer;
  }
};

void DeepScanline(const fs::path& path) {
  DeepData deep(4, 3);
  Imf::Header header(deep.width, deep.height);
  header.setType(Imf::DEEPSCANLINE);
  header.compression() = Imf::ZIPS_COMPRESSION;
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  Imf::DeepScanLineOutputFile file(path.c_str(), header);
  file.setFrameBuffer(deep.FrameBuffer());
  file.writePixels(deep.height);
}

void DeepTiled(const fs::path& path) {
  DeepData deep(5, 3);
  Imf::Header header(deep.width, deep.height);
  header.setType(Imf::DEEPTILE);
  header.compression() = Imf::RLE_COMPRESSION;
  header.setTileDescription(Imf::TileDescription(2, 2, Imf::ONE_LEVEL));
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  Imf::DeepTiledOutputFile file(path.c_str(), header);
  file.setFrameBuffer(deep.FrameBuffer());
  file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
}

void ExrSeeds(const fs::path& folder) {
  Scanline(folder / "float_none.exr", Imf::NO_COMPRESSION, false, "Z");
  Scanline(folder / "float_zip.exr", Imf::ZIP_COMPRESSION, false, "Z");
  Scanline(folder / "half_piz.exr", Imf::PIZ_COMPRESSION, true, "Z");
  Scanline(folder / "half_rle.exr", Imf::RLE_COMPRESSION, true, "Z");
  Scanline(folder / "half_b44.exr", Imf::B44_COMPRESSION, true, "depth.Z");
  Scanline(folder / "float_pxr24.exr", Imf::PXR24_COMPRESSION, false, "Z");
  Scanline(folder / "float_dwaa.exr", Imf::DWAA_COMPRESSION, false, "Z");
  Scanline(folder / "every_attribute.exr", Imf::RLE_COMPRESSION, false, "Z", true);
  Tiled(folder / "tiled.exr");
  MultiPart(folder / "multipart.exr");
  DeepScanline(folder / "deep_scanline.exr");
  DeepTiled(folder / "deep_tiled.exr");
}

// A PAM through the netpbm module, with a comment put in before TUPLTYPE (the module never
// writes one) so that the fuzzer starts with comments too.
std::string Pam(int width, int height, int depth, int maxval, const char* tuple) {
  zavol::netpbm::PamImage image;
  image.width = width, image.height = height, image.depth = depth, image.maxval = maxval;
  image.tupleType = tuple;
  // Sample bytes k * 37 in file order: a 16-bit sample takes two of them, high byte first.
  const int sampleBytes = maxval == 255 ? 1 : 2;
  for (int i = 0; i < width * height * depth; ++i) {
    uint16_t sample = 0;
    for (int k = i * sampleBytes; k < (i + 1) * sampleBytes; ++k) {
      sample = static_cast<uint16_t>(sample << 8 | static_cast<uint8_t>(k * 37));
    }
    image.samples.push_back(sample);
  }
  const std::vector<uint8_t> bytes = zavol::netpbm::EncodePam(image);
  std::string text(bytes.begin(), bytes.end());
  return text.insert(text.find("TUPLTYPE"), "# a comment\n");
}

void PatternSeeds(const fs::path& folder) {
  Png(folder / "rgb8.png", 3, 3, PNG_COLOR_TYPE_RGB, 8, false, Ramp(27, 19));
  Png(folder / "rgba16.png", 2, 2, PNG_COLOR_TYPE_RGBA, 16, false, Ramp(32, 7));
  Png(folder / "palette.png", 3, 2, PNG_COLOR_TYPE_PALETTE, 4, true, Ramp(4, 0x12),
      {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}});
  WriteBytes(folder / "rgb.pam", Pam(3, 2, 3, 255, "RGB"));
  WriteBytes(folder / "grey_alpha16.pam", Pam(2, 2, 2, 65535, "GRAYSCALE_ALPHA"));
  WriteBytes(folder / "rgba16.pam", Pam(1, 3, 4, 65535, "RGB_ALPHA"));
}

// The netpbm module on bytes: both formats, comments, both byte orders, a tuple type that does
// not fit its depth.
void NetpbmSeeds(const fs::path& folder) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  WriteBytes(folder / "comments.pfm",
             "Pf\n# depth\n3 # wide\n2\n-1.0\n" + Words({-1, -2, nan, -4, -5, -1e30f}, true));
  zavol::netpbm::PfmImage colour;
  colour.width = 1, colour.height = 2, colour.channels = 3;
  colour.values = {0.5f, -0.0f, 1e-40f, 7, 8, 9};
  const std::vector<uint8_t> be = zavol::netpbm::EncodePfm(colour, false);
  WriteBytes(folder / "colour_be.pfm", std::string(be.begin(), be.end()));
  WriteBytes(folder / "grey8.pam", Pam(3, 1, 1, 255, "GRAYSCALE"));
  WriteBytes(folder / "rgba16.pam", Pam(2, 2, 4, 65535, "RGB_ALPHA"));
  WriteBytes(folder / "cmyk.pam", Pam(1, 1, 4, 255, "CMYK"));
}

void SettingsSeeds(const fs::path& folder) {
  auto block = [](const StereogramSettings& settings) {
    std::string bytes(kSettingsSize, '\0');
    SaveSettings(settings, bytes.data());
    return bytes;
  };
  StereogramSettings settings = DefaultSettings();
  WriteBytes(folder / "defaults", block(settings));
  settings.NearObjectDepth = std::numeric_limits<float>::quiet_NaN();
  settings.BackgroundDepth = -std::numeric_limits<float>::infinity();
  settings.ViewingMedium = 5000;
  settings.RampMode = -7;
  settings.PutGuidePoints = 2;
  WriteBytes(folder / "odd_values", block(settings));
  WriteBytes(folder / "short", block(DefaultSettings()).substr(0, 55));
  WriteBytes(folder / "long", block(DefaultSettings()) + "x");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds CORPUS_FOLDER\n");
    return 2;
  }
  try {
    const fs::path root(argv[1]);
    for (const char* target : {"pfm", "png", "exr", "pattern", "netpbm", "settings"}) {
      fs::create_directories(root / target);
    }
    Pfm(root / "pfm");
    PngSeeds(root / "png");
    ExrSeeds(root / "exr");
    PatternSeeds(root / "pattern");
    NetpbmSeeds(root / "netpbm");
    SettingsSeeds(root / "settings");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_seeds: %s\n", e.what());
    return 1;
  }
  return 0;
}
