// Linking at the sub-pixel pitch: the separation rule scaled and mirrored, the hidden-surface test
// and the union-find over a row's pairs. Portable; no allocation except RowLinks::Allocate.
#include "render/linking.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "render/classic_link.h"

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

std::size_t VisibilityScratchFloats(std::size_t width) { return 4 * std::max<std::size_t>(width, 1); }

void MarkVisible(const int32_t* pixelSeparations, int width, int oversample,
                 double eyeSeparationPx, ViewDirection view, float* scratch, uint8_t* visible) {
  if (width <= 0) return;
  std::memset(visible, 1, static_cast<std::size_t>(width));
  const double eye = eyeSeparationPx;
  if (!(eye > 0.0) || !std::isfinite(eye)) return;
  // Vergence of each point, 1 on the image plane and larger when nearer: 1 - s/E for diverged
  // eyes, 1 + s/E for crossed ones.
  static_assert(sizeof(float) == sizeof(int32_t), "the scratch holds both");
  float* vergence = scratch;
  int32_t* nextNearer = reinterpret_cast<int32_t*>(scratch + width);
  int32_t* previousNearer = nextNearer + width;
  int32_t* stack = previousNearer + width;
  const double sign = view == ViewDirection::kWall ? 1.0 : -1.0;
  float nearest = -std::numeric_limits<float>::infinity();
  for (int x = 0; x < width; ++x) {
    const double separationPx = pixelSeparations[x] / static_cast<double>(oversample);
    vergence[x] = static_cast<float>(1.0 - sign * separationPx / eye);
    nearest = std::max(nearest, vergence[x]);
  }
  // The nearest point nearer than each one on either side (width or -1 when there is none):
  // whatever lies between is no nearer, so a scan may jump from one to the next.
  int top = 0;
  for (int x = 0; x < width; ++x) {
    while (top > 0 && vergence[stack[top - 1]] <= vergence[x]) --top;
    previousNearer[x] = top > 0 ? stack[top - 1] : -1;
    stack[top++] = x;
  }
  top = 0;
  for (int x = width - 1; x >= 0; --x) {
    while (top > 0 && vergence[stack[top - 1]] <= vergence[x]) --top;
    nextNearer[x] = top > 0 ? stack[top - 1] : width;
    stack[top++] = x;
  }
  for (int x = 0; x < width; ++x) {
    const double own = vergence[x];
    if (!(own > 0.0) || !(nearest > own)) continue;
    // The line of sight from the point toward an eye (E/2 to the side, at vergence infinity)
    // has vergence own x E / (E - 2t) after t pixels, and comes nearer with every step; once it
    // is nearer than every point of the row, nothing can hide the point.
    auto hiddenBy = [&](int p) {
      const double t = p > x ? p - x : x - p;
      if (2.0 * t >= eye) return -1;
      const double line = own * eye / (eye - 2.0 * t);
      if (line >= nearest) return -1;
      return vergence[p] > line ? 1 : 0;
    };
    int verdict = 0;
    for (int p = nextNearer[x]; p < width && verdict == 0; p = nextNearer[p]) verdict = hiddenBy(p);
    if (verdict != 1) {
      verdict = 0;
      for (int p = previousNearer[x]; p >= 0 && verdict == 0; p = previousNearer[p]) {
        verdict = hiddenBy(p);
      }
    }
    if (verdict == 1) visible[x] = 0;
  }
}

void RowLinks::FreeBlock::operator()(void* block) const { std::free(block); }

bool RowLinks::Allocate(std::size_t count) {
  constexpr std::size_t kPerSubPixel = 3 * sizeof(int32_t) + 2;
  if (count == 0 || count > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      count > SIZE_MAX / kPerSubPixel) {
    return false;
  }
  block_.reset(std::calloc(count, kPerSubPixel));
  if (!block_) return false;
  parent_ = static_cast<int32_t*>(block_.get());
  anchor_ = parent_ + count;
  claimant_ = anchor_ + count;
  unrepeated_ = reinterpret_cast<uint8_t*>(claimant_ + count);
  rowAbove_ = unrepeated_ + count;
  count_ = static_cast<int>(count);
  return true;
}

