// Decoder speed: a 1920x1080 stereogram of the built-in scene (defaults, a fixed seed) decoded
// on one thread and on two, in milliseconds per frame and megapixels per second, and the estimate
// of its rows' own repeat. Native only; timings are never tests.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "render/decode.h"
#include "render/image_render.h"
#include "render/scene.h"

namespace {

struct Picture {
  int width = 1920, height = 1080;
  std::vector<uint16_t> words;
};

const Picture& DemoPicture() {
  static const Picture picture = [] {
    Picture p;
    p.words.resize(static_cast<std::size_t>(p.width) * p.height * 4);
    const std::vector<float> depth = zavol::MakeDemoScene(p.width, p.height);
    zavol::ImageRenderOptions options;
    options.seed = 1;
    zavol::RenderImage(DefaultSettings(), zavol::DepthView{depth.data(), p.width, p.height, p.width},
                       options, zavol::PixelView{p.words.data(), p.width, p.height, 4 * p.width});
    return p;
  }();
  return picture;
}

void Decode(benchmark::State& state) {
  const Picture& p = DemoPicture();
  zavol::DecodeOptions options;
  options.bounds = zavol::FrameSeparationBounds(DefaultSettings(), p.width, p.height, 1920, 1080);
  options.threads = static_cast<int>(state.range(0));
  std::vector<float> separations(static_cast<std::size_t>(p.width) * p.height);
  const zavol::ConstPixelView view{p.words.data(), p.width, p.height, 4 * p.width};
  for (auto _ : state) {
    zavol::DecodeStereogram(view, options, separations.data(), nullptr);
    benchmark::DoNotOptimize(separations.data());
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(p.width) * p.height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(Decode)->Name("decode/1920x1080/threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The look at the rows' own repeat that decode takes when the settings give no range: 32 rows,
// every shift up to half the width.
void EstimateThePeriod(benchmark::State& state) {
  const Picture& p = DemoPicture();
  const zavol::ConstPixelView view{p.words.data(), p.width, p.height, 4 * p.width};
  for (auto _ : state) benchmark::DoNotOptimize(zavol::EstimatePeriod(view).period);
}

BENCHMARK(EstimateThePeriod)->Name("estimate_period/1920x1080")->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
