// JPEG pictures through libjpeg, for the decoder: stereograms from other tools often come as
// JPEG. Any warning (a file cut short, a damaged segment) is an error: a half-filled picture
// would decode to nonsense. Depends on libjpeg and the readers' input handling.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <jpeglib.h>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"

namespace zavol::io {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Fail(j_common_ptr info) {
  ErrorManager* errors = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// Level -1 is a warning about damaged data; the others are traces.
void Message(j_common_ptr info, int level) {
  if (level < 0) Fail(info);
}

// Decodes into image; every C++ object it touches is the caller's, made before the jump point,
// so the long jump out of libjpeg skips no destructor.
bool Decode(jpeg_decompress_struct& info, ErrorManager& errors, FILE* file, Image64& image,
            std::vector<JSAMPLE>& row, std::string& failure) {
  if (setjmp(errors.jump) != 0) {
    failure = std::string("truncated or damaged JPEG image (") + errors.message + ")";
    return false;
  }
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const uint64_t width = info.output_width, height = info.output_height;
  if (width == 0 || height == 0 || width > static_cast<uint64_t>(kMaxSide) ||
      height > static_cast<uint64_t>(kMaxSide)) {
    failure = "dimensions " + std::to_string(width) + "x" + std::to_string(height) +
              " are over " + std::to_string(kMaxSide);
    return false;
  }
  if (!FitsInMemory(width * height * sizeof(Pixel64))) {
    failure = "image is too large for memory";
    return false;
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(width * height);
  row.resize(width * 3);
  while (info.output_scanline < info.output_height) {
    const std::size_t y = info.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    Pixel64* out = image.pixels.data() + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      // 8-bit samples widened by 256, as the host widens its colours.
      out[x] = Pixel64{static_cast<uint16_t>(row[3 * x] << 8),
                       static_cast<uint16_t>(row[3 * x + 1] << 8),
                       static_cast<uint16_t>(row[3 * x + 2] << 8), 65535};
    }
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

Image64 ReadPicture(const std::string& path) {
  InputSource input(path);
  unsigned char magic[3] = {};
  const std::size_t got = std::fread(magic, 1, 3, input.Stream());
  input.Rewind();
  if (got < 3 || magic[0] != 0xFF || magic[1] != 0xD8 || magic[2] != 0xFF) {
    const bool png = got >= 1 && magic[0] == 137;
    const bool pam = got >= 2 && magic[0] == 'P' && magic[1] == '7';
    const bool pnm = got >= 2 && magic[0] == 'P' && (magic[1] == '5' || magic[1] == '6');
    if (pnm) return ReadPnmImageFrom(input);
    if (!png && !pam) throw IoError(input.Name(), "not a PNG, PAM, PPM, PGM or JPEG image");
    return ReadImageFrom(input);
  }
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = Fail;
  errors.base.emit_message = Message;
  jpeg_create_decompress(&info);
  Image64 image;
  std::vector<JSAMPLE> row;
  std::string failure;
  bool done = false;
  try {
    done = Decode(info, errors, input.Stream(), image, row, failure);
  } catch (const std::bad_alloc&) {
    failure = "image is too large for memory";
  }
  jpeg_destroy_decompress(&info);
  if (!done) throw IoError(input.Name(), failure);
  return image;
}

}  // namespace zavol::io
