// The engine's frame host over plain buffers: the depth as given, runs clipped into the output
// view, pattern pixels at their own place, the portable colour conversions.
#include "render/image_render.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "render/frame.h"
#include "render/guide.h"
#include "render/hsv.h"
#include "render/parallel_render.h"
#include "render/view_engine.h"

namespace zavol {
namespace {

class BufferHost final : public FrameHost {
 public:
  BufferHost(const DepthView& depth, const ImageRenderOptions& options, const PixelView& out)
      : depth_(depth), options_(options), out_(out) {}

  bool stopped() const { return stopped_; }
  double farthestDepth() const { return farthestDepth_; }
  // Rows [0, rows) reached out by another way (the threaded rows), as if put here in order.
  void RowsPut(int rows) { rowsStarted_ = std::max(rowsStarted_, rows); }

  const float* DepthChannel() override { return depth_.values; }
  int Height() override { return depth_.height; }
  int Width() override { return depth_.width; }
  void ScreenSize(int* width, int* height) override {
    *width = options_.screenWidth;
    *height = options_.screenHeight;
  }
  uint32_t CalendarTime() override { return options_.seed; }
  bool ProgressAndAbortQuery(int y, int lastRow) override {
    if (options_.progress == nullptr || options_.progress(options_.user, y, lastRow) == 0) {
      return false;
    }
    stopped_ = true;
    return true;
  }
  bool HasPattern() override { return options_.pattern != nullptr; }
  void ReadPatternPixel(int x, int y, Pixel64* slot) override {
    const ConstPixelView& pattern = *options_.pattern;
    if (x < 0 || y < 0 || x >= pattern.width || y >= pattern.height) return;
    std::memcpy(slot, pattern.words + y * pattern.rowStride + 4 * static_cast<std::ptrdiff_t>(x),
                sizeof *slot);
  }
  void PutPixels(int x, int y, int count, const Pixel64* pixels) override {
    // After a stop the engine still draws the guide, as the plug-in's host expects; here a
    // stopped frame keeps the rows it finished and nothing more.
    if (stopped_ || y < 0 || y >= depth_.height || count <= 0) return;
    // out holds the newest out.height rows; the engine writes rows in order, then the guide.
    if (y >= rowsStarted_) rowsStarted_ = y + 1;
    if (y < rowsStarted_ - out_.height) return;
    // The guide's runs may cross the image's edges; in 64 bits no sum overflows.
    const int64_t begin = std::max<int64_t>(x, 0);
    const int64_t end = std::min<int64_t>(int64_t{x} + count, out_.width);
    if (begin >= end) return;
    std::memcpy(out_.words + (y % out_.height) * out_.rowStride + 4 * begin, pixels + (begin - x),
                static_cast<std::size_t>(end - begin) * sizeof(Pixel64));
  }
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override { RgbToHsv255(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) override { return HsvToRgb255(h, s, v); }
  void DebugLine(double farthestDepth) override { farthestDepth_ = farthestDepth; }

 private:
  const DepthView& depth_;
  const ImageRenderOptions& options_;
  const PixelView& out_;
  bool stopped_ = false;
  int rowsStarted_ = 0;  // rows the engine has begun to write
  double farthestDepth_ = 0.0;
};

}  // namespace

ImageRenderResult RenderImage(const StereogramSettings& settings, const DepthView& depth,
                              const ImageRenderOptions& options, const PixelView& out) {
  BufferHost host(depth, options, out);
  // The classic rows (the plug-in's) may render on several threads; the viewing options' rows
  // render in order.
  const int threads =
      options.view.IsDefault() ? FrameThreads(options.threads, depth.width, depth.height) : 1;
  if (threads > 1) {
    // The guide's white run is taken before the frame starts, so that a frame whose rows are
    // written never fails for want of it.
    const std::size_t columns = static_cast<std::size_t>(std::max(depth.width, 1));
    std::unique_ptr<Pixel64[]> guideRow;
    if (settings.PutGuidePoints != 0) guideRow.reset(new (std::nothrow) Pixel64[columns]);
    ThreadedFrame frame;
    if ((settings.PutGuidePoints == 0 || guideRow) &&
        RenderImageOnThreads(settings, depth, options, out, threads, host, &frame)) {
      if (frame.status == ImageRenderStatus::kDone && guideRow) {
        host.RowsPut(depth.height);
        DrawGuide(host, depth.width, frame.maxSeparation, guideRow.get(), columns);
      }
      return ImageRenderResult{frame.status, frame.farthestDepth};
    }
  }
  const std::size_t stride = static_cast<std::size_t>(depth.rowStride);
  const int rendered = options.view.IsDefault()
                           ? RenderStereogram(settings, host, stride)
                           : RenderViewStereogram(settings, host, stride, options.view);
  // The depth is never missing here, so a frame that did not start lacked its row buffer.
  const ImageRenderStatus status = rendered == 1   ? ImageRenderStatus::kDone
                                   : host.stopped() ? ImageRenderStatus::kStopped
                                                    : ImageRenderStatus::kOutOfMemory;
  return ImageRenderResult{status, host.farthestDepth()};
}

}  // namespace zavol
