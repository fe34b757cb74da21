// What a frame is made of, as the engine sees it: depth rows in, pixel rows out. The depth is a
// strided view of plain reals; finished rows leave through a row sink; new dots may come from a
// pattern and the HSV ramp's colours from conversions supplied by the caller. Portable: no host
// or Windows types; whoever drives the engine (the plug-in's host adapter, the buffer renderer
// behind the library and the tool) implements these small interfaces.
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

// width x height reals in the engine's convention, row y at values + y * rowStride.
struct DepthView {
  const float* values;
  int width, height;
  std::ptrdiff_t rowStride;  // in reals, at least width
};

// How a frame ended, rendered or decoded: the engine's one status, turned into the library's
// statuses, the tool's messages and exit codes and the plug-in's result at the edges. Memory
// that cannot be had is a status like the others, never an exception. kBadOptions: options the
// caller should have refused (the decoder's ranges).
enum class FrameStatus { kDone, kStopped, kOutOfMemory, kBadOptions };

// The HSV ramp's colour conversions; colours are COLORREF-ordered (red in the lowest byte). The
// plug-in asks its host, which may answer differently from call to call; everyone else uses the
// portable ones (render/hsv.h).
class ColourConversions {
 public:
  virtual void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) const = 0;
  virtual uint32_t HsvToRgb(int h, int s, int v) const = 0;

 protected:
  ~ColourConversions() = default;
};

// A pattern that supplies the dot colours: its pixel (x, y) into *slot, all four words. Where it
// has no pixel the slot keeps the colour it came in with, and the answer is false. Rows built on
// several threads read it from all of them at once.
class PatternReader {
 public:
  virtual bool Read(int x, int y, Pixel64* slot) = 0;

 protected:
  ~PatternReader() = default;
};

// Where a frame's rows go, in order from row 0.
class RowSink {
 public:
  // Asked before row y is built (progress, and the chance to stop). True: the frame stops there
  // and rows from y on never reach the sink.
  virtual bool StopBefore(int y) = 0;
  // Rows [first, end) are final: end - first rows of the frame's width, rowStride pixels apart,
  // valid during the call only. False: the frame stops here (a sink that could not take them).
  virtual bool Rows(int first, int end, const Pixel64* rows, std::ptrdiff_t rowStride) = 0;

 protected:
  ~RowSink() = default;
};

}  // namespace zavol
