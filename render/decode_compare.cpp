// The quality meter: the engine's separations and links replayed without drawing a dot, and a
// decoded map scored against them. Portable; no I/O.
#include "render/decode_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "render/background.h"
#include "render/classic_link.h"
#include "render/frame.h"
#include "render/frame_plan.h"
#include "render/geometry.h"
#include "render/guide.h"
#include "render/linking.h"

namespace zavol {
namespace {

// What both meters need of a frame: the engine's plan of it (geometry, separation rule, where
// the guide goes) and the guide's pixels.
struct FrameFacts {
  FrameFacts(const StereogramSettings& settings, const DepthView& depth, int screenWidth,
             int screenHeight)
      : plan(PlanFrame(settings, depth, screenWidth, screenHeight, 0)),
        width(plan.width()),
        height(plan.height()),
        w(static_cast<std::size_t>(width)),
        stride(static_cast<std::size_t>(plan.depth.rowStride)),
        geometry(plan.geometry),
        range(plan.range),
        rule(plan.rule),
        covered(w * static_cast<std::size_t>(height), 0) {
    // Pixels the guide paints over: neither they nor the pixels repeating them show the depth.
    ForEachGuideRun(plan.guide, [this](int x, int y, int count, bool) {
      if (y < 0 || y >= height) return;
      const int64_t begin = std::max<int64_t>(x, 0);
      const int64_t end = std::min<int64_t>(int64_t{x} + count, width);
      for (int64_t i = begin; i < end; ++i) {
        covered[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(i)] = 1;
      }
    });
  }
  FrameFacts(const FrameFacts&) = delete;
  FrameFacts& operator=(const FrameFacts&) = delete;
  IntendedSeparations Empty() const {
    IntendedSeparations out;
    out.width = width;
    out.height = height;
    out.backgroundSeparation = std::max(rule.maxSeparationTrunc(), 0);
    out.separation.resize(covered.size());
    out.visible.assign(covered.size(), 0);
    return out;
  }

