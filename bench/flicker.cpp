// Flicker of animated stereograms: the share of pixels that change from one frame to the next
// while the built-in scene moves 8 pixels a frame, for the dot sources, anchors and linkings,
// at a fixed seed. Native only; a measurement, never a test.
//   flicker [--size WxH] [--frames N]        (default 1920x1080, 8 frames: 7 frame pairs)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/image_render.h"
#include "render/scene.h"

namespace {

struct Mode {
  const char* name;
  zavol::ViewOptions view;
};

std::vector<Mode> Modes() {
  using zavol::Anchor;
  using zavol::DotSource;
  using zavol::Linking;
  std::vector<Mode> modes;
  auto add = [&modes](const char* name, DotSource dots, Anchor anchor, Linking linking,
                      int dotSize, int oversample) {
    zavol::ViewOptions view;
    view.dots = dots;
    view.anchor = anchor;
    view.linking = linking;
    view.dotSize = dotSize;
    view.oversample = oversample;
    modes.push_back(Mode{name, view});
  };
  add("stream (the plug-in's dots)", DotSource::kStream, Anchor::kAuto, Linking::kClassic, 1, 1);
  add("stable, left anchor", DotSource::kStable, Anchor::kLeft, Linking::kClassic, 1, 1);
  add("stable (centre anchor)", DotSource::kStable, Anchor::kAuto, Linking::kClassic, 1, 1);
  add("stable, symmetric linking", DotSource::kStable, Anchor::kAuto, Linking::kSymmetric, 1, 1);
  add("stable, symmetric, left anchor", DotSource::kStable, Anchor::kLeft, Linking::kSymmetric, 1,
      1);
  add("stable, dot size 2", DotSource::kStable, Anchor::kAuto, Linking::kClassic, 2, 1);
  add("stable, oversample 2", DotSource::kStable, Anchor::kAuto, Linking::kClassic, 1, 2);
  return modes;
}

bool ParseSize(const char* text, int* width, int* height) {
  return std::sscanf(text, "%dx%d", width, height) == 2 && *width > 0 && *height > 0 &&
         *width <= 65535 && *height <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  int width = 1920, height = 1080, frames = 8;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--size" && i + 1 < argc && ParseSize(argv[i + 1], &width, &height)) {
      ++i;
    } else if (arg == "--frames" && i + 1 < argc && std::atoi(argv[i + 1]) >= 2) {
      frames = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: flicker [--size WxH] [--frames N>=2]\n");
      return 2;
    }
  }
  std::vector<std::vector<float>> depths;
  for (int f = 0; f < frames; ++f) depths.push_back(zavol::MakeDemoSceneFrame(width, height, f));

  // The tool's defaults with a fixed seed (--no-randomize): every frame starts from seed 0.
  StereogramSettings settings = DefaultSettings();
  settings.RandomizeEachFrame = 0;
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  std::printf("flicker: %dx%d, the scene moving %d pixels a frame, %d frame pairs\n", width, height,
              zavol::kDemoScenePixelsPerFrame, frames - 1);
  std::printf("  %-34s %10s %12s\n", "dots", "changed", "ms/frame");
  for (const Mode& mode : Modes()) {
    std::vector<uint16_t> previous(4 * pixels), current(4 * pixels);
    zavol::ImageRenderOptions options;
    options.view = mode.view;
    double changedSum = 0.0, seconds = 0.0;
    for (int f = 0; f < frames; ++f) {
      const zavol::DepthView depth{depths[f].data(), width, height, width};
      const zavol::PixelView out{current.data(), width, height, 4 * static_cast<std::ptrdiff_t>(width)};
      const auto start = std::chrono::steady_clock::now();
      if (zavol::RenderImage(settings, depth, options, out).status != zavol::ImageRenderStatus::kDone) {
        std::fprintf(stderr, "flicker: %s: the frame did not render\n", mode.name);
        return 1;
      }
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (f > 0) {
        std::size_t changed = 0;
        for (std::size_t i = 0; i < pixels; ++i) {
          changed += std::memcmp(&current[4 * i], &previous[4 * i], 3 * sizeof(uint16_t)) != 0;
        }
        changedSum += static_cast<double>(changed) / static_cast<double>(pixels);
      }
      std::swap(previous, current);
    }
    std::printf("  %-34s %10.3f %12.1f\n", mode.name, changedSum / (frames - 1),
                1000.0 * seconds / frames);
  }
  return 0;
}
