// The quality meter: what a frame's stereogram should decode to under the engine's linking, and
// how a decoded map measures up against it. Portable; no I/O.
#pragma once

#include <cstdint>
#include <vector>

#include "render/image_render.h"
#include "render/settings.h"
#include "render/view_options.h"

namespace zavol {

// What the engine meant at every pixel of a frame.
struct IntendedSeparations {
  int width = 0, height = 0;
  std::vector<float> separation;  // the separation rule's result for the pixel's depth
  // 1 where the pixel repeats the pixel one separation to its left: the depth there is in the
  // picture for both eyes. 0 where the row builder gave a new dot instead (the source was
  // already repeated, or lies outside the row), where the pixel is its own source (separation
  // 0), and under the guide.
  std::vector<uint8_t> visible;
  int backgroundSeparation = 0;  // whole pixels: how far an edge's echoes reach
};

// The default linking's intentions for a frame rendered as RenderImage renders it.
IntendedSeparations DefaultLinkingSeparations(const StereogramSettings& settings,
                                              const DepthView& depth, int screenWidth,
                                              int screenHeight);

// The intentions for a frame rendered with viewing options (ImageRenderOptions::view): the view
// engine's links replayed row by row at its sub-pixel pitch. A pixel's separation is the mean
// distance from its sub-pixels to the sub-pixels they were linked to on their left (a fraction of
// a pixel with oversampling; under symmetric linking the separation of the point midway), and it
// is visible when every sub-pixel has such a link, the distances lie within one pixel of each
// other (else the pixel blends two repeats) and the guide covers neither it nor its source.
// Unlinked pixels keep their own depth's separation. Options that leave the links alone (dots,
// dot size, anchor) change nothing; with the links at their defaults this is
// DefaultLinkingSeparations. Options must be valid (ViewOptions::Valid).
IntendedSeparations ViewLinkingSeparations(const StereogramSettings& settings,
                                           const DepthView& depth, int screenWidth,
                                           int screenHeight, const ViewOptions& options);

struct DecodeComparison {
  int64_t pixels = 0;
  int64_t visible = 0;   // pixels whose depth both eyes see (IntendedSeparations::visible)
  int64_t matched = 0;   // visible pixels decoded within half a pixel of the intended separation
  int64_t unknown = 0;   // visible pixels the decoder left unknown
  int64_t wrong = 0;     // visible pixels decoded more than half a pixel off
  // Pixels (visible or not) decoded more than half a pixel off within one background separation
  // of an edge along the row; an edge lies between two neighbours whose intended separations
  // differ by more than a pixel.
  int64_t echoes = 0;
  double matchShare = 0.0;  // matched / visible (0 when nothing is visible)
  double meanError = 0.0;   // mean |decoded - intended| over the visible pixels decoded
};

// decoded holds width * height separations, NaN where unknown.
DecodeComparison CompareDecoded(const IntendedSeparations& intended, const float* decoded);

// The geometric meter: which pixels the picture should repeat, judged from the depth and the
// viewing geometry alone, never from the links a row builder made, so that it sees a builder
// that links the wrong surfaces. A pixel is seen when both eyes see its surface point (the
// hidden-surface test of symmetric linking, for the picture's viewing direction), both images
// of the point lie in the row, and the guide covers neither. The linking option says only where
// a point's two images sit, one separation apart: the point's own pixel and the pixel one
// separation to its left (classic), or centred on the point (symmetric: s/2 to its left, the
// rest to its right). A seen pixel repeats when the red, green and blue of its two images are
// equal exactly, so the meter is for lossless pictures at whole-pixel separations (oversample
// 1).
struct GeometricLevel {
  float depth = 0.0f;      // the level's depth, in the engine's convention
  int64_t pixels = 0;      // the level's pixels in the frame
  int64_t seen = 0;
  int64_t repeated = 0;
  double share = 0.0;      // repeated / seen (0 when none is seen)
};

struct GeometricRepeats {
  int width = 0, height = 0;
  std::vector<uint8_t> seen;      // per pixel: 1 where seen
  std::vector<uint8_t> repeated;  // per pixel: 1 where seen and repeated
  int64_t seenCount = 0, repeatedCount = 0;
  double share = 0.0;             // repeatedCount / seenCount (0 when none is seen)
  // The frame's flat levels: scene depths held by at least kLevelShare of the frame's pixels
  // (and kLevelPixels), nearest first, at most kMaxLevels of the largest.
  std::vector<GeometricLevel> levels;
};

constexpr double kLevelShare = 0.002;
constexpr int64_t kLevelPixels = 64;
constexpr std::size_t kMaxLevels = 16;

// picture is the stereogram rendered from depth with these settings and options; its size is
// the depth's. Options must be valid with oversample 1 (else the result is empty).
GeometricRepeats MeasureGeometricRepeats(const StereogramSettings& settings,
                                         const DepthView& depth, int screenWidth,
                                         int screenHeight, const ViewOptions& options,
                                         const ConstPixelView& picture);

}  // namespace zavol
