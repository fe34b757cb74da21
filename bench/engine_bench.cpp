// Engine throughput in megapixels per second: whole frames of the built-in scene for the three
// dot sources and both ghosting modes, through the tests' frame host and through the library's
// zavol_render, against a streaming pass over buffers of the same size (the memory system's
// ceiling); and the defaults' frame on one thread and on two. Native only; timings are never
// tests.
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
#include "shell/frame_host.h"
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

// Frames through the library's C interface, into the frame's output image.
void TimeLibraryFrames(benchmark::State& state, Frame& frame, const zavol_settings& settings,
                       const zavol_options& options) {
  const zavol_depth depth{frame.depth.data(), frame.width, frame.height, 0};
  zavol_image out{reinterpret_cast<uint16_t*>(frame.image.data()), frame.width, frame.height, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(zavol_render(&settings, &depth, &options, &out));
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
  options.threads = 1;  // beside the frame host's lines; the threads/ lines compare counts
  const zavol_image pattern{reinterpret_cast<uint16_t*>(frame.pattern.data()), width, height, 0};
  if (variant.pattern) options.pattern = &pattern;
  TimeLibraryFrames(state, frame, settings, options);
}

// The defaults' frame through zavol_render on a number of threads, built in place (no progress
// callback), with a progress callback, or handed over row by row through the row sink (as the
// tool takes its rows). The frame's
// digest is kept for the closing table: every count must give the same bytes.
std::map<std::string, uint64_t>& FrameDigests() {
  static std::map<std::string, uint64_t> digests;
  return digests;
}

uint64_t Fnv1a(const std::vector<Pixel64>& pixels) {
  uint64_t hash = 0xcbf29ce484222325ull;
  const auto* bytes = reinterpret_cast<const unsigned char*>(pixels.data());
  for (std::size_t i = 0; i < pixels.size() * sizeof(Pixel64); ++i) {
    hash = (hash ^ bytes[i]) * 0x100000001b3ull;
  }
  return hash;
}

int CountRows(void* user, int, int) {
  ++*static_cast<int*>(user);
  return 0;
}

// The rows as a streaming caller takes them: copied into the frame's image (the same bytes move
// as into out, so the lines compare).
struct SinkTarget {
  Pixel64* image;
  int width;
};
int CopyRows(void* user, int first, int end, const uint16_t* pixels, ptrdiff_t stride) {
  const SinkTarget& target = *static_cast<SinkTarget*>(user);
  for (int y = first; y < end; ++y, pixels += stride) {
    std::memcpy(target.image + static_cast<std::size_t>(y) * target.width, pixels,
                static_cast<std::size_t>(target.width) * sizeof(Pixel64));
  }
  return 0;
}

enum class Delivery { kInPlace, kProgress, kSink };

void RenderOnThreads(benchmark::State& state, const std::string& name, int threads,
                     Delivery delivery, int width, int height) {
  Frame& frame = FrameOfSize(width, height);
  zavol_settings settings;
  zavol_settings_default(&settings);
  zavol_options options;
  zavol_options_default(&options);
  options.seed = 1;
  options.threads = threads;
  int rows = 0;
  SinkTarget target{frame.image.data(), width};
  if (delivery == Delivery::kProgress) {
    options.progress = CountRows;
    options.user = &rows;
  }
  if (delivery == Delivery::kSink) {
    options.rows = CopyRows;
    options.user = &target;
    const zavol_depth depth{frame.depth.data(), frame.width, frame.height, 0};
    for (auto _ : state) {
      benchmark::DoNotOptimize(zavol_render(&settings, &depth, &options, nullptr));
      benchmark::ClobberMemory();
    }
    SetMegapixelRate(state, frame);
  } else {
    TimeLibraryFrames(state, frame, settings, options);
  }
  FrameDigests()[name] = Fnv1a(frame.image);
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
    // Threads against one thread, each line's frame digest beside it.
    std::map<std::string, double> single;
    for (const auto& [name, rate] : rates_) {
      if (name.rfind("threads/1/", 0) == 0) single[name.substr(10)] = rate;
    }
    if (single.empty()) return;
    std::printf("\nzavol_render on several threads, the defaults (best of the repetitions):\n");
    for (const auto& [name, rate] : rates_) {
      if (name.rfind("threads/", 0) != 0) continue;
      const std::string rest = name.substr(name.find('/', 8) + 1);
      const auto base = single.find(rest);
      const auto digest = FrameDigests().find(name);
      std::printf("  %-40s %8.1f MP/s  %5.2fx one thread  digest %016llx\n", name.c_str(), rate,
                  base == single.end() ? 0.0 : rate / base->second,
                  digest == FrameDigests().end() ? 0ull
                                                 : static_cast<unsigned long long>(digest->second));
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
  for (const auto& [width, height] : sizes) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    for (int threads : {1, 2}) {
      for (Delivery delivery : {Delivery::kInPlace, Delivery::kProgress, Delivery::kSink}) {
        const std::string name =
            "threads/" + std::to_string(threads) +
            (delivery == Delivery::kProgress ? "/progress/" : delivery == Delivery::kSink ? "/sink/" : "/") +
            size;
        benchmark::RegisterBenchmark(name.c_str(), RenderOnThreads, name, threads, delivery,
                                     width, height)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(3);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FractionReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
