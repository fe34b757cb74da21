// A frame host in memory that behaves as the stand-in host does towards a filter: a 1024 x 768
// screen, pattern pixels read only inside the pattern (a refused read keeps the slot), runs
// clipped to the image, the stand-in's HSV conversions. The reference side of the cross checks
// between the engine and the plug-in. Portable: engine and standard library only.
#pragma once

#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "render/hsv.h"

namespace zavoltest {

constexpr int kHostScreenWidth = 1024;  // what Wine's null display reports
constexpr int kHostScreenHeight = 768;

struct ReferenceFrame {
  int result = -1;
  std::vector<zavol::Pixel64> pixels;  // row-major, the frame after rendering
  bool debugLinePrinted = false;
  double debugValue = 0.0;
  int rowsOffered = 0;  // progress reports
};

class ReferenceHost final : public zavol::FrameHost {
 public:
  // depth: width x height values (may be empty for a frame without depth); pattern:
  // patternWidth x patternHeight pixels, or null; initial: the frame's pixels before rendering.
  ReferenceHost(int width, int height, const std::vector<float>* depth,
                const std::vector<zavol::Pixel64>* pattern, int patternWidth, int patternHeight,
                zavol::Pixel64 initial, int stopAtRow = -1)
      : width_(width), height_(height), depth_(depth), pattern_(pattern),
        patternWidth_(patternWidth), patternHeight_(patternHeight), stopAtRow_(stopAtRow) {
    frame_.pixels.assign(static_cast<std::size_t>(width) * height, initial);
  }

  const float* DepthChannel() override {
    return depth_ != nullptr && !depth_->empty() ? depth_->data() : nullptr;
  }
  int Height() override { return height_; }
  int Width() override { return width_; }
  void ScreenSize(int* width, int* height) override {
    *width = kHostScreenWidth;
    *height = kHostScreenHeight;
  }
  uint32_t CalendarTime() override { return 0; }  // scenes render with RandomizeEachFrame 0
  bool ProgressAndAbortQuery(int y, int /*lastRow*/) override {
    ++frame_.rowsOffered;
    return stopAtRow_ >= 0 && y >= stopAtRow_;
  }
  bool HasPattern() override { return pattern_ != nullptr; }
  void ReadPatternPixel(int x, int y, zavol::Pixel64* slot) override {
    if (x < 0 || y < 0 || x >= patternWidth_ || y >= patternHeight_) return;
    *slot = (*pattern_)[static_cast<std::size_t>(y) * patternWidth_ + x];
  }
  void PutPixels(int x, int y, int count, const zavol::Pixel64* pixels) override {
    if (y < 0 || y >= height_) return;
    for (int i = 0; i < count; ++i) {
      const long long column = static_cast<long long>(x) + i;
      if (column >= 0 && column < width_) {
        frame_.pixels[static_cast<std::size_t>(y) * width_ + column] = pixels[i];
      }
    }
  }
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override { zavol::RgbToHsv255(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) override { return zavol::HsvToRgb255(h, s, v); }
  void DebugLine(double farthestDepth) override {
    frame_.debugLinePrinted = true;
    frame_.debugValue = farthestDepth;
  }

  ReferenceFrame& Frame() { return frame_; }

 private:
  int width_, height_;
  const std::vector<float>* depth_;
  const std::vector<zavol::Pixel64>* pattern_;
  int patternWidth_, patternHeight_;
  int stopAtRow_;
  ReferenceFrame frame_;
};

// Renders through the engine directly, as the plug-in would inside the stand-in host.
inline ReferenceFrame RenderReference(const StereogramSettings& settings, int width, int height,
                                      const std::vector<float>& depth,
                                      const std::vector<zavol::Pixel64>* pattern,
                                      int patternWidth, int patternHeight,
                                      zavol::Pixel64 initial, int stopAtRow = -1) {
  ReferenceHost host(width, height, &depth, pattern, patternWidth, patternHeight, initial,
                     stopAtRow);
  host.Frame().result = zavol::RenderStereogram(settings, host);
  return host.Frame();
}

}  // namespace zavoltest
