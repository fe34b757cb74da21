// Linking at the sub-pixel pitch: the separation rule scaled and mirrored, the hidden-surface test
// and the union-find over a row's pairs. Portable; no allocation except RowLinks::Allocate.
#include "render/linking.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zavol {

SubPixelRule::SubPixelRule(const ViewingGeometry& geometry, const SeparationRule& rule,
                           ViewDirection view, int oversample)
    : rule_(rule),
      table_(rule),
      view_(view),
      oversample_(oversample),
      nearSeparation_(geometry.nearSeparation),
      maxSeparation_(geometry.maxSeparation),
      maxSeparationFloat_(geometry.maxSeparation),
      maxSubSeparation_(SaturatingTrunc(oversample * static_cast<double>(geometry.maxSeparation))) {}

// The plug-in's steps on a real separation, at the sub-pixel: not positive (or not a number)
// gives one pixel, beyond the background separation gives the background's.
int32_t SubPixelRule::Quantise(double realSeparation) const {
  const float rounded = static_cast<float>(realSeparation);
  if (!(rounded > 0.0f)) return oversample_;
  if (maxSeparationFloat_ < rounded) return maxSubSeparation_;
  return std::min(SaturatingTrunc(oversample_ * realSeparation), maxSubSeparation_);
}

int32_t SubPixelRule::operator()(float z) const {
  if (view_ == ViewDirection::kWall) {
    if (oversample_ == 1) return rule_(z);
    if (z > 0.0f) return maxSubSeparation_;
    return Quantise(rule_.RealSeparation(z));
  }
  // The wall-eyed separation as the rule bounds it (a NaN stays one and ends at one pixel).
  double wall = z > 0.0f ? maxSeparation_ : rule_.RealSeparation(z);
  if (wall < 0.0) wall = 0.0;
  if (wall > maxSeparation_) wall = maxSeparation_;
  return Quantise(nearSeparation_ + maxSeparation_ - wall);
}

void SubPixelRule::FillPixels(const float* depth, std::size_t width,
                              int32_t* separations) const {
  if (view_ == ViewDirection::kWall && oversample_ == 1) {
    table_.Fill(depth, width, separations);
    return;
  }
  // Runs of one depth (background above all) take the division once.
  uint32_t knownBits = 0;
  int32_t knownSeparation = 0;
  bool known = false;
  for (std::size_t x = 0; x < width; ++x) {
    uint32_t bits;
    std::memcpy(&bits, depth + x, sizeof bits);
    if (!known || bits != knownBits) {
      knownBits = bits;
      knownSeparation = (*this)(depth[x]);
      known = true;
    }
    separations[x] = knownSeparation;
  }
}

namespace {

int FloorLog2(std::size_t value) {
  int log = 0;
  while (value > 1) {
    value >>= 1;
    ++log;
  }
  return log;
}

// Maxima of every run of 2^k values, level by level: O(1) range maxima for the visibility scan.
class RangeMax {
 public:
  RangeMax(float* levels, int width) : levels_(levels), width_(width) {
    for (int k = 1; (1 << k) <= width; ++k) {
      const float* below = Level(k - 1);
      float* level = Level(k);
      const int half = 1 << (k - 1);
      for (int i = 0; i + (1 << k) <= width; ++i) level[i] = std::max(below[i], below[i + half]);
    }
  }
  // The largest value of [first, last], both inside the row.
  float Of(int first, int last) const {
    const int k = FloorLog2(static_cast<std::size_t>(last - first + 1));
    return std::max(Level(k)[first], Level(k)[last - (1 << k) + 1]);
  }

 private:
  float* Level(int k) const { return levels_ + static_cast<std::size_t>(k) * width_; }
  float* levels_;
  int width_;
};

}  // namespace

std::size_t VisibilityScratchFloats(std::size_t width) {
  const std::size_t columns = std::max<std::size_t>(width, 1);
  return columns * static_cast<std::size_t>(FloorLog2(columns) + 1);
}

