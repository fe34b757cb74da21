// The one frame host of the tests and the benchmarks: the frame in memory with runs clipped to
// the image as the engine's interface promises, the same with a record of every call in order,
// and frames as PAM files. Portable: engine, HSV conversions, the netpbm module and the
// standard library only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "render/frame.h"
#include "shell/frame_host.h"

namespace zavol {

// Found by argument lookup wherever tests compare pixels or vectors of them.
inline bool operator==(const Pixel64& a, const Pixel64& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}
inline bool operator!=(const Pixel64& a, const Pixel64& b) { return !(a == b); }
inline std::ostream& operator<<(std::ostream& out, const Pixel64& p) {
  return out << "{" << p.r << "," << p.g << "," << p.b << "," << p.a << "}";
}

}  // namespace zavol

namespace zavoltest {

using zavol::Pixel64;

struct Run {
  int x, y, count;
  std::vector<Pixel64> pixels;
};

// The frame in memory and nothing else: what a host must do, as cheaply as it can be done (for
// pixel comparisons and timings). Runs are clipped to the image; a pattern read outside the
// pattern is refused and leaves the slot as it was.
class FlatHost : public zavol::FrameHost {
 public:
  // The canvas starts with every pixel initial.
  FlatHost(int frameWidth, int frameHeight, std::vector<float> frameDepth, Pixel64 initial);
  virtual ~FlatHost() = default;

  // Set up before rendering.
  int width, height;
  std::vector<float> depth;
  bool nullDepth = false;
  int screenWidth = 1024, screenHeight = 768;
  uint32_t calendarTime = 0;
  int abortAtRow = -1;  // the query for this row (and every later one) answers "stop"
  std::vector<Pixel64> pattern;  // patternWidth x patternHeight, used when hasPattern
  bool hasPattern = false;
  int patternWidth = 0, patternHeight = 0;

  // What happened.
  std::vector<Pixel64> canvas;  // width x height, clipped writes
  long long pixelsOutsideImage = 0;
  int progressReports = 0;
  std::vector<double> debugLines;

  const float* DepthChannel() override;
  int Height() override { return height; }
  int Width() override { return width; }
  void ScreenSize(int* w, int* h) override;
  uint32_t CalendarTime() override { return calendarTime; }
  bool ProgressAndAbortQuery(int y, int lastRow) override;
  bool HasPattern() override { return hasPattern; }
  void ReadPatternPixel(int x, int y, Pixel64* slot) override;
  void PutPixels(int x, int y, int count, const Pixel64* pixels) override;
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override;
  uint32_t HsvToRgb(int h, int s, int v) override;
  void DebugLine(double farthestDepth) override;

  const Pixel64& At(int x, int y) const {
    return canvas[static_cast<std::size_t>(y) * width + x];
  }

 private:
  float emptyDepth_ = 0.0f;
};

// The flat host that also records every call, in order.
class RecordingHost final : public FlatHost {
 public:
  static constexpr Pixel64 kUntouched = {1, 2, 3, 4};

  RecordingHost(int frameWidth, int frameHeight, std::vector<float> frameDepth,
                Pixel64 initial = kUntouched)
      : FlatHost(frameWidth, frameHeight, std::move(frameDepth), initial) {}

  bool recordPerPixelCalls = true;  // pattern reads and colour conversions in calls too

  std::vector<std::string> calls;
  std::vector<std::pair<int, int>> progress;
  std::vector<Run> runs;
  int patternReads = 0, rgbToHsvCalls = 0, hsvToRgbCalls = 0;

  const float* DepthChannel() override;
  int Height() override;
  int Width() override;
  void ScreenSize(int* w, int* h) override;
  uint32_t CalendarTime() override;
  bool ProgressAndAbortQuery(int y, int lastRow) override;
  bool HasPattern() override;
  void ReadPatternPixel(int x, int y, Pixel64* slot) override;
  void PutPixels(int x, int y, int count, const Pixel64* pixels) override;
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override;
  uint32_t HsvToRgb(int h, int s, int v) override;
  void DebugLine(double farthestDepth) override;
};

// A frame as the tool and the host program write it: 16-bit RGBA PAM, big-endian samples.
std::vector<uint8_t> FramePamBytes(int width, int height, const std::vector<Pixel64>& pixels);

}  // namespace zavoltest
