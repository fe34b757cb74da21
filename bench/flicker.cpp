// Flicker of animated stereograms: the share of pixels that change from one frame to the next
// while the built-in scene moves 8 pixels a frame, for the dot sources, anchors and linkings,
// at a fixed seed; beside it the share of pairs at their intended separation whose two pixels
// are equal (what lets the picture fuse). Native only; a measurement, never a test.
//   flicker [--size WxH] [--frames N] [--plane]
// Default 1920x1080, 8 frames (7 frame pairs) of the built-in scene; --plane takes a plane
// tilted across the whole picture instead, sliding the same way (as under a panning camera),
// at a fixed depth range.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "render/geometry.h"
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

// Of the pairs the frame's depth asks for (classic: each pixel and the one a separation to its
// left; symmetric: the pair centred on each pixel), the share whose two pixels are equal. Hidden
// points and refused links leave a few pairs unlinked by design; a band that cannot fuse shows
// as a drop.
double LinkedShare(const StereogramSettings& settings, const std::vector<float>& depth, int width,
                   int height, const std::vector<uint16_t>& image, zavol::Linking linking) {
  const zavol::ViewingGeometry geometry = zavol::ComputeGeometry(settings, width, height, 1920, 1080);
  const zavol::SeparationRule rule(
      geometry, zavol::FrameDepthRange(settings, depth.data(), static_cast<std::size_t>(width),
                                       static_cast<std::size_t>(height)));
  auto same = [&](std::size_t a, std::size_t b) {
    return std::memcmp(&image[4 * a], &image[4 * b], 3 * sizeof(uint16_t)) == 0;
  };
  std::size_t pairs = 0, equal = 0;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const int s = rule(depth[row + x]);
      const int left = linking == zavol::Linking::kClassic ? x - s : x - s / 2;
      const int right = left + s;
      if (s < 1 || left < 0 || right >= width) continue;
      ++pairs;
      equal += same(row + left, row + right);
    }
  }
  return pairs == 0 ? 1.0 : static_cast<double>(equal) / static_cast<double>(pairs);
}

bool ParseSize(const char* text, int* width, int* height) {
  return std::sscanf(text, "%dx%d", width, height) == 2 && *width > 0 && *height > 0 &&
         *width <= 65535 && *height <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  int width = 1920, height = 1080, frames = 8;
  bool plane = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--size" && i + 1 < argc && ParseSize(argv[i + 1], &width, &height)) {
      ++i;
    } else if (arg == "--frames" && i + 1 < argc && std::atoi(argv[i + 1]) >= 2) {
      frames = std::atoi(argv[++i]);
    } else if (arg == "--plane") {
      plane = true;
    } else {
      std::fprintf(stderr, "usage: flicker [--size WxH] [--frames N>=2] [--plane]\n");
      return 2;
    }
  }
  std::vector<std::vector<float>> depths;
  for (int f = 0; f < frames; ++f) {
    if (!plane) {
      depths.push_back(zavol::MakeDemoSceneFrame(width, height, f));
      continue;
    }
    // 4 units nearer from left to right over the width, 1 unit from top to bottom.
    std::vector<float> depth(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const double across = static_cast<double>(x + zavol::kDemoScenePixelsPerFrame * f) / width;
        depth[static_cast<std::size_t>(y) * width + x] =
            static_cast<float>(-20.0 + 4.0 * across + static_cast<double>(y) / height);
      }
    }
    depths.push_back(std::move(depth));
  }

  // The tool's defaults with a fixed seed (--no-randomize): every frame starts from seed 0. The
  // plane's depth range is fixed, as a renderer's camera range would be.
  StereogramSettings settings = DefaultSettings();
  settings.RandomizeEachFrame = 0;
  if (plane) {
    settings.AutoDistance = 0;
    settings.NearDistance = 10.0f;
    settings.FarDistance = 25.0f;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  std::printf("flicker: %dx%d, %s moving %d pixels a frame, %d frame pairs\n", width, height,
              plane ? "a tilted plane" : "the built-in scene", zavol::kDemoScenePixelsPerFrame,
              frames - 1);
  std::printf("  %-34s %10s %10s %12s\n", "dots", "changed", "linked", "ms/frame");
  for (const Mode& mode : Modes()) {
    std::vector<uint16_t> previous(4 * pixels), current(4 * pixels);
    zavol::ImageRenderOptions options;
    options.view = mode.view;
    double changedSum = 0.0, seconds = 0.0, linked = 0.0;
    for (int f = 0; f < frames; ++f) {
      const zavol::DepthView depth{depths[f].data(), width, height, width};
      const zavol::PixelView out{current.data(), width, height, 4 * static_cast<std::ptrdiff_t>(width)};
      const auto start = std::chrono::steady_clock::now();
      if (zavol::RenderImage(settings, depth, options, out).status != zavol::FrameStatus::kDone) {
        std::fprintf(stderr, "flicker: %s: the frame did not render\n", mode.name);
        return 1;
      }
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (f == 0 && mode.view.oversample == 1) {
        linked = LinkedShare(settings, depths[f], width, height, current, mode.view.linking);
      }
      if (f > 0) {
        std::size_t changed = 0;
        for (std::size_t i = 0; i < pixels; ++i) {
          changed += std::memcmp(&current[4 * i], &previous[4 * i], 3 * sizeof(uint16_t)) != 0;
        }
        changedSum += static_cast<double>(changed) / static_cast<double>(pixels);
      }
      std::swap(previous, current);
    }
    char linkedText[16] = "-";  // pairs fall between pixels when oversampled
    if (mode.view.oversample == 1) std::snprintf(linkedText, sizeof linkedText, "%.3f", linked);
    std::printf("  %-34s %10.3f %10s %12.1f\n", mode.name, changedSum / (frames - 1), linkedText,
                1000.0 * seconds / frames);
  }
  return 0;
}
