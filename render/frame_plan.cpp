#include "render/frame_plan.h"

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "render/thread_team.h"

namespace zavol {
namespace {

// Bands of rows per thread in the depth scan: more bands than threads, so that a thread the
// system holds back delays only a small one.
constexpr int kScanBandsPerThread = 4;

DepthRange ScanRange(const StereogramSettings& settings, const DepthView& depth, int threads) {
  const std::size_t width = static_cast<std::size_t>(depth.width);
  const std::size_t height = static_cast<std::size_t>(depth.height);
  const std::size_t stride = static_cast<std::size_t>(depth.rowStride);
  if (settings.AutoDistance == 0 || threads < 2) {
    return FrameDepthRange(settings, depth.values, width, height, stride);
  }
  DepthScan scan(depth.values, width, height, stride, threads * kScanBandsPerThread);
  std::atomic<int> next{0};
  RunTeam(std::min(threads, scan.bands()), [&](int) {
    for (int band; (band = next.fetch_add(1)) < scan.bands();) scan.ScanBand(band);
  });
  return scan.Finish();
}

}  // namespace

FramePlan PlanFrame(const StereogramSettings& settings, const DepthView& depth, int screenWidth,
                    int screenHeight, uint32_t suppliedSeed, int scanThreads) {
  DepthView rows = depth;
  rows.width = std::max(depth.width, 0);
  rows.height = std::max(depth.height, 0);
  rows.rowStride = std::max<std::ptrdiff_t>(depth.rowStride, rows.width);
  const ViewingGeometry geometry =
      ComputeGeometry(settings, rows.width, rows.height, screenWidth, screenHeight);
  const DepthRange range = ScanRange(settings, rows, scanThreads);
  return FramePlan{rows,
                   geometry,
                   range,
                   SeparationRule(geometry, range),
                   FrameSeed(settings, suppliedSeed),
                   PlanGuide(settings.PutGuidePoints != 0, rows.width, geometry.maxSeparation),
                   settings.PreventGhosting != 0};
}

}  // namespace zavol
