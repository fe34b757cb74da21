// Viewing geometry and depth range. The rounding steps (which quantity is rounded to a 32-bit
// real before the next one uses it) are part of the output: change none of them.
#include "render/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "render/background.h"
#include "render/simd.h"

namespace zavol {
namespace {

// |z| at or beyond this is a background marker, on either side.
constexpr float kBackgroundMarker = -kBackgroundThreshold;
// A frame without scene depth: nothing raised the near end or lowered the far end; the debug
// line then shows the far end as it started.
constexpr DepthRange kNoSceneDepth{kEmptyDepth, -kEmptyDepth};

bool IsScreen(int32_t code) { return code >= kMedium14InchMonitor && code <= kMedium21InchMonitor; }
bool IsPaper(int32_t code) { return code >= kMediumA5Paper && code <= kMediumA3Paper; }

// One row of the scan's column state (see ScanDepthRange): the column's running minimum, its
// first record below the near limit (NaN while there is none) and its largest other value below
// the near limit. Vector forms take several columns at once with masks and selects that do what
// the scalar tail does.
struct ColumnState {
  float* floor;
  float* firstLowRecord;
  float* nearest;
};

void ScanRowScalar(const float* row, std::size_t begin, std::size_t end, ColumnState c) {
  for (std::size_t x = begin; x < end; ++x) {
    const float z = row[x];
    const float columnMin = c.floor[x];
    if (z < columnMin && z > -kBackgroundMarker) {
      if (z < kBackgroundMarker && !(columnMin < kBackgroundMarker)) c.firstLowRecord[x] = z;
      c.floor[x] = z;
    } else if (z < kBackgroundMarker && z > c.nearest[x]) {
      c.nearest[x] = z;
    }
  }
}

#if defined(ZAVOL_HAVE_SSE2)
std::size_t ScanRowSse2(const float* row, std::size_t width, ColumnState c) {
  const __m128 limit = _mm_set1_ps(kBackgroundMarker);
  const __m128 negativeLimit = _mm_set1_ps(-kBackgroundMarker);
  auto select = [](__m128 mask, __m128 yes, __m128 no) {
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
  };
  std::size_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128 z = _mm_loadu_ps(row + x);
    const __m128 columnMin = _mm_loadu_ps(c.floor + x);
    const __m128 belowLimit = _mm_cmplt_ps(z, limit);
    const __m128 record = _mm_and_ps(_mm_cmplt_ps(z, columnMin), _mm_cmpgt_ps(z, negativeLimit));
    const __m128 firstLow =
        _mm_and_ps(record, _mm_and_ps(belowLimit, _mm_cmpnlt_ps(columnMin, limit)));
    if (_mm_movemask_ps(record) != 0) {  // rare once a few rows have passed
      _mm_storeu_ps(c.firstLowRecord + x,
                    select(firstLow, z, _mm_loadu_ps(c.firstLowRecord + x)));
      _mm_storeu_ps(c.floor + x, select(record, z, columnMin));
    }
    const __m128 nearBest = _mm_loadu_ps(c.nearest + x);
    const __m128 candidate =
        _mm_andnot_ps(record, _mm_and_ps(belowLimit, _mm_cmpgt_ps(z, nearBest)));
    _mm_storeu_ps(c.nearest + x, select(candidate, z, nearBest));
  }
  return x;
}
#endif

#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
ZAVOL_TARGET_AVX2 std::size_t ScanRowAvx2(const float* row, std::size_t width, ColumnState c) {
  const __m256 limit = _mm256_set1_ps(kBackgroundMarker);
  const __m256 negativeLimit = _mm256_set1_ps(-kBackgroundMarker);
  std::size_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256 z = _mm256_loadu_ps(row + x);
    const __m256 columnMin = _mm256_loadu_ps(c.floor + x);
    const __m256 belowLimit = _mm256_cmp_ps(z, limit, _CMP_LT_OQ);
    const __m256 record = _mm256_and_ps(_mm256_cmp_ps(z, columnMin, _CMP_LT_OQ),
                                        _mm256_cmp_ps(z, negativeLimit, _CMP_GT_OQ));
    const __m256 firstLow = _mm256_and_ps(
        record, _mm256_and_ps(belowLimit, _mm256_cmp_ps(columnMin, limit, _CMP_NLT_UQ)));
    // Records are rare once a few rows have passed: their state is written only when it moves.
    if (_mm256_movemask_ps(record) != 0) {
      _mm256_storeu_ps(c.firstLowRecord + x,
                       _mm256_blendv_ps(_mm256_loadu_ps(c.firstLowRecord + x), z, firstLow));
      _mm256_storeu_ps(c.floor + x, _mm256_blendv_ps(columnMin, z, record));
    }
    const __m256 nearBest = _mm256_loadu_ps(c.nearest + x);
    const __m256 candidate = _mm256_andnot_ps(
        record, _mm256_and_ps(belowLimit, _mm256_cmp_ps(z, nearBest, _CMP_GT_OQ)));
    _mm256_storeu_ps(c.nearest + x, _mm256_blendv_ps(nearBest, z, candidate));
  }
  return x;
}
#endif

