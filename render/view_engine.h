// Row synthesis with the viewing options: rows linked at the sub-pixel pitch, classic or
// symmetric, for diverged or crossed eyes, each set of linked pixels coloured from its anchor by
// the stream or by place, and averaged down to pixels. Portable; one of the row builders behind
// the engine's row loop (render/row_loop.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/frame.h"
#include "render/frame_plan.h"
#include "render/geometry.h"
#include "render/linking.h"
#include "render/row_loop.h"
#include "render/stable_dots.h"
#include "render/view_options.h"

namespace zavol {

// One row at a time: the working memory of a frame's rows. With every option at its default it
// makes the classic builder's pixels (the differential tests hold it to that).
class ViewRowBuilder final : public RowBuilder {
 public:
  // plan must outlive the builder.
  ViewRowBuilder(const StereogramSettings& settings, const FramePlan& plan,
                 const ViewOptions& options);

  bool Allocate();  // false without memory

  void Start(uint32_t seed, const DotSources& sources) override;
  // Row y (rows in order from 0; the row above lends colours) from the plan's depth row y.
  void Build(int y) override;
  Pixel64* Row() override { return row_; }

  int subWidth() const { return subWidth_; }
  const int32_t* SubSeparations() const { return subSeparations_; }
  // The row Build made, at the sub-pixel pitch.
  const Pixel64* SubRow() const { return above_; }
 private:
  struct FreeBlock {
    void operator()(void* block) const;
  };
  void Colour(int y);
  void AverageDown();

  const FramePlan& plan_;
  SubPixelRule rule_;
  ViewOptions options_;
  int width_, columns_, oversample_, subWidth_;
  bool preventGhosting_;
  double eyeSeparationPx_;
  RowLinks links_;
  DotPainter painter_;
  std::unique_ptr<void, FreeBlock> block_;
  int32_t* pixelSeparations_ = nullptr;
  int32_t* subSeparations_ = nullptr;
  uint8_t* visible_ = nullptr;
  float* visibilityScratch_ = nullptr;
  Pixel64* current_ = nullptr;
  Pixel64* above_ = nullptr;  // the row above at the sub-pixel pitch, black before row 0
  Pixel64* row_ = nullptr;
};

}  // namespace zavol
