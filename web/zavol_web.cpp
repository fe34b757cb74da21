// What the page needs beside the C interface, for the WebAssembly build only: the built-in scene,
// PFM reading, the decoder, and 16-bit pictures into 8-bit canvas pixels. Each call works on
// buffers the caller allocated in the module's memory and reports failure as a zavol_status or a
// message, never by aborting, so that the page keeps working after a bad file.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

#include "io/netpbm.h"
#include "libzavol/zavol.h"
#include "render/decode.h"
#include "render/scene.h"
#include "render/settings.h"

// The page writes these structs from JavaScript word by word: four 32-bit words each.
static_assert(sizeof(void*) != 4 || (sizeof(zavol_depth) == 16 && sizeof(zavol_image) == 16),
              "zavol_depth and zavol_image are pointer, width, height, stride");
// ... and reads the field table's rows at these offsets.
static_assert(sizeof(void*) != 4 ||
                  (offsetof(zavol_field_info, type) == 16 &&
                   offsetof(zavol_field_info, default_value) == 24 &&
                   offsetof(zavol_field_info, step) == 48 &&
                   offsetof(zavol_field_info, choice_count) == 56 &&
                   offsetof(zavol_field_info, choice_values) == 64),
              "zavol_field_info as the page reads it");

namespace {

void CopyMessage(const std::string& text, char* message, int size) {
  if (message == nullptr || size <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(message, text.data(), n);
  message[n] = '\0';
}

bool SidesOk(int width, int height) {
  return width > 0 && height > 0 && width <= ZAVOL_MAX_SIDE && height <= ZAVOL_MAX_SIDE;
}

}  // namespace

extern "C" {

// A zavol_options set up by zavol_options_default, in memory the caller frees; its size for
// the caller, which treats it as a block.
ZAVOL_API zavol_options* zavol_web_options_new(void) noexcept {
  auto* o = new (std::nothrow) zavol_options;
  if (o != nullptr) zavol_options_default(o);
  return o;
}
ZAVOL_API void zavol_web_options_free(zavol_options* o) noexcept { delete o; }
ZAVOL_API void zavol_web_options_copy(zavol_options* to, const zavol_options* from) noexcept {
  if (to != nullptr && from != nullptr) *to = *from;
}
// The dots' source image (null: the colour ramp).
ZAVOL_API void zavol_web_options_pattern(zavol_options* o, const zavol_image* pattern) noexcept {
  if (o != nullptr) o->pattern = pattern;
}
ZAVOL_API zavol_settings* zavol_web_settings_new(void) noexcept {
  auto* s = new (std::nothrow) zavol_settings;
  if (s != nullptr) zavol_settings_default(s);
  return s;
}
ZAVOL_API void zavol_web_settings_free(zavol_settings* s) noexcept { delete s; }

// Frame number frame of the built-in scene (a sphere before a tilted plane) in the engine's
// convention, into width * height floats.
ZAVOL_API int zavol_web_scene(float* out, int width, int height, int frame) noexcept {
  if (out == nullptr) return ZAVOL_E_NULL;
  if (!SidesOk(width, height)) return ZAVOL_E_SIZE;
  try {
    const std::vector<float> scene = zavol::MakeDemoSceneFrame(width, height, frame);
    std::memcpy(out, scene.data(), scene.size() * sizeof(float));
  } catch (const std::bad_alloc&) {
    return ZAVOL_E_NO_MEMORY;
  }
  return ZAVOL_OK;
}

// Reads a PFM file's header: its sides, or a message and 0.
ZAVOL_API int zavol_web_pfm_size(const uint8_t* data, size_t size, int* width, int* height,
                                 char* message, int messageSize) noexcept {
  if (data == nullptr || width == nullptr || height == nullptr) return ZAVOL_E_NULL;
  zavol::netpbm::PfmHeader header;
  std::string error;
  if (!zavol::netpbm::ParsePfmHeader(data, size, size, &header, &error)) {
    CopyMessage(error, message, messageSize);
    return ZAVOL_E_SIZE;
  }
  *width = header.width;
  *height = header.height;
  return ZAVOL_OK;
}

// A PFM file's first channel, top row first, into width * height floats (the sides
// zavol_web_pfm_size gave), as the file holds them.
ZAVOL_API int zavol_web_pfm_read(const uint8_t* data, size_t size, float* values,
                                 char* message, int messageSize) noexcept {
  if (data == nullptr || values == nullptr) return ZAVOL_E_NULL;
  zavol::netpbm::PfmHeader header;
  std::string error;
  if (!zavol::netpbm::ParsePfmHeader(data, size, size, &header, &error)) {
    CopyMessage(error, message, messageSize);
    return ZAVOL_E_SIZE;
  }
  // Stored bottom-up: the file's last row is the picture's top.
  for (int y = 0; y < header.height; ++y) {
    const uint8_t* row = data + header.dataOffset +
                         static_cast<std::size_t>(header.height - 1 - y) * header.RowBytes();
    zavol::netpbm::DecodePfmRow(header, row, 0,
                                values + static_cast<std::size_t>(y) * header.width);
  }
  return ZAVOL_OK;
}

// 16-bit RGBA words into the 8-bit RGBA bytes of a canvas: the high byte of each word, as the
// tool's 8-bit PNG writes the dots.
ZAVOL_API void zavol_web_to_rgba8(const uint16_t* words, uint8_t* bytes, size_t pixels) noexcept {
  if (words == nullptr || bytes == nullptr) return;
  std::size_t i = 0;
#if defined(__wasm_simd128__)
  // Sixteen words at a time: shifted right by 8 they fit a byte, so the narrowing never clamps.
  for (; i + 16 <= 4 * pixels; i += 16) {
    const v128_t low = wasm_u16x8_shr(wasm_v128_load(words + i), 8);
    const v128_t high = wasm_u16x8_shr(wasm_v128_load(words + i + 8), 8);
    wasm_v128_store(bytes + i, wasm_u8x16_narrow_i16x8(low, high));
  }
#endif
  for (; i < 4 * pixels; ++i) bytes[i] = static_cast<uint8_t>(words[i] >> 8);
}

// Decodes a stereogram (8-bit RGBA, as a canvas holds it) made with these settings on a screen
// of screenWidth x screenHeight into heights: 1 at the nearest separation searched, 0 at the
// background, NaN where the picture does not repeat reliably.
ZAVOL_API int zavol_web_decode(const uint8_t* rgba8, int width, int height,
                               const zavol_settings* s, int screenWidth, int screenHeight,
                               int oversample, int threads, float* heights) noexcept {
  if (rgba8 == nullptr || s == nullptr || heights == nullptr) return ZAVOL_E_NULL;
  if (!SidesOk(width, height) || !SidesOk(screenWidth, screenHeight)) return ZAVOL_E_SIZE;
  if (oversample < 1 || oversample > 8 || threads < 1) return ZAVOL_E_OPTION_VALUE;
  StereogramSettings settings;
  std::memcpy(&settings, s, kSettingsSize);
  const zavol::SeparationBounds bounds = zavol::FrameSeparationBounds(
      settings, width, height, screenWidth, screenHeight, oversample);
  zavol::DecodeOptions options;
  options.bounds = bounds;
  options.oversample = oversample;
  options.threads = threads;
  // A picture too narrow for one repeat of the smallest separation cannot be decoded.
  if (bounds.minSeparation < 1 || bounds.minSeparation > bounds.maxSeparation ||
      width <= bounds.minSeparation + options.window / 2) {
    return ZAVOL_E_SIZE;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  try {
    std::vector<uint16_t> words(4 * pixels);
    for (std::size_t i = 0; i < words.size(); ++i) {
      words[i] = static_cast<uint16_t>(rgba8[i] * 257u);
    }
    const zavol::ConstPixelView view{words.data(), width, height,
                                     4 * static_cast<std::ptrdiff_t>(width)};
    switch (zavol::DecodeStereogram(view, options, heights, nullptr)) {
      case zavol::FrameStatus::kDone: break;
      case zavol::FrameStatus::kStopped: return ZAVOL_E_STOPPED;
      case zavol::FrameStatus::kBadOptions: return ZAVOL_E_OPTION_VALUE;
      case zavol::FrameStatus::kOutOfMemory: return ZAVOL_E_NO_MEMORY;
    }
  } catch (const std::bad_alloc&) {
    return ZAVOL_E_NO_MEMORY;
  }
  // Separations into heights, near bright, as the tool's decode writes its height maps.
  const float span = static_cast<float>(bounds.maxSeparation - bounds.minSeparation);
  for (std::size_t i = 0; i < pixels; ++i) {
    const float d = heights[i];
    heights[i] = std::isnan(d) ? d
                 : span > 0.0f
                     ? std::clamp((static_cast<float>(bounds.maxSeparation) - d) / span, 0.0f, 1.0f)
                     : 1.0f;
  }
  return ZAVOL_OK;
}

}  // extern "C"