  const FramePlan plan;
  const int width, height;
  const std::size_t w, stride;
  const ViewingGeometry& geometry;
  const DepthRange& range;
  const SeparationRule& rule;
  std::vector<uint8_t> covered;
};

}  // namespace

IntendedSeparations DefaultLinkingSeparations(const StereogramSettings& settings,
                                              const DepthView& depth, int screenWidth,
                                              int screenHeight) {
  const FrameFacts frame(settings, depth, screenWidth, screenHeight);
  IntendedSeparations out = frame.Empty();
  const int width = frame.width;
  const std::size_t w = frame.w;
  const bool preventGhosting = settings.PreventGhosting != 0;
  std::vector<int32_t> separations(w);
  std::vector<uint8_t> repeatable(w);
  for (int y = 0; y < frame.height; ++y) {
    frame.rule.Fill(depth.values + static_cast<std::size_t>(y) * frame.stride, w,
                    separations.data());
    const std::size_t row = static_cast<std::size_t>(y) * w;
    // The row builder's links, by its own rule.
    std::fill(repeatable.begin(), repeatable.end(), 1);
    for (int x = 0; x < width; ++x) {
      const int32_t s = separations[static_cast<std::size_t>(x)];
      out.separation[row + static_cast<std::size_t>(x)] = static_cast<float>(s);
      if (LinkClassicPixel(preventGhosting, s, x, y == 0, repeatable.data()) !=
          ClassicLink::kSource) {
        continue;
      }
      const std::size_t source = static_cast<std::size_t>(x - s);
      out.visible[row + static_cast<std::size_t>(x)] =
          frame.covered[row + static_cast<std::size_t>(x)] == 0 && frame.covered[row + source] == 0;
    }
  }
  return out;
}

IntendedSeparations ViewLinkingSeparations(const StereogramSettings& settings,
                                           const DepthView& depth, int screenWidth,
                                           int screenHeight, const ViewOptions& options) {
  if (options.view == ViewDirection::kWall && options.oversample == 1 &&
      options.linking == Linking::kClassic) {
    return DefaultLinkingSeparations(settings, depth, screenWidth, screenHeight);
  }
  const FrameFacts frame(settings, depth, screenWidth, screenHeight);
  IntendedSeparations out = frame.Empty();
  const int width = frame.width;
  const int n = std::clamp(options.oversample, 1, kMaxOversample);
  const std::size_t w = frame.w, sub = w * static_cast<std::size_t>(n);
  const SubPixelRule subRule(frame.geometry, frame.rule, options.view, n);
  RowLinks links;
  if (width == 0) return out;
  if (!links.Allocate(sub)) throw std::bad_alloc();
  std::vector<int32_t> pixelSeparations(w), subSeparations(n > 1 ? sub : 0), leftPartner(sub);
  std::vector<float> scratch(VisibilityScratchFloats(w));
  std::vector<uint8_t> seen(w);
  const RowLinkBuffers buffers{pixelSeparations.data(),
                               n > 1 ? subSeparations.data() : pixelSeparations.data(),
                               scratch.data(), seen.data(), leftPartner.data()};
  const double eyeSeparationPx = kEyeSeparationInches * frame.geometry.pixelsPerInch;
  for (int y = 0; y < frame.height; ++y) {
    LinkRow(subRule, options.linking, options.view,
            depth.values + static_cast<std::size_t>(y) * frame.stride, width,
            settings.PreventGhosting != 0, y == 0, eyeSeparationPx, buffers, links);
    const std::size_t row = static_cast<std::size_t>(y) * w;
    for (int x = 0; x < width; ++x) {
      const std::size_t i = row + static_cast<std::size_t>(x);
      out.separation[i] = static_cast<float>(pixelSeparations[static_cast<std::size_t>(x)]) / n;
      int64_t distanceSum = 0;
      int32_t nearest = INT32_MAX, farthest = INT32_MIN, firstSource = INT32_MAX, lastSource = -1;
      bool linked = true;
      for (int k = 0; k < n && linked; ++k) {
        const int32_t m = x * n + k;
        const int32_t source = leftPartner[static_cast<std::size_t>(m)];
        linked = source >= 0;
        const int32_t distance = m - source;
        distanceSum += distance;
        nearest = std::min(nearest, distance);
        farthest = std::max(farthest, distance);
        firstSource = std::min(firstSource, source);
        lastSource = std::max(lastSource, source);
      }
      if (!linked) continue;
      out.separation[i] = static_cast<float>(static_cast<double>(distanceSum) / (n * n));
      if (farthest - nearest > n || frame.covered[i] != 0) continue;
      bool sourceCovered = false;
      for (int32_t p = firstSource / n; p <= lastSource / n; ++p) {
        sourceCovered = sourceCovered || frame.covered[row + static_cast<std::size_t>(p)] != 0;
      }
      out.visible[i] = !sourceCovered;
    }
  }
  return out;
}

DecodeComparison CompareDecoded(const IntendedSeparations& intended, const float* decoded) {
  DecodeComparison c;
  const int width = intended.width;
  const std::size_t w = static_cast<std::size_t>(width);
  c.pixels = static_cast<int64_t>(w) * intended.height;
  // Per row, how far each pixel lies from the nearest edge, in pixels.
  std::vector<int> edgeDistance(w);
  double errorSum = 0.0;
  int64_t decodedVisible = 0;
  for (int y = 0; y < intended.height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * w;
    const float* want = intended.separation.data() + row;
    int last = -(1 << 30);
    for (int x = 0; x < width; ++x) {
      if (x > 0 && std::fabs(want[x] - want[x - 1]) > 1.0f) last = x;
      edgeDistance[static_cast<std::size_t>(x)] = x - last;
    }
    last = 1 << 30;
    for (int x = width - 1; x >= 0; --x) {
      if (x + 1 < width && std::fabs(want[x + 1] - want[x]) > 1.0f) last = x;
      int& d = edgeDistance[static_cast<std::size_t>(x)];
      d = std::min(d, last - x);
    }
    for (int x = 0; x < width; ++x) {
      const std::size_t i = row + static_cast<std::size_t>(x);
      const bool visible = intended.visible[i] != 0;
      const float got = decoded[i];
      c.visible += visible;
      if (std::isnan(got)) {
        c.unknown += visible;
        continue;
      }
      const double error = std::fabs(static_cast<double>(got) - want[x]);
      const bool off = !(error <= 0.5);
      if (visible) {
        ++decodedVisible;
        errorSum += error;
        c.matched += !off;
        c.wrong += off;
      }
      if (off && edgeDistance[static_cast<std::size_t>(x)] <= intended.backgroundSeparation) {
        ++c.echoes;
      }
    }
  }
  c.matchShare =
      c.visible > 0 ? static_cast<double>(c.matched) / static_cast<double>(c.visible) : 0.0;
  c.meanError = decodedVisible > 0 ? errorSum / static_cast<double>(decodedVisible) : 0.0;
  return c;
}

namespace {

bool IsSceneDepth(float z) { return z > kBackgroundThreshold && z <= 0.0f; }

// The scene depths that make flat levels: sorted copies run-length counted.
std::vector<GeometricLevel> FlatLevels(const DepthView& depth, std::size_t stride) {
  std::vector<float> scene;
  for (int y = 0; y < depth.height; ++y) {
    const float* row = depth.values + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < depth.width; ++x) {
      if (IsSceneDepth(row[x])) scene.push_back(row[x]);
    }
  }
  std::sort(scene.begin(), scene.end());
  const int64_t frame = int64_t{depth.width} * depth.height;
  const int64_t least =
      std::max(kLevelPixels, static_cast<int64_t>(std::ceil(kLevelShare * static_cast<double>(frame))));
  std::vector<GeometricLevel> levels;
  for (std::size_t i = 0; i < scene.size();) {
    std::size_t j = i;
    while (j < scene.size() && scene[j] == scene[i]) ++j;
    if (static_cast<int64_t>(j - i) >= least) {
      GeometricLevel level;
      level.depth = scene[i];
      level.pixels = static_cast<int64_t>(j - i);
      levels.push_back(level);
    }
    i = j;
  }
  if (levels.size() > kMaxLevels) {
    std::partial_sort(levels.begin(), levels.begin() + kMaxLevels, levels.end(),
                      [](const GeometricLevel& a, const GeometricLevel& b) {
                        return a.pixels > b.pixels;
                      });
    levels.resize(kMaxLevels);
  }
  std::sort(levels.begin(), levels.end(),
            [](const GeometricLevel& a, const GeometricLevel& b) { return a.depth > b.depth; });
  return levels;
}

}  // namespace

