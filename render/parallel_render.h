// One frame's classic rows on several threads, bit for bit the rows of the ordered row loop: a
// scheduler over the same frame plan, dot sources and row sink. Engine-internal, behind
// RenderImage; portable C++17 with the standard library's threads.
#pragma once

#include "render/frame.h"
#include "render/frame_plan.h"
#include "render/row_loop.h"

namespace zavol {

// The threads a frame renders on for a request: 0 asks for every core, with fewer for frames too
// small to repay a thread; any other number is taken as it is (up to kMaxFrameThreads).
constexpr int kMaxFrameThreads = 64;
int FrameThreads(int requested, int width, int height);

// Renders plan's classic rows on up to threads threads, the calling thread included: built
// ahead in the engine's own memory and handed to sink in order by the calling thread, which
// alone asks sink.StopBefore (before each row, as the ordered loop does; a stop drops the rows
// built ahead). inPlace, when given, is where the whole frame's rows end up and the sink never
// stops the frame: rows are then built there, and sink.Rows gets them in place. Draws no guide.
// False, before the sink is asked anything: the frame gains nothing from threads or its working
// memory could not be had; the caller runs the ordered loop instead.
struct InPlaceRows {
  uint16_t* words;
  std::ptrdiff_t rowStride;  // in words
};
bool RenderRowsOnThreads(const StereogramSettings& settings, const FramePlan& plan,
                         const DotSources& sources, RowSink& sink, int threads,
                         const InPlaceRows* inPlace, FrameStatus* status);

}  // namespace zavol
