// Fuzz target: a settings block exactly as the host would restore it (unchecked), a small depth
// channel, optionally a pattern, the guide on. The host below checks every run the engine hands
// it and reads every pixel of it, so a run past the row buffer shows up under AddressSanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/background.h"
#include "render/frame.h"
#include "shell/frame_host.h"
#include "render/hsv.h"

namespace {

class FuzzHost final : public zavol::FrameHost {
 public:
  FuzzHost(int width, int height, std::vector<float> depth, bool pattern, int stopRow)
      : width_(width), height_(height), depth_(std::move(depth)), pattern_(pattern),
        stopRow_(stopRow), image_(static_cast<std::size_t>(width) * height) {}

  const float* DepthChannel() override { return depth_.data(); }
  int Height() override { return height_; }
  int Width() override { return width_; }
  void ScreenSize(int* w, int* h) override { *w = 1024; *h = 768; }
  uint32_t CalendarTime() override { return 12345; }
  bool ProgressAndAbortQuery(int y, int lastRow) override {
    if (y < 0 || y >= height_ || lastRow != height_ - 1) std::abort();
    return y == stopRow_;
  }
  bool HasPattern() override { return pattern_; }
  void ReadPatternPixel(int x, int y, zavol::Pixel64* slot) override {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) std::abort();
    *slot = zavol::Pixel64{static_cast<uint16_t>(x * 977), static_cast<uint16_t>(y * 131), 7, 9};
  }
  void PutPixels(int x, int y, int count, const zavol::Pixel64* pixels) override {
    if (count < 0) std::abort();
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += pixels[i].r + pixels[i].a;  // every pixel is read
    checksum_ += sum;
    if (y < 0 || y >= height_) return;
    for (int i = 0; i < count; ++i) {
      const long long column = static_cast<long long>(x) + i;
      if (column >= 0 && column < width_) image_[static_cast<std::size_t>(y) * width_ + column] = pixels[i];
    }
  }
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override { zavol::RgbToHsv255(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) override { return zavol::HsvToRgb255(h, s, v); }
  void DebugLine(double) override {}

  uint32_t checksum_ = 0;

 private:
  int width_, height_;
  std::vector<float> depth_;
  bool pattern_;
  int stopRow_;
  std::vector<zavol::Pixel64> image_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < kSettingsSize + 4) return 0;
  StereogramSettings settings;
  LoadSettings(settings, data);
  settings.PutGuidePoints = 1;
  const int width = data[56] % 65;           // 0 .. 64
  const int height = data[57] % 65;
  const bool pattern = data[58] & 1;
  const int stopRow = (data[58] & 2) ? data[59] % 65 : -1;
  const uint8_t* rest = data + 60;
  const std::size_t restSize = size - 60;
  std::vector<float> depth(static_cast<std::size_t>(width) * height + 1);
  // Depth values come from the input, repeated to fill the frame.
  const std::size_t floats = restSize / 4;
  for (std::size_t i = 0; i < depth.size(); ++i) {
    if (floats == 0) { depth[i] = zavol::kEmptyDepth; continue; }
    std::memcpy(&depth[i], rest + 4 * (i % floats), 4);
  }
  FuzzHost host(width, height, std::move(depth), pattern, stopRow);
  zavol::RenderStereogram(settings, host);
  return 0;
}
