#include "render/depth_levels.h"

#include <algorithm>
#include <cstring>

#include "render/background.h"
#include "render/simd.h"

namespace zavol {
namespace {

bool IsSceneDepth(float z) { return z > kBackgroundThreshold && z <= 0.0f; }

// A scene depth's magnitude plus one, and 0 for any other value. Scene depths lie in
// (kBackgroundThreshold, 0], where a farther depth has a larger magnitude and so a larger bit
// pattern; -0 and +0 share a key as they share a separation. Integers and no branches, so that
// a row's keys are taken several at a time.
inline int32_t FarKey(float z) {
  uint32_t bits;
  std::memcpy(&bits, &z, sizeof bits);
  const int32_t key = static_cast<int32_t>(bits & 0x7fffffffu) + 1;
  return IsSceneDepth(z) ? key : 0;
}

// The negative depth whose key is key (> 0); -0 for key 1.
inline float DepthOfKey(int32_t key) {
  const uint32_t bits = static_cast<uint32_t>(key - 1) | 0x80000000u;
  float z;
  std::memcpy(&z, &bits, sizeof z);
  return z;
}

// One row: its farthest key and background count in one pass, and, when the key reaches least,
// its pixels at the key in a second pass while the row is still in the cache. Inlined into a
// plain and an AVX2 form.
struct RowLevel {
  int32_t key = 0;
  int background = 0;
  int atKey = 0;
};
#if defined(__GNUC__)
#define ZAVOL_ROW_INLINE inline __attribute__((always_inline))
#else
#define ZAVOL_ROW_INLINE inline
#endif
ZAVOL_ROW_INLINE RowLevel ScanLevelRow(const float* row, int width, int32_t least) {
  RowLevel level;
  for (int x = 0; x < width; ++x) {
    const float z = row[x];
    level.key = std::max(level.key, FarKey(z));
    level.background += static_cast<int>(z <= kBackgroundThreshold) | static_cast<int>(z > 0.0f);
  }
  if (level.key == 0 || level.key < least) return level;
  // The pixels at the key are those equal to its depth (both zeros for key 1); nothing else
  // compares equal to a scene depth.
  const float rowDepth = DepthOfKey(level.key);
  for (int x = 0; x < width; ++x) level.atKey += static_cast<int>(row[x] == rowDepth);
  return level;
}
#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
ZAVOL_TARGET_AVX2 RowLevel ScanLevelRowAvx2(const float* row, int width, int32_t least) {
  return ScanLevelRow(row, width, least);
}
#endif

}  // namespace

LevelCount::LevelCount()
#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
    : avx2_(HasAvx2())
#else
    : avx2_(false)
#endif
{
}

void LevelCount::Row(const float* row, int width) {
#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
  const RowLevel found = avx2_ ? ScanLevelRowAvx2(row, width, key_) : ScanLevelRow(row, width, key_);
#else
  const RowLevel found = ScanLevelRow(row, width, key_);
#endif
  Take(found.key, found.atKey, found.background);
}

void LevelCount::Merge(const LevelCount& below) { Take(below.key_, below.pixels_, below.background_); }

void LevelCount::Take(int32_t key, int64_t pixels, int64_t background) {
  background_ += background;
  // Rows (or bands) count their pixels at their own farthest key, which counts here only when
  // it reaches the farthest so far.
  if (key == 0 || key < key_) return;
  if (key > key_) {
    key_ = key;
    pixels_ = 0;
  }
  pixels_ += pixels;
}

FarthestLevel LevelCount::Result() const {
  FarthestLevel level;
  level.scene = key_ != 0;
  level.depth = key_ > 1 ? DepthOfKey(key_) : 0.0f;
  level.pixels = key_ != 0 ? pixels_ : 0;
  level.background = background_;
  return level;
}

FarthestLevel FindFarthestLevel(const float* depth, int width, int height,
                                std::ptrdiff_t rowStride) {
  LevelCount count;
  for (int y = 0; y < height; ++y) count.Row(depth + y * rowStride, width);
  FarthestLevel level = count.Result();
  if (count.Settled()) return level;
  // Every scene pixel is a zero: the first one's sign is the level's.
  for (int y = 0; y < height; ++y) {
    const float* row = depth + y * rowStride;
    for (int x = 0; x < width; ++x) {
      if (IsSceneDepth(row[x])) {
        level.depth = row[x];
        return level;
      }
    }
  }
  return level;
}

}  // namespace zavol
