// One frame's rows on several threads, bit for bit the rows of the frame host's ordered loop.
// Engine-internal, behind RenderImage; portable C++17 with the standard library's threads.
#pragma once

#include "render/frame.h"
#include "render/image_render.h"

namespace zavol {

// The threads a frame renders on for a request: 0 asks for every core, with fewer for frames too
// small to repay a thread; any other number is taken as it is (up to kMaxFrameThreads).
constexpr int kMaxFrameThreads = 64;
int FrameThreads(int requested, int width, int height);

struct ThreadedFrame {
  ImageRenderStatus status = ImageRenderStatus::kDone;
  double farthestDepth = 0.0;  // the far end of the depth range, as the debug line shows it
  float maxSeparation = 0.0f;  // for the guide, which the caller draws over the finished rows
};

// Renders settings over depth into out on up to threads threads, the calling thread included:
// the depth scan in bands of columns, then the rows, built ahead in the engine's own memory and
// handed into out in order by the calling thread, which alone calls options.progress (before
// each row, as the ordered loop does; a stop drops the rows built ahead, so out's rows from the
// stop on are never written). Without a progress callback and with the whole frame in out, rows
// are built in place. colours answers the HSV ramp's conversions from any thread. Draws no
// guide. False, before anything is asked or written: the frame gains nothing from threads or
// its working memory could not be had; the caller renders it in order instead.
bool RenderImageOnThreads(const StereogramSettings& settings, const DepthView& depth,
                          const ImageRenderOptions& options, const PixelView& out, int threads,
                          FrameHost& colours, ThreadedFrame* frame);

}  // namespace zavol
