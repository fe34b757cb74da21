// The farthest level of a frame's depth: its farthest scene depth, how many pixels lie at it and
// how many pixels are background. Where that level meets the background at the background's own
// separation the eyes see one surface (the merging level the frame checks warn about). Counted
// a row at a time, in bands of rows that may be counted apart, so that the depth scan of a
// frame's plan counts it while each row is in the cache. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zavol {

struct FarthestLevel {
  bool scene = false;      // any pixel in front of the background
  float depth = 0.0f;      // the farthest scene depth (of the first such pixel, in row order)
  int64_t pixels = 0;      // at that depth
  int64_t background = 0;  // at or beyond the background threshold, or behind the camera
};

// The level of a band of rows, fed in order; bands merge in order.
class LevelCount {
 public:
  LevelCount();
  void Row(const float* row, int width);
  // The band just below this one (its rows follow this band's).
  void Merge(const LevelCount& below);
  // False when every scene pixel is a zero: the level's sign is then the first zero's in row
  // order, which the counts do not keep.
  bool Settled() const { return key_ != 1; }
  // Settled counts only.
  FarthestLevel Result() const;

 private:
  // Pixels at key and background pixels of rows below the ones taken so far.
  void Take(int32_t key, int64_t pixels, int64_t background);

  int32_t key_ = 0;  // the farthest scene depth's key so far, 0 before any
  int64_t pixels_ = 0, background_ = 0;
  bool avx2_;
};

// The level of a width x height frame whose rows are rowStride reals apart.
FarthestLevel FindFarthestLevel(const float* depth, int width, int height,
                                std::ptrdiff_t rowStride);

}  // namespace zavol
