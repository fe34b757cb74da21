// The plug-in's view of one frame of its host, and the adapter that runs the portable engine
// over it: depth from the host's channel, rows out through PutPixels, the HSV conversions and
// pattern pixels from the host, progress and the abort query before each row, the guide's runs
// after the rows and the one debug line. Portable (no Windows types): the plug-in's filter
// implements FrameHost over the host's bitmaps, the tests and benchmarks over memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/frame.h"
#include "render/settings.h"
#include "render/view_options.h"

namespace zavol {

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

// Renders one stereogram frame through host, asking it what the plug-in has always asked, in the
// same order. Returns 1 when every row was written, 0 when the frame could not start (no depth,
// no row memory) or the host asked to stop. depthRowStride: the depth's rows are that many reals
// apart (anything below the width: the width), so that a window of a larger buffer renders
// without a copy.
int RenderStereogram(const StereogramSettings& settings, FrameHost& host,
                     std::size_t depthRowStride = 0);

// The same with the viewing options' row builder (any options, the defaults included, which
// must give the classic rows' host calls and pixels). Invalid options start nothing and give 0.
int RenderViewStereogram(const StereogramSettings& settings, FrameHost& host,
                         std::size_t depthRowStride, const ViewOptions& options);

}  // namespace zavol
