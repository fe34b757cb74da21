// PNG inputs through libpng: height maps (any grey or colour type; the red or grey sample is
// the height, alpha 0 is background) and pattern images. Raw codes: no gamma is applied.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"
#include "io/png_decode.h"

namespace zavol::io {
namespace {

// libpng reports errors by longjmp; the message is kept for the one line the user sees.
struct PngErrorSink {
  std::string message;
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
  if (sink != nullptr) sink->message = message;
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Owns libpng's read structures.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngErrorSink errors;
  ~PngReader() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

void CheckSignature(const std::string& path, FILE* file) {
  png_byte signature[8];
  if (std::fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    throw IoError(path, "not a PNG file");
  }
}

[[noreturn]] void ThrowDamaged(const std::string& path, const std::string& message) {
  throw IoError(path, "truncated or damaged PNG (" + message + ")");
}

// Sets up reader after the signature: structures, limits, the file.
void Prepare(PngReader& reader, FILE* file) {
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader.errors, OnPngError,
                                      OnPngWarning);
  if (reader.png == nullptr) throw std::bad_alloc();
  reader.info = png_create_info_struct(reader.png);
  if (reader.info == nullptr) throw std::bad_alloc();
  png_init_io(reader.png, file);
  png_set_sig_bytes(reader.png, 8);
  // The sides are checked against the host's limit by us, with a message that says so.
  png_set_user_limits(reader.png, 0x7fffffff, 0x7fffffff);
#if defined(PNG_IGNORE_ADLER32)
  // Every chunk keeps its CRC check; the stream checksum repeats it at a cost of one more pass
  // over the whole image.
  png_set_option(reader.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
}

// Runs step under libpng's error handling: false when libpng reported an error (its message is
// in reader.errors). libpng leaves by longjmp, which skips destructors and leaves the locals of
// the function that called setjmp undefined if they changed; so setjmp is here, in a frame with
// nothing of its own, and each step keeps its buffers outside and makes no objects of its own.
template <class Step>
bool Guarded(PngReader& reader, Step&& step) {
  if (setjmp(png_jmpbuf(reader.png))) return false;
  step();
  return true;
}

}  // namespace

void ReadPngDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map) {
  InputSource input(path);
  ReadPngDepth(input, options, map);
}

void ReadPngDepth(InputSource& input, const DepthReadOptions& options, DepthMap& map) {
  if (!ReadPngDepthWhole(input, options, map)) ReadPngDepthWithLibpng(input, options, map);
}

void ReadPngDepthWithLibpng(InputSource& input, const DepthReadOptions& options, DepthMap& map) {
  const std::string& path = input.Name();
  FILE* file = input.Stream();
  CheckSignature(path, file);
  PngReader reader;
  Prepare(reader, file);
  png_structp png = reader.png;
  png_infop info = reader.info;
  int64_t width = 0, height = 0;
  int passes = 1, channels = 1, bytesPerSample = 1;
  bool hasAlpha = false;
  std::size_t rowSize = 0;
  if (!Guarded(reader, [&] {
        png_read_info(png, info);
        width = png_get_image_width(png, info);
        height = png_get_image_height(png, info);
        const int colourType = png_get_color_type(png, info);
        if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
          png_set_expand_gray_1_2_4_to_8(png);
        }
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
        channels = png_get_channels(png, info);
        bytesPerSample = png_get_bit_depth(png, info) == 16 ? 2 : 1;
        hasAlpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0;
        rowSize = png_get_rowbytes(png, info);
      })) {
    ThrowDamaged(path, reader.errors.message);
  }
  SizeDepthMap(path, width, height, map);
  const DepthKind kind = options.kind.value_or(DepthKind::kHeight);
  map.format = DepthFormat::kPng;
  map.kind = kind;
  const float scale = bytesPerSample == 2 ? 1.0f / 65535.0f : 1.0f / 255.0f;

