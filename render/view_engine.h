// Row synthesis with the viewing options: rows linked at the sub-pixel pitch, classic or
// symmetric, for diverged or crossed eyes, each set of linked pixels coloured from its anchor by
// the stream or by place, and averaged down to pixels. Portable: the frame is reached only
// through FrameHost; the plug-in's own rows stay with RenderStereogram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/frame.h"
#include "render/geometry.h"
#include "render/linking.h"
#include "render/stable_dots.h"
#include "render/view_options.h"

namespace zavol {

// One frame through host with options: the frame's steps, results and guide as RenderStereogram
// has them, and with every option at its default the same host calls and pixels. Invalid
// options (ViewOptions::Valid) start nothing and give 0.
int RenderViewStereogram(const StereogramSettings& settings, FrameHost& host,
                         std::size_t depthRowStride, const ViewOptions& options);

// One row at a time: the working memory of a frame's rows.
class ViewRowBuilder {
 public:
  ViewRowBuilder(const StereogramSettings& settings, const ViewingGeometry& geometry,
                 const SeparationRule& rule, const ViewOptions& options, int width,
                 FrameHost& host, uint32_t seed, bool pattern);

  bool Allocate();  // false without memory

  // Row y (rows in order from 0; the row above lends colours) from its width depths.
  void Build(const float* depth, int y);

  int subWidth() const { return subWidth_; }
  const int32_t* SubSeparations() const { return subSeparations_; }
  // The row Build made, at the sub-pixel pitch.
  const Pixel64* SubRow() const { return above_; }
  // The row at the pixel pitch; also lent to the guide once the rows are done.
  Pixel64* Row() { return row_; }

 private:
  struct FreeBlock {
    void operator()(void* block) const;
  };
  void Colour(int y);
  void AverageDown();

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
