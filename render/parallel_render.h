// One frame's classic rows built ahead on several threads, bit for bit the rows of the ordered
// builder, behind the row loop's one RowBuilder interface. Engine-internal, behind RenderImage;
// portable C++17 with the standard library's threads.
#pragma once

#include <memory>

#include "render/frame.h"
#include "render/frame_plan.h"
#include "render/row_loop.h"

namespace zavol {

// The threads a frame renders on for a request: 0 asks for every core, with fewer for frames too
// small to repay a thread; any other number is taken as it is (up to kMaxFrameThreads).
constexpr int kMaxFrameThreads = 64;
int FrameThreads(int requested, int width, int height);

// A builder of plan's classic rows, bit for bit the ordered builder's, that builds them ahead on
// up to threads - 1 helpers (RowBuilder::Help) while the row loop takes them in order; a stop
// drops the rows built ahead. inPlace, when given, is where the whole frame's rows end up:
// rows are built there, and Row() points into it (so a row must not change once handed over:
// the row below may still take colours from it). Null when the frame gains nothing from
// threads or the working memory cannot be had: the caller builds the rows in order instead.
struct InPlaceRows {
  uint16_t* words;
  std::ptrdiff_t rowStride;  // in words
};
std::unique_ptr<RowBuilder> MakeThreadedRowBuilder(const StereogramSettings& settings,
                                                   const FramePlan& plan, int threads,
                                                   const InPlaceRows* inPlace);

}  // namespace zavol