void MarkVisible(const int32_t* pixelSeparations, int width, int oversample,
                 double eyeSeparationPx, ViewDirection view, float* scratch, uint8_t* visible) {
  if (width <= 0) return;
  std::memset(visible, 1, static_cast<std::size_t>(width));
  const double eye = eyeSeparationPx;
  if (!(eye > 0.0) || !std::isfinite(eye)) return;
  // Vergence of each point, 1 on the image plane and larger when nearer: 1 - s/E for diverged
  // eyes, 1 + s/E for crossed ones.
  float* vergence = scratch;
  const double sign = view == ViewDirection::kWall ? 1.0 : -1.0;
  float nearest = -std::numeric_limits<float>::infinity();
  for (int x = 0; x < width; ++x) {
    const double separationPx = pixelSeparations[x] / static_cast<double>(oversample);
    vergence[x] = static_cast<float>(1.0 - sign * separationPx / eye);
    nearest = std::max(nearest, vergence[x]);
  }
  const RangeMax rangeMax(vergence, width);
  for (int x = 0; x < width; ++x) {
    const double own = vergence[x];
    if (!(own > 0.0) || !(nearest > own)) continue;
    // The line of sight from the point toward an eye (E/2 to the side, at vergence infinity)
    // has vergence own x E / (E - 2t) after t pixels; past reach it is nearer than every point.
    const double reach = eye / 2.0 * (1.0 - own / nearest);
    const int steps = static_cast<int>(std::min<double>(std::ceil(reach), width));
    for (int side = -1; side <= 1 && visible[x] != 0; side += 2) {
      for (int t = 1; t <= steps; ++t) {
        const int p = x + side * t;
        if (p < 0 || p >= width || 2.0 * t >= eye) break;
        const double line = own * eye / (eye - 2.0 * t);
        if (line >= nearest) break;
        if (vergence[p] > line) {
          visible[x] = 0;
          break;
        }
        // The line only comes nearer further on: when nothing left in its reach is nearer than
        // it is now, nothing can hide the point on this side.
        const int end = std::clamp(x + side * steps, 0, width - 1);
        if (rangeMax.Of(std::min(p, end), std::max(p, end)) <= line) break;
      }
    }
  }
}

void RowLinks::FreeBlock::operator()(void* block) const { std::free(block); }

bool RowLinks::Allocate(std::size_t count) {
  constexpr std::size_t kPerSubPixel = 2 * sizeof(int32_t) + 2;
  if (count == 0 || count > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      count > SIZE_MAX / kPerSubPixel) {
    return false;
  }
  block_.reset(std::calloc(count, kPerSubPixel));
  if (!block_) return false;
  parent_ = static_cast<int32_t*>(block_.get());
  anchor_ = parent_ + count;
  repeated_ = reinterpret_cast<uint8_t*>(anchor_ + count);
  rowAbove_ = repeated_ + count;
  count_ = static_cast<int>(count);
  return true;
}

void RowLinks::LinkClassic(const int32_t* separations, int count, bool preventGhosting,
                           bool firstRow) {
  // Links only run leftwards, so a set's first member is its root and every later member can
  // point straight at it.
  for (int x = 0; x < count; ++x) {
    parent_[x] = x;
    rowAbove_[x] = 0;
    repeated_[x] = 0;
    const int32_t s = separations[x];
    if (s >= 1 && s <= x) {
      const int source = x - s;
      if (!preventGhosting || repeated_[source] == 0) {
        parent_[x] = parent_[source];
        repeated_[source] = 1;
      }
    } else if (s == 0 && !(preventGhosting && firstRow)) {
      rowAbove_[x] = 1;
    }
  }
}

int RowLinks::Find(int x) {
  while (parent_[x] != x) {
    parent_[x] = parent_[parent_[x]];
    x = parent_[x];
  }
  return x;
}

// The smaller root wins, so every set's root stays its leftmost member.
void RowLinks::Union(int a, int b) {
  const int rootA = Find(a), rootB = Find(b);
  if (rootA < rootB) {
    parent_[rootB] = rootA;
  } else if (rootB < rootA) {
    parent_[rootA] = rootB;
  }
}

void RowLinks::LinkSymmetric(const int32_t* separations, int count, const uint8_t* visible,
                             int oversample) {
  for (int x = 0; x < count; ++x) {
    parent_[x] = x;
    rowAbove_[x] = 0;
  }
  for (int m = 0; m < count; ++m) {
    const int32_t s = separations[m];
    if (s < 1 || visible[m / oversample] == 0) continue;
    const int64_t left = m - int64_t{s / 2};
    const int64_t right = left + s;
    if (left < 0 || right >= count) continue;
    Union(static_cast<int>(left), static_cast<int>(right));
  }
  for (int x = 0; x < count; ++x) parent_[x] = Find(x);
}

void RowLinks::ChooseAnchors(Anchor anchor) {
  if (anchor != Anchor::kCentre) {
    for (int x = 0; x < count_; ++x) anchor_[x] = x;
    return;
  }
  // Distance to the centre in half sub-pixels, then the place: the left one of a tie.
  auto key = [this](int x) {
    const int64_t twice = 2 * int64_t{x} + 1 - count_;
    return (static_cast<uint64_t>(twice < 0 ? -twice : twice) << 32) | static_cast<uint32_t>(x);
  };
  for (int x = 0; x < count_; ++x) {
    const int root = parent_[x];
    if (root == x) {
      anchor_[x] = x;
    } else if (key(x) < key(anchor_[root])) {
      anchor_[root] = x;
    }
  }
}

}  // namespace zavol
