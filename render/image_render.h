// One stereogram frame between plain buffers: a depth view in, an image of 16-bit RGBA words
// (or a row callback) out, through the engine's row loop or its thread scheduler. Portable;
// keeps no state between calls, so frames on different threads never meet. The library
// interface and the tool sit on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/frame.h"
#include "render/frame_plan.h"
#include "render/settings.h"
#include "render/view_options.h"

namespace zavol {

// width x height pixels of four 16-bit words (red, green, blue, alpha, as the host's pixels),
// row y at words + y * rowStride.
template <class Word>
struct BasicPixelView {
  Word* words;
  int width, height;
  std::ptrdiff_t rowStride;  // in words, at least 4 * width
};
using PixelView = BasicPixelView<uint16_t>;
using ConstPixelView = BasicPixelView<const uint16_t>;

struct ImageRenderOptions {
  int screenWidth = 1920, screenHeight = 1080;  // for the monitor media
  uint32_t seed = 0;                            // the frame's seed when RandomizeEachFrame is set
  // Optional dot source: pixel (x, y) is the dot at (x, y); outside it a new dot keeps the
  // colour its slot had, as with a host bitmap smaller than the frame.
  const ConstPixelView* pattern = nullptr;
  // Asked before each row; non-zero stops the frame there. Rows above row are then final.
  int (*progress)(void* user, int row, int lastRow) = nullptr;
  // Optional row sink: frame rows [first, end) are final (the guide painted in), end - first
  // rows of 4 * width words, rowStride words apart, valid during the call. Non-zero stops the
  // frame. With a sink, out may have no rows at all (words null): the frame then streams
  // through the engine's few rows of memory.
  int (*rows)(void* user, int first, int end, const uint16_t* words,
              std::ptrdiff_t rowStride) = nullptr;
  void* user = nullptr;  // for progress and rows
  // Threads for the frame's rows and depth scan, the calling thread included: 1 renders on the
  // calling thread alone, 0 on every core (fewer for small frames), N on up to N. The pixels
  // are the same for every count. progress is always called on the calling thread, for every
  // row in order; with threads, rows below the one asked for may already be built in the
  // engine's own memory, and a stop drops them unwritten.
  int threads = 1;
  // Options beyond the plug-in (stable dots, linking, view, oversampling); the defaults render
  // the plug-in's rows. Invalid ones (ViewOptions::Valid) are the caller's to refuse.
  ViewOptions view;
};

struct ImageRenderResult {
  FrameStatus status;
  double farthestDepth;  // the far end of the frame's depth range (its debug line), once started
};

// Renders settings over depth into out. The caller has checked the views: sides 1..kMaxImageSide,
// strides at least a row, out as wide as depth and apart from depth and pattern. Nothing
// outside out's rows of width pixels is written; a stopped frame leaves the rows from the stop
// on as they were; the rows above it are as in the finished frame, guide included.
//
// out holds the whole frame, or nothing at all (words null) when options.rows takes the rows.
ImageRenderResult RenderImage(const StereogramSettings& settings, const DepthView& depth,
                              const ImageRenderOptions& options, const PixelView& out);

// The plan RenderImage renders settings over depth from with options: made once by a caller that
// also checks the frame (render/frame_checks.h) or describes it, and handed to the overload
// below, so that the depth is scanned once and every reader sees the same numbers.
// countLevels: the depth scan also counts what the frame checks need (PlanFrame).
FramePlan PlanImage(const StereogramSettings& settings, const DepthView& depth,
                    const ImageRenderOptions& options, bool countLevels = false);
// RenderImage from a plan PlanImage made with the same settings, depth and options.
ImageRenderResult RenderImage(const StereogramSettings& settings, const FramePlan& plan,
                              const ImageRenderOptions& options, const PixelView& out);

}  // namespace zavol
