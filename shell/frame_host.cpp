// The host adapter: the host's calls in the plug-in's order around the engine's row loop.
#include "shell/frame_host.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>

#include "render/frame_plan.h"
#include "render/guide.h"
#include "render/row_loop.h"

namespace zavol {
namespace {

// The last row's index for the progress report; the host's height is asked anew for each row.
int LastRow(int height) { return height == INT_MIN ? INT_MIN : height - 1; }

class HostRows final : public RowSink {
 public:
  HostRows(FrameHost& host, int width) : host_(host), width_(width) {}
  bool StopBefore(int y) override { return host_.ProgressAndAbortQuery(y, LastRow(host_.Height())); }
  bool Rows(int first, int end, const Pixel64* rows, std::ptrdiff_t rowStride) override {
    for (int y = first; y < end; ++y, rows += rowStride) host_.PutPixels(0, y, width_, rows);
    return true;
  }

 private:
  FrameHost& host_;
  int width_;
};

class HostColours final : public ColourConversions {
 public:
  explicit HostColours(FrameHost& host) : host_(&host) {}
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) const override {
    host_->RgbToHsv(rgb, h, s, v);
  }
  uint32_t HsvToRgb(int h, int s, int v) const override { return host_->HsvToRgb(h, s, v); }

 private:
  FrameHost* host_;
};

class HostPattern final : public PatternReader {
 public:
  explicit HostPattern(FrameHost& host) : host_(host) {}
  // The host's answer is not known here: the slot keeps its colour when it cannot deliver.
  bool Read(int x, int y, Pixel64* slot) override {
    host_.ReadPatternPixel(x, y, slot);
    return true;
  }

 private:
  FrameHost& host_;
};

}  // namespace

int RenderStereogram(const StereogramSettings& settings, FrameHost& host,
                     std::size_t depthRowStride) {
  return RenderViewStereogram(settings, host, depthRowStride, ViewOptions{});
}

int RenderViewStereogram(const StereogramSettings& settings, FrameHost& host,
                         std::size_t depthRowStride, const ViewOptions& options) {
  const float* depth = host.DepthChannel();
  if (depth == nullptr || !options.Valid()) return 0;
  // Height, width and screen, in this order, as the plug-in has always asked.
  const int height = host.Height();
  const int width = host.Width();
  int screenWidth = 0, screenHeight = 0;
  host.ScreenSize(&screenWidth, &screenHeight);
  const std::size_t stride = std::min<std::size_t>(depthRowStride, PTRDIFF_MAX);
  // The seed is the host's to give (below); the plan's own is not used here.
  const FramePlan plan =
      PlanFrame(settings, DepthView{depth, width, height, static_cast<std::ptrdiff_t>(stride)},
                screenWidth, screenHeight, 0);
  std::unique_ptr<RowBuilder> builder = MakeRowBuilder(settings, plan, options);
  if (!builder) return 0;

  // The calendar is read only when the settings want a new pattern each frame.
  const uint32_t seed = settings.RandomizeEachFrame != 0 ? host.CalendarTime() : 0u;
  HostColours colours(host);
  HostPattern pattern(host);
  builder->Start(seed, DotSources{&colours, host.HasPattern() ? &pattern : nullptr});
  HostRows rows(host, plan.width());
  const int result = RunRows(plan, *builder, rows) == FrameStatus::kDone ? 1 : 0;

  // The guide goes over the rows even after a stop, as the host has always had it; its white
  // run is lent by the row memory, so it never fails for want of memory.
  if (plan.guide.drawn) {
    Pixel64* white = builder->Row();
    std::fill(white, white + plan.guide.band, kGuideWhite);
    static const Pixel64 kSquareRun[kGuideSquareSize] = {};  // black with alpha 0
    ForEachGuideRun(plan.guide, [&](int x, int y, int count, bool isWhite) {
      host.PutPixels(x, y, count, isWhite ? white : kSquareRun);
    });
  }
  builder.reset();
  host.DebugLine(plan.range.farthestDepth);
  return result;
}

}  // namespace zavol
