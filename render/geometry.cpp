// Viewing geometry and depth range. The rounding steps (which quantity is rounded to a 32-bit
// real before the next one uses it) are part of the output: change none of them.
#include "render/geometry.h"

#include <cmath>
#include <limits>
#include <new>

namespace zavol {
namespace {

constexpr double kEyeSeparationInches = 2.75;
constexpr float kBackgroundMarker = 1e20f;  // |z| at or beyond this is a background marker

bool IsScreen(int32_t code) { return code >= kMedium14InchMonitor && code <= kMedium21InchMonitor; }
bool IsPaper(int32_t code) { return code >= kMediumA5Paper && code <= kMediumA3Paper; }

}  // namespace

float MediumDiagonalInches(int32_t viewingMedium) {
  switch (viewingMedium) {
    case kMedium14InchMonitor: return 14.0f;
    case kMedium15InchMonitor: return 15.0f;
    case kMedium17InchMonitor: return 17.0f;
    case kMedium19InchMonitor: return 19.0f;
    case kMedium21InchMonitor: return 21.0f;
    case kMediumA5Paper: return 10.12f;
    case kMediumA4Paper: return 14.32f;
    case kMediumA3Paper: return 20.25f;
    default: return 0.0f;
  }
}

float PixelsPerInch(const StereogramSettings& settings, int width, int height, int screenWidth,
                    int screenHeight) {
  const int32_t medium = settings.ViewingMedium;
  if (medium == kMediumCustomDpi) return static_cast<float>(settings.CustomDpi);
  // Squares in double: 65535 squared does not fit an int.
  if (IsPaper(medium)) {
    const double w = width, h = height;
    return static_cast<float>(std::sqrt(w * w + h * h) / MediumDiagonalInches(medium));
  }
  // Screens, and any code no medium answers to: a loaded record may hold anything; the 15-inch
  // screen is the default medium, so an unknown code renders as if it were the default.
  const float diagonal = IsScreen(medium) ? MediumDiagonalInches(medium)
                                          : MediumDiagonalInches(kMedium15InchMonitor);
  const double sw = screenWidth, sh = screenHeight;
  return static_cast<float>(std::sqrt(sh * sh + sw * sw) / diagonal);
}

ViewingGeometry ComputeGeometry(const StereogramSettings& settings, int width, int height,
                                int screenWidth, int screenHeight) {
  ViewingGeometry g;
  g.pixelsPerInch = PixelsPerInch(settings, width, height, screenWidth, screenHeight);
  const double background = settings.BackgroundDepth;
  const double eyeBase = background * kEyeSeparationInches / (background + 1.0);
  g.eyeBaseInches = static_cast<float>(eyeBase);
  const double ppi = g.pixelsPerInch;
  g.maxSeparation = static_cast<float>(eyeBase * ppi);
  // The object separations use the rounded eye base; the span uses the unrounded far
  // separation and the rounded near one.
  const double eyeBaseRounded = g.eyeBaseInches;
  g.nearSeparation = static_cast<float>(settings.NearObjectDepth * eyeBaseRounded * ppi);
  const double farSeparation = settings.FarObjectDepth * eyeBaseRounded * ppi;
  g.farSeparation = static_cast<float>(farSeparation);
  g.separationSpan = static_cast<float>(farSeparation - static_cast<double>(g.nearSeparation));
  return g;
}

DepthRange ScanDepthRange(const float* depth, std::size_t width, std::size_t height) {
  // Visiting columns in the outer loop strides through memory. The same result comes from
  // row-major passes: the far end is the smallest value above -1e20 whatever the order, and a
  // value is kept out of the near end exactly when it lowered the far end at its turn, that is
  // when it is below every earlier value of its column and of all columns to its left.
  DepthRange range{-1e30f, 1e30f};
  if (width == 0 || height == 0) return range;

  float* columnFloor = new (std::nothrow) float[width * 2];
  if (columnFloor == nullptr) {
    // No room for the column state: the plain scan in its own order gives the same result.
    for (std::size_t x = 0; x < width; ++x) {
      for (std::size_t y = 0; y < height; ++y) {
        const float z = depth[y * width + x];
        if (z < range.farthestDepth && z > -kBackgroundMarker) {
          range.farthestDepth = z;
        } else if (z > range.nearestDepth && z < kBackgroundMarker) {
          range.nearestDepth = z;
        }
      }
    }
    return range;
  }
  // Pass 1: smallest far-eligible value of each column (+1e30 when none).
  float* running = columnFloor + width;
  for (std::size_t x = 0; x < width; ++x) columnFloor[x] = 1e30f;
  for (std::size_t y = 0; y < height; ++y) {
    const float* row = depth + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      const float z = row[x];
      if (z < columnFloor[x] && z > -kBackgroundMarker) columnFloor[x] = z;
    }
  }
  // running[x]: the far end as it stands when the scan enters column x.
  float farthest = 1e30f;
  for (std::size_t x = 0; x < width; ++x) {
    running[x] = farthest;
    if (columnFloor[x] < farthest) farthest = columnFloor[x];
  }
  // Pass 2: walk each column's own prefix in row order; a value below the running far end of its
  // column lowers it, every other value may raise the near end. Of equal values the column scan
  // keeps the one it meets first; only 0 and -0 are equal with different bits, and which of them
  // is the near end changes the sign of the background's depth fraction, so an equal value from
  // a column further left takes over.
  float nearest = -1e30f;
  std::size_t nearestColumn = width;
  for (std::size_t y = 0; y < height; ++y) {
    const float* row = depth + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      const float z = row[x];
      if (z < running[x] && z > -kBackgroundMarker) {
        running[x] = z;
      } else if (z < kBackgroundMarker && (z > nearest || (z == nearest && x < nearestColumn))) {
        nearest = z;
        nearestColumn = x;
      }
    }
  }
  delete[] columnFloor;
  range.farthestDepth = farthest;
  range.nearestDepth = nearest;
  return range;
}

DepthRange FrameDepthRange(const StereogramSettings& settings, const float* depth,
                           std::size_t width, std::size_t height) {
  if (settings.AutoDistance != 0) return ScanDepthRange(depth, width, height);
  return DepthRange{-settings.NearDistance, -settings.FarDistance};
}

int SaturatingTrunc(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

SeparationRule::SeparationRule(const ViewingGeometry& geometry, const DepthRange& range)
    : nearest_(range.nearestDepth),
      depthSpan_(static_cast<double>(range.farthestDepth) - static_cast<double>(range.nearestDepth)),
      separationSpan_(geometry.separationSpan),
      nearSeparation_(geometry.nearSeparation),
      maxSeparation_(geometry.maxSeparation),
      maxSeparationTrunc_(SaturatingTrunc(geometry.maxSeparation)) {}

}  // namespace zavol