void ScanRow(const float* row, std::size_t width, ColumnState c) {
  std::size_t done = 0;
#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
  if (HasAvx2()) done = ScanRowAvx2(row, width, c);
#endif
#if defined(ZAVOL_HAVE_SSE2)
  if (done == 0) done = ScanRowSse2(row, width, c);
#endif
  ScanRowScalar(row, done, width, c);
}

// The scan as its order defines it, columns outer, rows inner.
DepthRange ColumnScan(const float* depth, std::size_t width, std::size_t height,
                      std::size_t rowStride) {
  DepthRange range = kNoSceneDepth;
  for (std::size_t x = 0; x < width; ++x) {
    for (std::size_t y = 0; y < height; ++y) {
      const float z = depth[y * rowStride + x];
      if (z < range.farthestDepth && z > -kBackgroundMarker) {
        range.farthestDepth = z;
      } else if (z > range.nearestDepth && z < kBackgroundMarker) {
        range.nearestDepth = z;
      }
    }
  }
  return range;
}

// Which zeros a row holds, as bits: 1 for +0, 2 for -0 (which of them is the near end decides
// the sign of the background's depth fraction).
int ZeroSigns(const float* row, std::size_t width) {
  uint32_t positive = 0, negative = 0;
  for (std::size_t x = 0; x < width; ++x) {
    uint32_t bits;
    std::memcpy(&bits, row + x, sizeof bits);
    positive |= bits == 0u;
    negative |= bits == 0x80000000u;
  }
  return static_cast<int>(positive | negative << 1);
}

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

// Visiting columns in the outer loop strides through memory; one row-major pass with a little
// state per column gives the same result. Within column x a value can lower the far end only
// when it lowers the column's own running minimum (a "record"); it then does so exactly when it
// is also below every eligible value of the columns to the left. Every other value may raise the
// near end. Records fall strictly, so of the records that do not lower the far end only the
// first one below the near limit can be the near end.
DepthScan::DepthScan(const float* depth, std::size_t width, std::size_t height,
                     std::size_t rowStride, int bands, bool countLevels)
    : depth_(depth), width_(width), height_(height), rowStride_(std::max(rowStride, width)),
      bands_(static_cast<int>(std::min<std::size_t>(std::max(bands, 1), std::max<std::size_t>(height, 1)))) {
  const std::size_t perBand = 3 * width;
  if (width == 0 || height == 0 || width > SIZE_MAX / (3 * sizeof(float)) / bands_) return;
  zeroSigns_ = new (std::nothrow) uint8_t[bands_]();
  state_ = zeroSigns_ != nullptr ? new (std::nothrow) float[perBand * bands_] : nullptr;
  if (state_ == nullptr) return;
  if (countLevels) levels_ = new (std::nothrow) LevelCount[bands_];
  for (int band = 0; band < bands_; ++band) {
    float* s = state_ + perBand * band;
    for (std::size_t x = 0; x < width; ++x) {
      s[x] = kNoSceneDepth.farthestDepth;
      s[width + x] = std::numeric_limits<float>::quiet_NaN();
      s[2 * width + x] = kNoSceneDepth.nearestDepth;
    }
  }
}

DepthScan::~DepthScan() {
  delete[] state_;
  delete[] zeroSigns_;
  delete[] levels_;
}

