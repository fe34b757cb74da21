// The checks the tool makes before every frame, on the built-in scene at 3840x2160 with the
// defaults: the far end of its range meets the background, so the merge check reads the whole
// depth. Against a plain count over the same depth, the cost of reading it once: the check
// should cost about that. Timings are never tests.
#include <benchmark/benchmark.h>

#include <vector>

#include "render/frame_checks.h"
#include "render/scene.h"
#include "render/settings.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

const std::vector<float>& Depth() {
  static const std::vector<float> depth = zavol::MakeDemoScene(kWidth, kHeight);
  return depth;
}

void CheckFusing(benchmark::State& state) {
  const std::vector<float>& depth = Depth();
  const StereogramSettings settings = DefaultSettings();
  const zavol::DepthSpread spread = zavol::LookAtDepth(depth.data(), kWidth, kHeight, kWidth);
  // The plan is the frame's own, made once for the checks and the render alike.
  const zavol::FramePlan plan = zavol::PlanFrame(
      settings, zavol::DepthView{depth.data(), kWidth, kHeight, kWidth}, 1920, 1080, 0);
  for (auto _ : state) {
    const zavol::Fusing f = zavol::CheckFusing(settings, plan, spread);
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(CheckFusing)->Unit(benchmark::kMillisecond);

void ReadDepthOnce(benchmark::State& state) {
  const std::vector<float>& depth = Depth();
  for (auto _ : state) {
    int below = 0;
    for (float z : depth) below += static_cast<int>(z < -0.5f);
    benchmark::DoNotOptimize(below);
  }
}
BENCHMARK(ReadDepthOnce)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
