// The renderer's one interface to its surroundings (the frame's host): depth, sizes, progress and
// abort, pattern pixels, row output, colour conversions and the debug line. The plug-in and the
// command-line tool are thin adapters over it. Portable: no host or Windows types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/settings.h"

namespace zavol {

// A pixel as the host stores it: four unsigned 16-bit channels, red, green, blue, alpha; 65535 is
// full intensity and opacity. Same layout as the host's 64-bit pixel.
struct Pixel64 {
  uint16_t r, g, b, a;
};
static_assert(sizeof(Pixel64) == 8, "host pixel layout");

// The largest side of a frame: the host's bitmaps count pixels in 16 bits.
constexpr int kMaxImageSide = 65535;

class FrameHost {
 public:
  // The depth channel: Width() x Height() 32-bit reals, row-major. Null: the frame cannot start.
  virtual const float* DepthChannel() = 0;
  virtual int Height() = 0;
  virtual int Width() = 0;
  // Screen size in pixels, for the monitor media; asked once per frame.
  virtual void ScreenSize(int* width, int* height) = 0;
  // The calendar time that seeds a frame when RandomizeEachFrame is set.
  virtual uint32_t CalendarTime() = 0;
  // Before row y is built: progress for (y, lastRow), then the abort query. True: stop now.
  virtual bool ProgressAndAbortQuery(int y, int lastRow) = 0;
  // Whether a pattern bitmap supplies the dot colours, and its pixel (x, y) into *slot (all four
  // words; the slot keeps its colour when the pattern cannot deliver).
  virtual bool HasPattern() = 0;
  virtual void ReadPatternPixel(int x, int y, Pixel64* slot) = 0;
  // count pixels into row y from column x; a run may cross the image's edges and the host
  // clips it (the guide relies on that).
  virtual void PutPixels(int x, int y, int count, const Pixel64* pixels) = 0;
  // The host's colour conversions for the HSV ramp; colours are COLORREF-ordered.
  virtual void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) = 0;
  virtual uint32_t HsvToRgb(int h, int s, int v) = 0;
  // The one debug line of a frame: "\nminz=%f" with the far end of the depth range.
  virtual void DebugLine(double farthestDepth) = 0;

 protected:
  ~FrameHost() = default;
};

// Renders one stereogram frame through host. Returns 1 when every row was written, 0 when the
// frame could not start (no depth, no row buffer) or the host asked to stop.
int RenderStereogram(const StereogramSettings& settings, FrameHost& host);

// The same for a depth channel whose rows are depthRowStride reals apart (anything below the
// width: the width), so that a window of a larger buffer renders without a copy.
int RenderStereogram(const StereogramSettings& settings, FrameHost& host,
                     std::size_t depthRowStride);

}  // namespace zavol
