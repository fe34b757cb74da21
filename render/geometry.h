// Viewing geometry and depth range: how many pixels apart two copies of a dot must be for each
// depth of the frame. Portable; no I/O, no host types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/depth_levels.h"
#include "render/settings.h"

namespace zavol {

// The viewer's eyes are this far apart; the image plane is one viewing distance away.
constexpr double kEyeSeparationInches = 2.75;

// Per-frame quantities, each a 32-bit real as the renderer keeps them.
struct ViewingGeometry {
  float pixelsPerInch;
  float eyeBaseInches;
  float maxSeparation;   // background separation, pixels
  float nearSeparation;  // separation of the nearest scene depth, pixels
  float farSeparation;   // separation of the farthest scene depth, pixels
  float separationSpan;  // farSeparation - nearSeparation
};

// The range of scene depths: the nearest is the largest value (closest to 0 from below).
struct DepthRange {
  float nearestDepth;
  float farthestDepth;
};

// Diagonal in inches of a viewing medium, or 0 for the custom resolution and unknown codes.
float MediumDiagonalInches(int32_t viewingMedium);

// Resolution of the viewing medium. Screens use the screen size, paper the image size (the image
// fills the sheet). A code outside the known media takes the 15-inch screen rule.
float PixelsPerInch(const StereogramSettings& settings, int width, int height, int screenWidth,
                    int screenHeight);

ViewingGeometry ComputeGeometry(const StereogramSettings& settings, int width, int height,
                                int screenWidth, int screenHeight);

// The depth scan over a width x height row-major channel whose rows are rowStride reals apart
// (0 or anything below width: width), with the result of visiting columns in the outer loop and
// rows in the inner loop (the result depends on that order: a value that lowers the far end is
// not also tested against the near end). Background markers at or below kBackgroundThreshold
// never lower the far end; values at or above its mirror never raise the near end.
DepthRange ScanDepthRange(const float* depth, std::size_t width, std::size_t height,
                          std::size_t rowStride = 0);

// The same scan in bands of rows, so that the bands can be scanned on several threads at once:
// scan every band (in any order, at the same time), then Finish gives what ScanDepthRange
// gives. Holds three reals per column and band.
class DepthScan {
 public:
  // countLevels: each band also counts its farthest level (render/depth_levels.h) while its rows
  // are in the cache.
  DepthScan(const float* depth, std::size_t width, std::size_t height, std::size_t rowStride,
            int bands, bool countLevels = false);
  ~DepthScan();
  DepthScan(const DepthScan&) = delete;
  DepthScan& operator=(const DepthScan&) = delete;

  // The bands there are: fewer than asked for when the frame has fewer rows, none when the
  // column state could not be allocated (then Finish scans the frame in its own order).
  int bands() const { return state_ != nullptr ? bands_ : 0; }
  // Rows [band * height / bands, (band + 1) * height / bands), every column.
  void ScanBand(int band);
  // Once, after every band: merges the bands into the first one.
  DepthRange Finish();
  // After every band, with countLevels: the frame's farthest level into *level; false when the
  // bands did not count it or their counts do not settle it.
  bool Level(FarthestLevel* level) const;

 private:
  const float* depth_;
  std::size_t width_, height_, rowStride_;
  int bands_;
  float* state_ = nullptr;
  uint8_t* zeroSigns_ = nullptr;  // per band: 1 it holds +0, 2 it holds -0
  LevelCount* levels_ = nullptr;  // per band, with countLevels
};

// The range a frame renders with: scanned when AutoDistance is set, else from the distances.
DepthRange FrameDepthRange(const StereogramSettings& settings, const float* depth,
                           std::size_t width, std::size_t height, std::size_t rowStride = 0);

// Truncation toward zero that is defined for every double: NaN gives 0, values beyond the int
// range saturate. A loaded record can make separations huge, infinite or not a number.
int SaturatingTrunc(double value);

// The per-pixel separation rule, with everything that is constant over a frame prepared once.
class SeparationRule {
 public:
  SeparationRule(const ViewingGeometry& geometry, const DepthRange& range);

  // Separation in pixels of depth z. May be 0 (a pixel that is its own source) or negative
  // (only with a record outside the dialog's ranges; the row builder gives such a pixel a new dot).
  int operator()(float z) const {
    if (z > 0.0f) return maxSeparationTrunc_;
    const double r = RealSeparation(z);
    const float rounded = static_cast<float>(r);
    if (!(rounded > 0.0f)) return 1;
    if (maxSeparation_ < rounded) return maxSeparationTrunc_;
    return SaturatingTrunc(r);
  }

  int maxSeparationTrunc() const { return maxSeparationTrunc_; }

  // The real separation r of a depth on the computed path (z <= 0 or not a number), before the
  // rule turns it into an integer: a monotone function of z whenever the frame's constants are
  // finite and its spans are not zero.
  double RealSeparation(float z) const {
    const double t = (static_cast<double>(z) - nearest_) / depthSpan_;
    return t * separationSpan_ + nearSeparation_;
  }

  // Whether RealSeparation is monotone in z: every constant finite, neither span zero.
  bool Monotone() const;

  // The same rule over count consecutive depths, bit for bit what operator() gives each of
  // them; vectorised where the processor allows (IEEE division and rounding are the same bits in
  // vector and scalar form).
  void Fill(const float* depth, std::size_t count, int32_t* separations) const;

 private:
  double nearest_;
  double depthSpan_;        // farthest - nearest, in double
  double separationSpan_;
  double nearSeparation_;
  float maxSeparation_;
  int maxSeparationTrunc_;
};

}  // namespace zavol