GeometricRepeats MeasureGeometricRepeats(const StereogramSettings& settings,
                                         const DepthView& depth, int screenWidth,
                                         int screenHeight, const ViewOptions& options,
                                         const ConstPixelView& picture) {
  GeometricRepeats out;
  if (!options.Valid() || options.oversample != 1 || picture.words == nullptr ||
      picture.width != depth.width || picture.height != depth.height || depth.width <= 0 ||
      depth.height <= 0) {
    return out;
  }
  const FrameFacts frame(settings, depth, screenWidth, screenHeight);
  const int width = frame.width;
  const std::size_t w = frame.w;
  out.width = width;
  out.height = frame.height;
  out.seen.assign(frame.covered.size(), 0);
  out.repeated.assign(frame.covered.size(), 0);
  out.levels = FlatLevels(depth, frame.stride);
  const SubPixelRule rule(frame.geometry, frame.rule, options.view, 1);
  const bool centred = options.linking == Linking::kSymmetric;
  const double eyeSeparationPx = kEyeSeparationInches * frame.geometry.pixelsPerInch;
  std::vector<int32_t> separations(w);
  std::vector<float> scratch(VisibilityScratchFloats(w));
  std::vector<uint8_t> visible(w);
  for (int y = 0; y < frame.height; ++y) {
    const float* row = depth.values + static_cast<std::size_t>(y) * frame.stride;
    rule.FillPixels(row, w, separations.data());
    MarkVisible(separations.data(), width, 1, eyeSeparationPx, options.view, scratch.data(),
                visible.data());
    const uint16_t* colours = picture.words + static_cast<std::ptrdiff_t>(y) * picture.rowStride;
    const std::size_t at = static_cast<std::size_t>(y) * w;
    for (int x = 0; x < width; ++x) {
      const int32_t s = separations[static_cast<std::size_t>(x)];
      if (visible[static_cast<std::size_t>(x)] == 0 || s < 1) continue;
      // Where the point's two images sit: one separation to the left of the point (classic),
      // or centred on it (symmetric).
      const int64_t left = centred ? int64_t{x} - s / 2 : int64_t{x} - s;
      const int64_t right = left + s;
      if (left < 0 || right >= width) continue;
      const std::size_t l = static_cast<std::size_t>(left), r = static_cast<std::size_t>(right);
      if (frame.covered[at + l] != 0 || frame.covered[at + r] != 0) continue;
      const uint16_t* a = colours + 4 * static_cast<std::ptrdiff_t>(right);
      const uint16_t* b = colours + 4 * static_cast<std::ptrdiff_t>(left);
      const bool repeats = a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
      out.seen[at + static_cast<std::size_t>(x)] = 1;
      out.repeated[at + static_cast<std::size_t>(x)] = repeats;
      ++out.seenCount;
      out.repeatedCount += repeats;
      if (out.levels.empty()) continue;
      const float z = row[x];
      for (GeometricLevel& level : out.levels) {
        if (level.depth == z) {
          ++level.seen;
          level.repeated += repeats;
          break;
        }
      }
    }
  }
  auto share = [](int64_t part, int64_t whole) {
    return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
  };
  out.share = share(out.repeatedCount, out.seenCount);
  for (GeometricLevel& level : out.levels) level.share = share(level.repeated, level.seen);
  return out;
}

}  // namespace zavol