  auto convertRow = [&](const png_byte* bytes, float* out) {
    const std::size_t pixelBytes = static_cast<std::size_t>(channels) * bytesPerSample;
    const std::size_t alphaOffset = (channels - 1) * static_cast<std::size_t>(bytesPerSample);
    for (int64_t x = 0; x < width; ++x) {
      const png_byte* p = bytes + x * pixelBytes;
      const unsigned code = bytesPerSample == 2 ? (p[0] << 8 | p[1]) : p[0];
      const bool transparent =
          hasAlpha && p[alphaOffset] == 0 && (bytesPerSample == 1 || p[alphaOffset + 1] == 0);
      out[x] = transparent ? kBackgroundDepth
                           : ToEngineDepth(kind, static_cast<float>(code) * scale,
                                           options.farCutoff);
    }
  };

  std::vector<png_byte> rowBytes;
  std::vector<png_byte> wholeImage;
  std::vector<png_bytep> rowPointers;
  bool read = false;
  if (passes == 1) {
    // Row by row straight into the depth map: one small buffer, no copy of the image.
    rowBytes.resize(rowSize);
    read = Guarded(reader, [&] {
      for (int64_t y = 0; y < height; ++y) {
        png_read_row(png, rowBytes.data(), nullptr);
        convertRow(rowBytes.data(), map.depth.data() + static_cast<std::size_t>(y) * width);
      }
      png_read_end(png, nullptr);
    });
  } else {
    if (!FitsInMemory(static_cast<uint64_t>(rowSize) * height)) {
      throw IoError(path, "interlaced image is too large for memory");
    }
    wholeImage.resize(rowSize * static_cast<std::size_t>(height));
    rowPointers.resize(static_cast<std::size_t>(height));
    for (int64_t y = 0; y < height; ++y) rowPointers[y] = wholeImage.data() + y * rowSize;
    read = Guarded(reader, [&] {
      png_read_image(png, rowPointers.data());
      png_read_end(png, nullptr);
    });
    if (read) {
      for (int64_t y = 0; y < height; ++y) {
        convertRow(rowPointers[y], map.depth.data() + static_cast<std::size_t>(y) * width);
      }
    }
  }
  if (!read) ThrowDamaged(path, reader.errors.message);
}

Image64 ReadPngImage(const std::string& path, FILE* file) {
  PngReader reader;
  Prepare(reader, file);
  png_structp png = reader.png;
  png_infop info = reader.info;
  int64_t width = 0, height = 0;
  bool sixteen = false;
  std::size_t rowSize = 0;
  if (!Guarded(reader, [&] {
        png_read_info(png, info);
        width = png_get_image_width(png, info);
        height = png_get_image_height(png, info);
        png_set_expand(png);  // palette to RGB, small grey to 8 bits, tRNS to alpha
        png_set_gray_to_rgb(png);
        sixteen = png_get_bit_depth(png, info) == 16;
        png_set_add_alpha(png, sixteen ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        rowSize = png_get_rowbytes(png, info);
      })) {
    ThrowDamaged(path, reader.errors.message);
  }
  if (width > kMaxSide || height > kMaxSide) {
    throw IoError(path, "dimensions " + std::to_string(width) + "x" + std::to_string(height) +
                            " are over 65535, the host's limit");
  }
  if (!FitsInMemory(static_cast<uint64_t>(rowSize) * height * 2)) {
    throw IoError(path, "image is too large for memory");
  }
  std::vector<png_byte> pixels(rowSize * static_cast<std::size_t>(height));
  std::vector<png_bytep> rowPointers(static_cast<std::size_t>(height));
  for (int64_t y = 0; y < height; ++y) rowPointers[y] = pixels.data() + y * rowSize;
  if (!Guarded(reader, [&] {
        png_read_image(png, rowPointers.data());
        png_read_end(png, nullptr);
      })) {
    ThrowDamaged(path, reader.errors.message);
  }

  Image64 image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<std::size_t>(width) * height);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    uint16_t c[4];
    for (int k = 0; k < 4; ++k) {
      // 8-bit samples widen by 256, as the host widens its 8-bit colours.
      c[k] = sixteen ? static_cast<uint16_t>(pixels[i * 8 + 2 * k] << 8 | pixels[i * 8 + 2 * k + 1])
                     : static_cast<uint16_t>(pixels[i * 4 + k] << 8);
    }
    image.pixels[i] = Pixel64{c[0], c[1], c[2], c[3]};
  }
  return image;
}

}  // namespace zavol::io