void DepthScan::ScanBand(int band) {
  if (state_ == nullptr || band < 0 || band >= bands_) return;
  float* s = state_ + 3 * width_ * band;
  const ColumnState c{s, s + width_, s + 2 * width_};
  const std::size_t first = height_ * band / bands_, end = height_ * (band + 1) / bands_;
  int zeros = 0;
  LevelCount* level = levels_ != nullptr ? levels_ + band : nullptr;
  for (std::size_t y = first; y < end; ++y) {
    const float* row = depth_ + y * rowStride_;
    ScanRow(row, width_, c);
    // The row is still in the cache.
    zeros |= ZeroSigns(row, width_);
    if (level != nullptr) level->Row(row, static_cast<int>(width_));
  }
  zeroSigns_[band] = static_cast<uint8_t>(zeros);
}

DepthRange DepthScan::Finish() {
  if (width_ == 0 || height_ == 0) return kNoSceneDepth;
  if (state_ == nullptr) return ColumnScan(depth_, width_, height_, rowStride_);
  // Each band after the first continues its column as if scanned from a fresh start: its
  // records that are not below the bands above are no records of the column, and only the
  // first of them below the near limit (the largest) can be the near end.
  const ColumnState c{state_, state_ + width_, state_ + 2 * width_};
  for (int band = 1; band < bands_; ++band) {
    float* s = state_ + 3 * width_ * band;
    const ColumnState b{s, s + width_, s + 2 * width_};
    for (std::size_t x = 0; x < width_; ++x) {
      float nearest = std::max(c.nearest[x], b.nearest[x]);
      const float lowRecord = b.firstLowRecord[x];
      if (!std::isnan(lowRecord) && !(lowRecord < c.floor[x]) && lowRecord > nearest) {
        nearest = lowRecord;
      }
      c.nearest[x] = nearest;
      if (std::isnan(c.firstLowRecord[x])) c.firstLowRecord[x] = lowRecord;
      if (b.floor[x] < c.floor[x]) c.floor[x] = b.floor[x];
    }
  }
  // Columns in order: the far end as it stands on entering each column decides which of its
  // records lowered it.
  float farthest = kNoSceneDepth.farthestDepth, nearest = kNoSceneDepth.nearestDepth;
  for (std::size_t x = 0; x < width_; ++x) {
    float best = c.nearest[x];
    const float record = c.firstLowRecord[x];
    if (!std::isnan(record) && !(record < farthest) && record > best) best = record;
    if (best > nearest) nearest = best;
    if (c.floor[x] < farthest) farthest = c.floor[x];
  }
  // Of equal candidates the column scan keeps the first it meets. Only 0 and -0 are equal with
  // different bits, and which of them ends the range flips the sign of the background's depth
  // fraction; the order of a near end of zero is settled by the scan in its own order.
  // The near end is always one of the frame's own values, so a frame whose zeros all have one
  // sign settles it without the scan.
  if (nearest == 0.0f) {
    int zeros = 0;
    for (int band = 0; band < bands_; ++band) zeros |= zeroSigns_[band];
    switch (zeros) {
      case 1: return DepthRange{0.0f, farthest};
      case 2: return DepthRange{-0.0f, farthest};
      default: return ColumnScan(depth_, width_, height_, rowStride_);
    }
  }
  return DepthRange{nearest, farthest};
}

bool DepthScan::Level(FarthestLevel* level) const {
  if (levels_ == nullptr) return false;
  LevelCount frame = levels_[0];
  for (int band = 1; band < bands_; ++band) frame.Merge(levels_[band]);
  if (!frame.Settled()) return false;
  *level = frame.Result();
  return true;
}

DepthRange ScanDepthRange(const float* depth, std::size_t width, std::size_t height,
                          std::size_t rowStride) {
  DepthScan scan(depth, width, height, rowStride, 1);
  scan.ScanBand(0);
  return scan.Finish();
}

DepthRange FrameDepthRange(const StereogramSettings& settings, const float* depth,
                           std::size_t width, std::size_t height, std::size_t rowStride) {
  if (settings.AutoDistance != 0) return ScanDepthRange(depth, width, height, rowStride);
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

bool SeparationRule::Monotone() const {
  return std::isfinite(nearest_) && std::isfinite(depthSpan_) && depthSpan_ != 0.0 &&
         std::isfinite(separationSpan_) && separationSpan_ != 0.0 &&
         std::isfinite(nearSeparation_);
}

}  // namespace zavol
