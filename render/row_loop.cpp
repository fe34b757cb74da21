// The classic row builder's frame memory and dot sources around rows::BuildRow, and the ordered
// row loop every frame runs.
#include "render/row_loop.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>

#include "render/dots.h"
#include "render/row_builder.h"
#include "render/separation_table.h"
#include "render/thread_team.h"
#include "render/view_engine.h"

namespace zavol {
namespace {

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

class ClassicRowBuilder final : public RowBuilder {
 public:
  ClassicRowBuilder(const StereogramSettings& settings, const FramePlan& plan)
      : plan_(plan), table_(plan.rule), colour1_(settings.Color1), colour2_(settings.Color2),
        hsv_(settings.RampMode != kRampRgb), alphaMask_(rows::AlphaMask()) {}

  // The builder's one allocation: the current row's separations and copy marks, then the row
  // buffer, zero-filled (black). The row buffer ends the block, so a run read past it leaves
  // the allocation (where a checking allocator sees it). An image without columns still gets
  // one pixel, so that an empty row is not mistaken for a failed allocation.
  bool Allocate() {
    const std::size_t columns = plan_.width() > 0 ? static_cast<std::size_t>(plan_.width()) : 1;
    const std::size_t separationSlots = rows::SeparationSlots(columns);
    const std::size_t markSlots = rows::MarkSlots(columns);
    if (columns > (SIZE_MAX - 128) / (sizeof(Pixel64) + sizeof(int32_t) + 1)) return false;
    block_.reset(std::calloc(
        1, separationSlots * sizeof(int32_t) + markSlots + columns * sizeof(Pixel64)));
    if (!block_) return false;
    separations_ = static_cast<int32_t*>(block_.get());
    marks_ = reinterpret_cast<uint8_t*>(separations_ + separationSlots);
    row_ = reinterpret_cast<Pixel64*>(marks_ + markSlots);
    return true;
  }

  void Start(uint32_t seed, const DotSources& sources) override {
    // One generator per frame, seeded once; it lives in the ramp that draws from it (a pattern
    // draws nothing).
    pattern_ = sources.pattern;
    rgb_.emplace(colour1_, colour2_, seed);
    if (hsv_ && pattern_ == nullptr) hsvDots_.emplace(colour1_, colour2_, seed, *sources.colours);
  }

  void Build(int y) override {
    const int width = plan_.width();
    table_.Fill(plan_.DepthRow(y), static_cast<std::size_t>(width), separations_);
    const bool firstRow = y == 0;
    const bool ghosting = plan_.preventGhosting;
    using rows::RowMode;
    if (pattern_ != nullptr) {
      PatternDots patternDots(*pattern_, y);
      rows::BuildRow<RowMode::kInOrder>(ghosting, row_, marks_, separations_, width, firstRow,
                                        patternDots, alphaMask_);
    } else if (hsv_) {
      rows::BuildRow<RowMode::kInOrder>(ghosting, row_, marks_, separations_, width, firstRow,
                                        *hsvDots_, alphaMask_);
    } else {
      rows::BuildRow<RowMode::kInOrder>(ghosting, row_, marks_, separations_, width, firstRow,
                                        *rgb_, alphaMask_);
    }
  }

  Pixel64* Row() override { return row_; }

 private:
  const FramePlan& plan_;
  const SeparationTable table_;
  const uint32_t colour1_, colour2_;
  const bool hsv_;
  const uint64_t alphaMask_;
  std::unique_ptr<void, FreeBlock> block_;
  int32_t* separations_ = nullptr;
  uint8_t* marks_ = nullptr;
  Pixel64* row_ = nullptr;
  PatternReader* pattern_ = nullptr;
  std::optional<RgbRampDots> rgb_;
  std::optional<HsvRampDots> hsvDots_;
};

}  // namespace

std::unique_ptr<RowBuilder> MakeRowBuilder(const StereogramSettings& settings,
                                           const FramePlan& plan, const ViewOptions& options) {
  if (options.IsDefault()) {
    // The builder holds the separation table: on the heap, not the stack.
    std::unique_ptr<ClassicRowBuilder> classic(new (std::nothrow)
                                                   ClassicRowBuilder(settings, plan));
    if (!classic || !classic->Allocate()) return nullptr;
    return classic;
  }
  if (!options.Valid()) return nullptr;
  std::unique_ptr<ViewRowBuilder> view(new (std::nothrow) ViewRowBuilder(settings, plan, options));
  if (!view || !view->Allocate()) return nullptr;
  return view;
}

FrameStatus RunRows(const FramePlan& plan, RowBuilder& builder, RowSink& sink) {
  for (int y = 0; y < plan.height(); ++y) {
    if (sink.StopBefore(y)) return FrameStatus::kStopped;
    builder.Build(y);
    if (!sink.Rows(y, y + 1, builder.Row(), plan.width())) return FrameStatus::kStopped;
  }
  return FrameStatus::kDone;
}

FrameStatus RenderRows(const FramePlan& plan, RowBuilder& builder, RowSink& sink) {
  FrameStatus status = FrameStatus::kDone;
  RunTeam(1 + builder.Helpers(), [&](int member) {
    if (member > 0) return builder.Help(member);
    status = RunRows(plan, builder, sink);
    builder.Finish();
  });
  return status;
}

}  // namespace zavol