void RowLinks::LinkClassic(const int32_t* separations, int count, bool preventGhosting,
                           bool firstRow, ViewDirection view, int32_t* leftPartner) {
  // Crossed eyes: the claims on a source come in order of widening separation, so the nearest
  // surface's claim is the last one. Note it first; the links below then keep only it.
  const bool lastClaimWins = preventGhosting && view == ViewDirection::kCross;
  if (lastClaimWins) {
    std::fill_n(claimant_, count, -1);
    for (int x = 0; x < count; ++x) {
      const int32_t s = separations[x];
      if (s >= 1 && s <= x) claimant_[x - s] = x;
    }
  }
  // Links only run leftwards, so a set's first member is its root and every later member can
  // point straight at it. Wall-eyed, each pixel links by the row builder's own rule.
  for (int x = 0; x < count; ++x) {
    parent_[x] = x;
    rowAbove_[x] = 0;
    unrepeated_[x] = 1;  // x's own mark is read only by pixels right of it
    if (leftPartner != nullptr) leftPartner[x] = -1;
    const int32_t s = separations[x];
    ClassicLink link = LinkClassicPixel(preventGhosting, s, x, firstRow, unrepeated_);
    if (lastClaimWins && s >= 1 && s <= x) {
      link = claimant_[x - s] == x ? ClassicLink::kSource : ClassicLink::kNewDot;
    }
    if (link == ClassicLink::kSource) {
      const int source = x - s;
      parent_[x] = parent_[source];
      if (leftPartner != nullptr) leftPartner[x] = source;
    } else if (link == ClassicLink::kRowAbove) {
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
                             int oversample, int32_t* leftPartner) {
  for (int x = 0; x < count; ++x) {
    parent_[x] = x;
    rowAbove_[x] = 0;
  }
  if (leftPartner != nullptr) std::fill_n(leftPartner, count, -1);
  for (int m = 0; m < count; ++m) {
    const int32_t s = separations[m];
    if (s < 1 || visible[m / oversample] == 0) continue;
    const int64_t left = m - int64_t{s / 2};
    const int64_t right = left + s;
    if (left < 0 || right >= count) continue;
    Union(static_cast<int>(left), static_cast<int>(right));
    // A sub-pixel that closes several pairs repeats each of their left members; the nearest is
    // the repeat a decoder meets first.
    if (leftPartner != nullptr && leftPartner[right] < left) {
      leftPartner[right] = static_cast<int32_t>(left);
    }
  }
  for (int x = 0; x < count; ++x) parent_[x] = Find(x);
}

void LinkRow(const SubPixelRule& rule, Linking linking, ViewDirection view, const float* depth,
             int width, bool preventGhosting, bool firstRow, double eyeSeparationPx,
             const RowLinkBuffers& buffers, RowLinks& links) {
  const int oversample = rule.oversample();
  rule.FillPixels(depth, static_cast<std::size_t>(width), buffers.pixelSeparations);
  if (oversample > 1) {
    for (int x = 0; x < width; ++x) {
      std::fill_n(buffers.subSeparations + static_cast<std::size_t>(x) * oversample, oversample,
                  buffers.pixelSeparations[x]);
    }
  }
  const int subWidth = width * oversample;
  if (linking == Linking::kSymmetric) {
    MarkVisible(buffers.pixelSeparations, width, oversample, eyeSeparationPx, view,
                buffers.visibilityScratch, buffers.visible);
    links.LinkSymmetric(buffers.subSeparations, subWidth, buffers.visible, oversample,
                        buffers.leftPartner);
  } else {
    links.LinkClassic(buffers.subSeparations, subWidth, preventGhosting, firstRow, view,
                      buffers.leftPartner);
  }
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
