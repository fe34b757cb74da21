// Fuzz target: zavol_render as a library caller reaches it. The first 56 bytes are a settings
// block as stored (settings that cannot make a picture are refused, by the rule the tool
// applies), then sides (some of them invalid), option bits, the viewing
// options (one value of which is out of range) and a small depth.
// The output sits between guard words and its rows leave gaps: a write outside the image, a
// status that does not match the arguments, or a write by a refused call aborts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "libzavol/zavol.h"
#include "render/frame_checks.h"
#include "render/settings.h"

namespace {

constexpr uint16_t kGuard = 0x5A5A;
constexpr std::size_t kGuardWords = 32;

// Option bits of byte 58.
constexpr uint8_t kPattern = 1, kStop = 2, kDepthGap = 4, kOutGap = 8, kPatternGap = 16,
                  kWrongOutSize = 32, kGuide = 64, kSmallScreen = 128;

// Viewing option bits of byte 62: stable dots, cross view, symmetric linking, the anchor in
// bits 3-4 (3: out of range) and the oversampling less one in bits 5-7. The dot size comes from
// byte 59.
constexpr uint8_t kStable = 1, kCross = 2, kSymmetric = 4;
constexpr int kAnchorShift = 3, kOversampleShift = 5;

struct StopAt {
  int row;
  int lastRow;
};

int Progress(void* user, int row, int lastRow) {
  const StopAt& stop = *static_cast<const StopAt*>(user);
  if (lastRow != stop.lastRow || row < 0 || row > lastRow) std::abort();
  return row == stop.row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < ZAVOL_SETTINGS_BYTES + 7) return 0;
  zavol_settings settings;
  if (zavol_settings_from_bytes(&settings, data, ZAVOL_SETTINGS_BYTES) != ZAVOL_OK) std::abort();
  const int width = data[56] % 70 - 3;  // -3 .. 66: a few sides that must be refused
  const int height = data[57] % 70 - 3;
  const uint8_t bits = data[58];
  const int extra = data[59] % 5;
  const int patternWidth = data[60] % 48, patternHeight = data[61] % 48;  // 0: refused
  const uint8_t viewBits = data[62];
  if (bits & kGuide) settings.put_guide_points = 1;
  const uint8_t* rest = data + 63;
  const std::size_t floats = (size - 63) / 4;

  const int w = width > 0 ? width : 1, h = height > 0 ? height : 1;
  const std::ptrdiff_t depthStride = w + ((bits & kDepthGap) ? extra : 0);
  std::vector<float> depth(static_cast<std::size_t>(depthStride) * h);
  for (std::size_t i = 0; i < depth.size(); ++i) {
    if (floats == 0) {
      depth[i] = -1e30f;
    } else {
      std::memcpy(&depth[i], rest + 4 * (i % floats), 4);
    }
  }
  const zavol_depth depthView{depth.data(), width, height, depthStride};

  const int outWidth = (bits & kWrongOutSize) ? width + 1 : width;
  const int ow = outWidth > 0 ? outWidth : 1;
  const std::ptrdiff_t outStride = 4 * ow + ((bits & kOutGap) ? extra : 0);
  std::vector<uint16_t> buffer(kGuardWords + static_cast<std::size_t>(outStride) * h + kGuardWords, kGuard);
  zavol_image out{buffer.data() + kGuardWords, outWidth, height, outStride};

  zavol_options options;
  zavol_options_default(&options);
  if (bits & kSmallScreen) {
    options.screen_width = data[59];
    options.screen_height = data[60];
  }
  options.seed = data[61];
  options.dots = (viewBits & kStable) ? ZAVOL_DOTS_STABLE : ZAVOL_DOTS_STREAM;
  options.view = (viewBits & kCross) ? ZAVOL_VIEW_CROSS : ZAVOL_VIEW_WALL;
  options.linking = (viewBits & kSymmetric) ? ZAVOL_LINKING_SYMMETRIC : ZAVOL_LINKING_CLASSIC;
  options.anchor = (viewBits >> kAnchorShift) & 3;
  options.oversample = 1 + (viewBits >> kOversampleShift);
  options.dot_size = 1 + data[59] / 5 % 4;
  const std::ptrdiff_t patternStride = 4 * patternWidth + ((bits & kPatternGap) ? extra : 0);
  std::vector<uint16_t> pattern(static_cast<std::size_t>(patternStride > 0 ? patternStride : 1) *
                                (patternHeight > 0 ? patternHeight : 1));
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
  const zavol_image patternImage{pattern.data(), patternWidth, patternHeight, patternStride};
  if (bits & kPattern) options.pattern = &patternImage;
  StopAt stop{(bits & kStop) ? data[59] % (h + 1) : -1, h - 1};
  options.progress = Progress;
  options.user = &stop;

  const int status = zavol_render(&settings, &depthView, &options, &out);

  const bool sidesBad = width <= 0 || height <= 0 || outWidth <= 0 ||
                        ((bits & kPattern) && (patternWidth == 0 || patternHeight == 0));
  StereogramSettings record;
  LoadSettings(record, data);
  const bool settingsBad =
      !zavol::FindUnusableSetting(record, [](const zavol::SettingsField& f) { return std::string(f.name); })
           .fields.empty();
  int expected = ZAVOL_OK;
  if (options.anchor == 3) {
    expected = ZAVOL_E_OPTION_VALUE;
  } else if (settingsBad) {
    expected = ZAVOL_E_SETTING_VALUE;
  } else if (sidesBad) {
    expected = ZAVOL_E_SIZE;
  } else if (bits & kWrongOutSize) {
    expected = ZAVOL_E_SIZE_MISMATCH;
  } else if (stop.row >= 0 && stop.row < height) {
    expected = ZAVOL_E_STOPPED;
  }
  if (status != expected) std::abort();
  // Rows the call may have written: all of them when done, those before the stop when stopped.
  const int rowsWritten = status == ZAVOL_OK ? height : status == ZAVOL_E_STOPPED ? stop.row : 0;
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) - static_cast<std::ptrdiff_t>(kGuardWords);
    const bool written = at >= 0 && at / outStride < rowsWritten && at % outStride < 4 * outWidth;
    if (!written && buffer[i] != kGuard) std::abort();
  }
  return 0;
}
