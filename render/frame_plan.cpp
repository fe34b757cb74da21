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

// The frame's depth range: scanned under auto distance, in bands on up to threads threads, and
// with countLevels the farthest level counted on the way into *level (*levelKnown says whether).
DepthRange ScanRange(const StereogramSettings& settings, const DepthView& depth, int threads,
                     bool countLevels, FarthestLevel* level, bool* levelKnown) {
  const std::size_t width = static_cast<std::size_t>(depth.width);
  const std::size_t height = static_cast<std::size_t>(depth.height);
  const std::size_t stride = static_cast<std::size_t>(depth.rowStride);
  if (settings.AutoDistance == 0) return FrameDepthRange(settings, depth.values, width, height, stride);
  const int bands = threads < 2 ? 1 : threads * kScanBandsPerThread;
  DepthScan scan(depth.values, width, height, stride, bands, countLevels);
  if (threads < 2 || scan.bands() < 2) {
    for (int band = 0; band < scan.bands(); ++band) scan.ScanBand(band);
  } else {
    std::atomic<int> next{0};
    RunTeam(std::min(threads, scan.bands()), [&](int) {
      for (int band; (band = next.fetch_add(1)) < scan.bands();) scan.ScanBand(band);
    });
  }
  const DepthRange range = scan.Finish();
  *levelKnown = scan.Level(level);
  return range;
}

}  // namespace

FramePlan PlanFrame(const StereogramSettings& settings, const DepthView& depth, int screenWidth,
                    int screenHeight, uint32_t suppliedSeed, int scanThreads, bool countLevels) {
  DepthView rows = depth;
  rows.width = std::max(depth.width, 0);
  rows.height = std::max(depth.height, 0);
  rows.rowStride = std::max<std::ptrdiff_t>(depth.rowStride, rows.width);
  const ViewingGeometry geometry =
      ComputeGeometry(settings, rows.width, rows.height, screenWidth, screenHeight);
  FarthestLevel level;
  bool levelKnown = false;
  const DepthRange range =
      ScanRange(settings, rows, scanThreads, countLevels, &level, &levelKnown);
  return FramePlan{rows,
                   geometry,
                   range,
                   SeparationRule(geometry, range),
                   FrameSeed(settings, suppliedSeed),
                   PlanGuide(settings.PutGuidePoints != 0, rows.width, geometry.maxSeparation),
                   settings.PreventGhosting != 0,
                   levelKnown,
                   level};
}

}  // namespace zavol
