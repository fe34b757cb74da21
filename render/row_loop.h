// The engine's one frame driver: a row builder behind a small interface (the classic rows the
// plug-in has always made, the same rows built ahead on threads, or the rows with the viewing
// options), asked for the frame plan's rows in order, every finished row handed to a row sink.
// Threads are helpers of the builder beside that one loop, not another driver. Portable.
#pragma once

#include <cstdint>
#include <memory>

#include "render/frame.h"
#include "render/frame_plan.h"
#include "render/settings.h"
#include "render/view_options.h"

namespace zavol {

// What new dots are drawn from besides the frame's seed.
struct DotSources {
  const ColourConversions* colours = nullptr;  // the HSV ramp's; required when it is used
  PatternReader* pattern = nullptr;            // null: the colour ramp
};

// One row at a time, in order from row 0: the working memory of a frame's rows.
class RowBuilder {
 public:
  virtual ~RowBuilder() = default;
  // Before row 0: the frame's seed and where its dots come from.
  virtual void Start(uint32_t seed, const DotSources& sources) = 0;
  // Row y from the plan's depth row y; the row above lends colours.
  virtual void Build(int y) = 0;
  // The row Build made: the plan's width in pixels, in at least one pixel of memory that is the
  // builder's own (the plug-in's guide borrows it once the rows are done).
  virtual Pixel64* Row() = 0;

  // Threads beyond the row loop's that may build rows ahead of it: none for a builder that
  // builds each row when asked.
  virtual int Helpers() const { return 0; }
  // On helper member (1 .. Helpers()): builds rows ahead until they are all built or Finish.
  virtual void Help(int /*member*/) {}
  // The row loop is over, done or stopped: helpers return.
  virtual void Finish() {}
};

// The builder for options over plan (which must outlive it): the classic rows when the options
// are the defaults. Null without memory or for invalid options; asks nothing of anyone.
std::unique_ptr<RowBuilder> MakeRowBuilder(const StereogramSettings& settings,
                                           const FramePlan& plan, const ViewOptions& options);

// The plan's rows through builder into sink, in order on the calling thread: StopBefore(y), then
// the row built and handed over. Started already (RowBuilder::Start). Draws no guide.
FrameStatus RunRows(const FramePlan& plan, RowBuilder& builder, RowSink& sink);

// The same loop on the calling thread with the builder's helpers beside it, as a team
// (render/thread_team.h): the frame's one driver, with or without threads.
FrameStatus RenderRows(const FramePlan& plan, RowBuilder& builder, RowSink& sink);

}  // namespace zavol
