// Reading depth back out of a stereogram: for every pixel, the horizontal distance at which the
// picture repeats to its left, with a confidence. Portable: plain buffers in and out, no I/O;
// rows are independent, so they are shared among threads of the standard library.
#pragma once

#include <cstdint>

#include "render/image_render.h"
#include "render/settings.h"

namespace zavol {

// Whole-pixel separations, both ends included.
struct SeparationBounds {
  int minSeparation;
  int maxSeparation;
};

// The separations the engine gives a frame of this size with these settings: from the nearer of
// the near and far object separations (at least 1) to the background separation. Rows linked at
// oversample sub-pixels per pixel put the background a fraction of a pixel further, up to the
// next whole pixel.
SeparationBounds FrameSeparationBounds(const StereogramSettings& settings, int width, int height,
                                       int screenWidth, int screenHeight, int oversample = 1);

// The widest window the matcher takes; its costs stay well inside 32 bits.
constexpr int kMaxDecodeWindow = 63;

struct DecodeOptions {
  SeparationBounds bounds{0, 0};  // the shifts searched; 1 <= min <= max
  // Pixels of the row compared per shift, odd, 1..kMaxDecodeWindow. The window may sit centred
  // on the pixel or end or start at it, whichever matches best, so that a pixel beside a depth
  // edge is judged by the side of the edge it belongs to.
  int window = 9;
  // Below this a pixel is unknown: 1 - (best cost / mean cost over the shifts searched), so 0
  // for a picture that does not repeat there and 1 for an exact repeat.
  float minConfidence = 0.5f;
  // The picture's rows were averaged down from this many sub-pixels per pixel (1..
  // kMaxOversample). Such a picture repeats exactly only at a whole multiple of a fractional
  // separation (16.5 pixels at 33), and roughly at the fraction: above 1, rows are matched over
  // pairs of neighbouring pixels, and a chosen shift that is such a multiple gives way to the
  // fraction. 1 leaves both out, and their time.
  int oversample = 1;
  int threads = 1;  // rows decoded at once, the caller's thread included
  // Asked on the caller's thread as rows finish; non-zero stops the decoding.
  int (*progress)(void* user, int rowsDone, int rows) = nullptr;
  void* user = nullptr;
};

// The repeat a picture's rows hold most, for pictures whose separations the settings do not
// give (made by another program, or for another medium).
struct PeriodEstimate {
  int period = 0;  // the shift at which sampled rows repeat most; 0 when no shift stands out
  // 1 - the period's mean squared colour difference over that of the median shift: about the
  // share of pixels that repeat at the period.
  double strength = 0.0;
  // The shifts to search: from 0.4 of the period (near objects of diverged-eye pictures) to a
  // tenth beyond it, widened to every shift below twice the period that repeats noticeably
  // (near objects of crossed-eye pictures). {0, 0} without a period.
  SeparationBounds bounds{0, 0};
};

// Looks at up to rows rows spread over the picture, at every shift from 2 to half the width.
PeriodEstimate EstimatePeriod(const ConstPixelView& picture, int rows = 32);

// Decodes picture (its red, green and blue at 8 bits; alpha is ignored) into separations: for
// pixel (x, y), at separations[y * width + x], the distance d such that the picture around x
// repeats the picture around x - d, to a fraction of a pixel where the picture allows; NaN where
// the row does not repeat reliably there (no shift fits, the best shift is not much better than
// the others, or the pixel it points to does not point back). confidence, when not null, gets
// each pixel's confidence in [0, 1] (0 where the match was rejected).
FrameStatus DecodeStereogram(const ConstPixelView& picture, const DecodeOptions& options,
                              float* separations, float* confidence);

}  // namespace zavol
