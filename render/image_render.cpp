// The engine over plain buffers: the frame plan, the pattern read at its own place, the portable
// colour conversions, and a row sink that lands rows in the output view (and the caller's row
// callback) with the guide painted in as they leave.
#include "render/image_render.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "render/frame_plan.h"
#include "render/guide.h"
#include "render/hsv.h"
#include "render/parallel_render.h"
#include "render/row_loop.h"

namespace zavol {
namespace {

class PortableColours final : public ColourConversions {
 public:
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) const override { RgbToHsv255(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) const override { return HsvToRgb255(h, s, v); }
};

// Pixel (x, y) of the view; nothing outside it. Read-only, so any thread may ask.
class ViewPattern final : public PatternReader {
 public:
  explicit ViewPattern(const ConstPixelView* view) : view_(view != nullptr ? *view : ConstPixelView{}) {}
  bool Read(int x, int y, Pixel64* slot) override {
    if (x < 0 || y < 0 || x >= view_.width || y >= view_.height) return false;
    std::memcpy(slot, view_.words + y * view_.rowStride + 4 * static_cast<std::ptrdiff_t>(x),
                sizeof *slot);
    return true;
  }

 private:
  const ConstPixelView view_;
};

class BufferSink final : public RowSink {
 public:
  BufferSink(const ImageRenderOptions& options, const PixelView& out, const FramePlan& plan,
             bool paintGuide)
      : options_(options), out_(out), plan_(plan),
        guide_(paintGuide ? plan.guide : GuidePlan{}) {}

  // A row of its own for the guide's rows when out cannot hold them: false without memory.
  bool Allocate() {
    if (!guide_.drawn || out_.words != nullptr) return true;
    scratch_.reset(new (std::nothrow) Pixel64[static_cast<std::size_t>(plan_.width())]);
    return scratch_ != nullptr;
  }

  bool StopBefore(int y) override {
    return options_.progress != nullptr &&
           options_.progress(options_.user, y, plan_.height() - 1) != 0;
  }

  bool Rows(int first, int end, const Pixel64* rows, std::ptrdiff_t rowStride) override {
    const std::size_t bytes = static_cast<std::size_t>(plan_.width()) * sizeof(Pixel64);
    for (int y = first; y < end; ++y, rows += rowStride) {
      const Pixel64* row = rows;
      if (out_.words != nullptr) {
        Pixel64* place = reinterpret_cast<Pixel64*>(out_.words + y * out_.rowStride);
        if (place != row) std::memcpy(place, row, bytes);
        PaintGuideRow(guide_, y, place, plan_.width());
        row = place;
      } else if (guide_.drawn && y >= kGuideFirstRow && y <= kGuideLastRow) {
        std::memcpy(scratch_.get(), row, bytes);
        PaintGuideRow(guide_, y, scratch_.get(), plan_.width());
        row = scratch_.get();
      }
      if (options_.rows != nullptr &&
          options_.rows(options_.user, y, y + 1, reinterpret_cast<const uint16_t*>(row),
                        4 * static_cast<std::ptrdiff_t>(plan_.width())) != 0) {
        return false;
      }
    }
    return true;
  }

 private:
  const ImageRenderOptions& options_;
  const PixelView& out_;
  const FramePlan& plan_;
  const GuidePlan guide_;
  std::unique_ptr<Pixel64[]> scratch_;
};

}  // namespace

namespace {

// The threads a frame's rows render on: the classic rows (the plug-in's) may render on several,
// the viewing options' rows render in order.
int RowThreads(const ImageRenderOptions& options, int width, int height) {
  return options.view.IsDefault() ? FrameThreads(options.threads, width, height) : 1;
}

}  // namespace

FramePlan PlanImage(const StereogramSettings& settings, const DepthView& depth,
                    const ImageRenderOptions& options, bool countLevels) {
  return PlanFrame(settings, depth, options.screenWidth, options.screenHeight, options.seed,
                   RowThreads(options, depth.width, depth.height), countLevels);
}

ImageRenderResult RenderImage(const StereogramSettings& settings, const DepthView& depth,
                              const ImageRenderOptions& options, const PixelView& out) {
  return RenderImage(settings, PlanImage(settings, depth, options), options, out);
}

ImageRenderResult RenderImage(const StereogramSettings& settings, const FramePlan& plan,
                              const ImageRenderOptions& options, const PixelView& out) {
  const int threads = RowThreads(options, plan.width(), plan.height());
  const double farthest = plan.range.farthestDepth;
  PortableColours colours;
  ViewPattern pattern(options.pattern);
  const DotSources sources{&colours, options.pattern != nullptr ? &pattern : nullptr};

  // Nobody can stop the frame and out holds all of it: rows built ahead on threads are built
  // where they end up, and the guide is painted once they are all there (a row lends colours to
  // the row below).
  bool inPlace = threads > 1 && options.progress == nullptr && options.rows == nullptr &&
                 out.height >= plan.height();
  const InPlaceRows place{out.words, out.rowStride};
  std::unique_ptr<RowBuilder> builder =
      MakeThreadedRowBuilder(settings, plan, threads, inPlace ? &place : nullptr);
  if (!builder) {
    inPlace = false;
    builder = MakeRowBuilder(settings, plan, options.view);
  }
  BufferSink sink(options, out, plan, !inPlace);
  if (!builder || !sink.Allocate()) return ImageRenderResult{FrameStatus::kOutOfMemory, farthest};
  builder->Start(plan.seed, sources);
  const FrameStatus status = RenderRows(plan, *builder, sink);
  if (inPlace && status == FrameStatus::kDone) {
    for (int y = kGuideFirstRow; y <= kGuideLastRow && y < plan.height(); ++y) {
      PaintGuideRow(plan.guide, y, reinterpret_cast<Pixel64*>(out.words + y * out.rowStride),
                    plan.width());
    }
  }
  return ImageRenderResult{status, farthest};
}

}  // namespace zavol
