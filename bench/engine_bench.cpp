// Engine throughput in megapixels per second: whole frames of the built-in scene for the three
// dot sources and both ghosting modes, through the tests' frame host and through the library's
// zavol_render, against a streaming pass over buffers of the same size (the memory system's
// ceiling). Native only; timings are never tests.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "libzavol/zavol.h"
#include "render/frame.h"
#include "render/scene.h"
#include "tests/recording_host.h"

namespace {

using zavol::Pixel64;

struct Frame {
  int width, height;
  std::vector<float> depth;
  std::vector<Pixel64> pattern;
  std::vector<Pixel64> image;
};

// One frame per size, made once: the scene, a noise pattern and the output image.
Frame& FrameOfSize(int width, int height) {
  static std::map<std::pair<int, int>, Frame> frames;
  auto found = frames.find({width, height});
  if (found != frames.end()) return found->second;
  Frame frame{width, height, zavol::MakeDemoScene(width, height), {}, {}};
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  frame.pattern.resize(pixels);
  uint32_t state = 1;
  for (Pixel64& p : frame.pattern) {
    state = state * 1664525u + 1013904223u;
    p = Pixel64{static_cast<uint16_t>(state >> 16), static_cast<uint16_t>(state >> 8),
                static_cast<uint16_t>(state), 65535};
  }
  frame.image.assign(pixels, Pixel64{0, 0, 0, 0});
  return frames.emplace(std::make_pair(width, height), std::move(frame)).first->second;
}

// The tests' flat frame host: the frame and the pattern copied in once, outside the timed loop,
// and every run clipped and copied into the canvas.
zavoltest::FlatHost BenchHost(const Frame& frame, bool pattern) {
  zavoltest::FlatHost host(frame.width, frame.height, frame.depth, Pixel64{0, 0, 0, 0});
  host.screenWidth = 1920, host.screenHeight = 1080;
  host.calendarTime = 1;
  if (pattern) {
    host.hasPattern = true;
    host.pattern = frame.pattern;
    host.patternWidth = frame.width, host.patternHeight = frame.height;
  }
  return host;
}

void SetMegapixelRate(benchmark::State& state, const Frame& frame) {
  const double megapixels = static_cast<double>(frame.width) * frame.height / 1e6;
  state.counters["MP/s"] =
      benchmark::Counter(megapixels * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

struct Variant {
  const char* name;
  int32_t rampMode;
  int32_t preventGhosting;
  bool pattern;
};

void RenderFrames(benchmark::State& state, Variant variant, int width, int height) {
  Frame& frame = FrameOfSize(width, height);
  StereogramSettings settings = DefaultSettings();  // RGB ramp, ghosting prevented, AutoDistance
  settings.RampMode = variant.rampMode;
  settings.PreventGhosting = variant.preventGhosting;
  zavoltest::FlatHost host = BenchHost(frame, variant.pattern);
  for (auto _ : state) {
    benchmark::DoNotOptimize(zavol::RenderStereogram(settings, host));
    benchmark::ClobberMemory();
  }
  SetMegapixelRate(state, frame);
}

// The same frames through the library's C interface, into the same output image.
void RenderFramesThroughLibrary(benchmark::State& state, Variant variant, int width, int height) {
  Frame& frame = FrameOfSize(width, height);
  StereogramSettings record = DefaultSettings();
  record.RampMode = variant.rampMode;
  record.PreventGhosting = variant.preventGhosting;
  zavol_settings settings;
  zavol_settings_from_bytes(&settings, &record, sizeof record);
  zavol_options options;
  zavol_options_default(&options);
  options.seed = 1;  // as BenchHost's calendar time
  const zavol_image pattern{reinterpret_cast<uint16_t*>(frame.pattern.data()), width, height, 0};
  if (variant.pattern) options.pattern = &pattern;
  const zavol_depth depth{frame.depth.data(), width, height, 0};
  zavol_image out{reinterpret_cast<uint16_t*>(frame.image.data()), width, height, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(zavol_render(&settings, &depth, &options, &out));
    benchmark::ClobberMemory();
  }
  SetMegapixelRate(state, frame);
}

// What any frame costs at least: every depth read once, every output pixel written once.
void StreamingPass(benchmark::State& state, int width, int height) {
  Frame& frame = FrameOfSize(width, height);
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  for (auto _ : state) {
    const float* depth = frame.depth.data();
    Pixel64* image = frame.image.data();
    for (std::size_t i = 0; i < pixels; ++i) {
      uint32_t bits;
      std::memcpy(&bits, &depth[i], 4);
      image[i] = Pixel64{static_cast<uint16_t>(bits), static_cast<uint16_t>(bits >> 16), 0, 65535};
    }
    benchmark::ClobberMemory();
  }
  SetMegapixelRate(state, frame);
}

// The console table, then each engine line as a fraction of the streaming pass of its size.
class FractionReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      // Of repeated runs the fastest counts: on a shared machine the slower ones measure the
      // neighbours.
      const auto counter = run.counters.find("MP/s");
      if (counter == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      auto known = std::find_if(rates_.begin(), rates_.end(),
                                [&name](const auto& entry) { return entry.first == name; });
      if (known == rates_.end()) {
        rates_.emplace_back(name, counter->second.value);
      } else {
        known->second = std::max(known->second, counter->second.value);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::map<std::string, double> streaming;
    for (const auto& [name, rate] : rates_) {
      if (name.rfind("streaming/", 0) == 0) streaming[name.substr(10)] = rate;
    }
    std::printf("\nEngine speed (best of the repetitions) as a fraction of the streaming pass of "
                "the same size:\n");
    for (const auto& [name, rate] : rates_) {
      if (name.rfind("engine/", 0) != 0) continue;
      const std::string size = name.substr(name.rfind('/') + 1);
      const auto base = streaming.find(size);
      if (base == streaming.end() || base->second <= 0.0) continue;
      std::printf("  %-52s %8.1f MP/s  %5.3f of %8.1f MP/s\n", name.c_str(), rate,
                  rate / base->second, base->second);
    }
  }

 private:
  std::vector<std::pair<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  const Variant variants[] = {
      {"rgb", kRampRgb, 1, false},
      {"rgb_ghosting_off", kRampRgb, 0, false},
      {"hsv", kRampHsv, 1, false},
      {"hsv_ghosting_off", kRampHsv, 0, false},
      {"pattern", kRampRgb, 1, true},
      {"pattern_ghosting_off", kRampRgb, 0, true},
  };
  const std::pair<int, int> sizes[] = {{1920, 1080}, {3840, 2160}};
  for (const auto& [width, height] : sizes) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    benchmark::RegisterBenchmark(("streaming/" + size).c_str(), StreamingPass, width, height)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3);
    for (const Variant& v : variants) {
      benchmark::RegisterBenchmark(("engine/" + std::string(v.name) + "/" + size).c_str(),
                                   RenderFrames, v, width, height)
          ->Unit(benchmark::kMillisecond)
          ->Repetitions(3);
      benchmark::RegisterBenchmark(
          ("engine/" + std::string(v.name) + "/zavol_render/" + size).c_str(),
          RenderFramesThroughLibrary, v, width, height)
          ->Unit(benchmark::kMillisecond)
          ->Repetitions(3);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FractionReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
