// The stereogram decoder: per row, a window's sum of squared colour differences for every
// shift searched, the first clearly best local minimum as the pixel's separation, refined to a
// fraction of a pixel, checked against the best match seen from the other end of the link.
// Portable; no I/O.
#include "render/decode.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <vector>

#include "render/frame.h"
#include "render/geometry.h"
#include "render/simd.h"
#include "render/thread_team.h"

namespace zavol {
namespace {

// A window off the pixel's centre that costs less than the centred one by this factor lies
// across an edge from it.
constexpr double kBesideAnEdge = 1.5;

// Every real cost is far below 2^31 (kMaxDecodeWindow pixels of three squared 8-bit
// differences), so costs compare alike as signed and unsigned 32-bit numbers.
constexpr uint32_t kNoCost = 0x7FFFFFFFu;

// One thread's working rows, width pixels each.
struct RowBuffers {
  RowBuffers(int width, int halfWindow)
      : red(Size(width)), green(Size(width)), blue(Size(width)), difference(Size(width)),
        none(Size(width) + 2 * static_cast<std::size_t>(halfWindow) + 1, kNoCost),
        bestCost(Size(width)), bestShift(Size(width)), bestCentre(Size(width)),
        costSum(Size(width)), costCount(Size(width)),
        backCost(Size(width)), backShift(Size(width)) {
    for (int i = 0; i < 3; ++i) {
      costs[i].assign(Size(width) + 1, kNoCost);
      boxes[i].resize(Size(width) + 2 * static_cast<std::size_t>(halfWindow));
    }
  }
  static std::size_t Size(int width) { return static_cast<std::size_t>(width); }

  std::vector<uint8_t> red, green, blue;
  std::vector<uint32_t> difference;  // squared colour difference of x and x - shift
  // Three consecutive shifts, by shift % 3: the window sums centred on each pixel (with
  // halfWindow of margin on either side) and each pixel's cost, the least of its three windows.
  std::vector<uint32_t> boxes[3];
  std::vector<uint32_t> costs[3];  // width + 1: kNoCost after the last pixel
  std::vector<uint32_t> none;  // costs and boxes of a shift outside the searched range
  // Looking left from x: the chosen shift, its cost and the centre of the window that gave it.
  std::vector<uint32_t> bestCost;
  std::vector<int32_t> bestShift, bestCentre;
  std::vector<float> costSum;  // over every shift searched, for the confidence
  std::vector<int32_t> costCount;
  // Looking right from p: the shift at which the picture at p is repeated best.
  std::vector<uint32_t> backCost;
  std::vector<int32_t> backShift;
};

// One shift's costs, and its window sums indexed by the window's centre.
struct ShiftCosts {
  const uint32_t* costs;
  const uint32_t* boxes;
};

// Where a surface is flat the picture repeats at two, three and four separations as well: a
// shift near such a multiple of the chosen one replaces it only when its cost is below half the
// chosen cost, so that the first repeat does not lose to its multiples on noise or a fraction of
// a pixel alone. Any other lower local minimum replaces the chosen shift. Branch-free, like its
// four-lane form below.
inline bool Replaces(int32_t shift, uint32_t cost, int32_t chosenShift, uint32_t chosenCost) {
  // |shift - k * chosen| <= k as one unsigned comparison each.
  const bool multiple =
      (static_cast<uint32_t>(shift - 2 * chosenShift + 2) <= 4u) |
      (static_cast<uint32_t>(shift - 3 * chosenShift + 3) <= 6u) |
      (static_cast<uint32_t>(shift - 4 * chosenShift + 4) <= 8u);
  return (cost < chosenCost) & (!multiple | (2 * cost < chosenCost));
}

#if defined(ZAVOL_HAVE_SSE2)

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// a in [-k, k], per lane.
inline __m128i Within(__m128i a, int k) {
  return _mm_and_si128(_mm_cmpgt_epi32(a, _mm_set1_epi32(-k - 1)),
                       _mm_cmpgt_epi32(_mm_set1_epi32(k + 1), a));
}

// Replaces for four lanes.
inline __m128i Replaces4(__m128i shift, __m128i cost, __m128i chosenShift, __m128i chosenCost) {
  const __m128i lower = _mm_cmpgt_epi32(chosenCost, cost);
  const __m128i twice = _mm_sub_epi32(shift, _mm_add_epi32(chosenShift, chosenShift));
  const __m128i thrice = _mm_sub_epi32(twice, chosenShift);
  const __m128i fourfold = _mm_sub_epi32(thrice, chosenShift);
  const __m128i multiple =
      _mm_or_si128(_mm_or_si128(Within(twice, 2), Within(thrice, 3)), Within(fourfold, 4));
  const __m128i clearly = _mm_cmpgt_epi32(chosenCost, _mm_add_epi32(cost, cost));
  const __m128i notMultiple = _mm_andnot_si128(multiple, _mm_set1_epi32(-1));
  return _mm_and_si128(lower, _mm_or_si128(notMultiple, clearly));
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// RowDecoder::Consider's loop four pixels at a time, from x while four remain in the row;
// returns where the scalar loop goes on. The same operations lane by lane.
int ConsiderSse2(int shift, int x, int width, int h, const uint32_t* atCosts,
                 const uint32_t* atBoxes, const uint32_t* beforeCosts, const uint32_t* afterCosts,
                 float* costSum, int32_t* costCount, uint32_t* bestCost, int32_t* bestShift,
                 int32_t* bestCentre, uint32_t* backCost, int32_t* backShift) {
  const __m128i shiftV = _mm_set1_epi32(shift);
  const __m128i noCost = _mm_set1_epi32(static_cast<int32_t>(kNoCost));
  const __m128i lanes = _mm_set_epi32(3, 2, 1, 0);
  for (; x + 4 <= width; x += 4) {
    const __m128i cost = Load(atCosts + x);
    const __m128i valid = _mm_andnot_si128(_mm_cmpeq_epi32(cost, noCost), _mm_set1_epi32(-1));
    _mm_storeu_ps(costSum + x, _mm_add_ps(_mm_loadu_ps(costSum + x),
                                          _mm_cvtepi32_ps(_mm_and_si128(cost, valid))));
    Store(costCount + x, _mm_sub_epi32(Load(costCount + x), valid));
    const __m128i localMin = _mm_andnot_si128(
        _mm_or_si128(_mm_cmpgt_epi32(cost, Load(beforeCosts + x)),
                     _mm_cmpgt_epi32(cost, Load(afterCosts + x))),
        _mm_set1_epi32(-1));
    const __m128i chosenCost = Load(bestCost + x), chosenShift = Load(bestShift + x);
    const __m128i left = _mm_and_si128(localMin, Replaces4(shiftV, cost, chosenShift, chosenCost));
    const __m128i xV = _mm_add_epi32(_mm_set1_epi32(x), lanes);
    __m128i centre = _mm_add_epi32(xV, _mm_set1_epi32(h));
    centre = Select(_mm_cmpeq_epi32(Load(atBoxes + x), cost), xV, centre);
    centre = Select(_mm_cmpeq_epi32(Load(atBoxes + x - h), cost),
                    _mm_sub_epi32(xV, _mm_set1_epi32(h)), centre);
    Store(bestCost + x, Select(left, cost, chosenCost));
    Store(bestShift + x, Select(left, shiftV, chosenShift));
    Store(bestCentre + x, Select(left, centre, Load(bestCentre + x)));
    const int p = x - shift;
    const __m128i backChosenCost = Load(backCost + p), backChosenShift = Load(backShift + p);
    const __m128i backMin = _mm_andnot_si128(
        _mm_or_si128(_mm_cmpgt_epi32(cost, Load(beforeCosts + x - 1)),
                     _mm_cmpgt_epi32(cost, Load(afterCosts + x + 1))),
        _mm_set1_epi32(-1));
    const __m128i back =
        _mm_and_si128(backMin, Replaces4(shiftV, cost, backChosenShift, backChosenCost));
    Store(backCost + p, Select(back, cost, backChosenCost));
    Store(backShift + p, Select(back, shiftV, backChosenShift));
  }
  return x;
}

#endif

class RowDecoder {
 public:
  RowDecoder(const DecodeOptions& options, int width)
      : width_(width), halfWindow_(options.window / 2), oversample_(options.oversample),
        bounds_(options.bounds),
        minConfidence_(options.minConfidence), b_(width, options.window / 2) {}

  void Decode(const uint16_t* words, float* separations, float* confidence) {
    for (int x = 0; x < width_; ++x) {
      b_.red[x] = static_cast<uint8_t>(words[4 * x] >> 8);
      b_.green[x] = static_cast<uint8_t>(words[4 * x + 1] >> 8);
      b_.blue[x] = static_cast<uint8_t>(words[4 * x + 2] >> 8);
    }
    if (oversample_ > 1) {
      // A pixel averaged from sub-pixels and the pixel a fractional separation to its left share
      // only part of their sub-pixels (half, at half a pixel); two neighbouring pixels taken
      // together share three quarters with the pair that far to the left, so the repeat stands
      // out of the noise of the other shifts. Shifts are what the search measures, and a box
      // moves none.
      for (std::vector<uint8_t>* channel : {&b_.red, &b_.green, &b_.blue}) {
        uint8_t* c = channel->data();
        for (int x = 0; x + 1 < width_; ++x) c[x] = static_cast<uint8_t>((c[x] + c[x + 1] + 1) / 2);
      }
    }
    std::fill(b_.bestCost.begin(), b_.bestCost.end(), kNoCost);
    std::fill(b_.bestShift.begin(), b_.bestShift.end(), -1);
    std::fill(b_.costSum.begin(), b_.costSum.end(), 0.0f);
    std::fill(b_.costCount.begin(), b_.costCount.end(), 0);
    std::fill(b_.backCost.begin(), b_.backCost.end(), kNoCost);
    std::fill(b_.backShift.begin(), b_.backShift.end(), -1);

    // One shift beyond each end of the range, so that the ends have both neighbours for the
    // local-minimum test and the fraction.
    const int low = std::max(1, bounds_.minSeparation - 1);
    const int high = std::min(bounds_.maxSeparation + 1, width_ - 1);
    const ShiftCosts none{b_.none.data(), b_.none.data() + halfWindow_};
    ShiftCosts before = none, at = none;
    for (int shift = low; shift <= high + 1; ++shift) {
      ShiftCosts after = none;
      if (shift <= high) {
        const int slot = shift % 3;
        Costs(shift, b_.boxes[slot].data() + halfWindow_, b_.costs[slot].data());
        after = ShiftCosts{b_.costs[slot].data(), b_.boxes[slot].data() + halfWindow_};
      }
      const int candidate = shift - 1;
      if (candidate >= low && candidate >= bounds_.minSeparation &&
          candidate <= bounds_.maxSeparation) {
        Consider(candidate, before, at, after);
      }
      before = at;
      at = after;
    }
    Finish(separations, confidence);
  }

 private:
  // For one shift: boxes[c], the sum over the window centred on c of squared differences
  // between pixels i and i - shift, for c in [-h, w + h) (kNoCost where the window does not
  // fit), and costs[x], the least of the windows centred on x, ending at x and starting at x.
  void Costs(int shift, uint32_t* boxes, uint32_t* costs) {
    const int w = width_, h = halfWindow_;
    const uint8_t* r = b_.red.data();
    const uint8_t* g = b_.green.data();
    const uint8_t* bl = b_.blue.data();
    uint32_t* difference = b_.difference.data();
    for (int i = shift; i < w; ++i) {
      const int dr = r[i] - r[i - shift], dg = g[i] - g[i - shift], db = bl[i] - bl[i - shift];
      difference[i] = static_cast<uint32_t>(dr * dr + dg * dg + db * db);
    }
    // The window centred on c fits for c in [shift + h, w - h).
    const int first = shift + h, end = w - h;
    std::fill(boxes - h, boxes + std::min(first, w + h), kNoCost);
    if (first < end) {
      uint32_t sum = 0;
      for (int i = shift; i <= shift + 2 * h; ++i) sum += difference[i];
      boxes[first] = sum;
      for (int c = first + 1; c < end; ++c) {
        sum += difference[c + h] - difference[c - h - 1];
        boxes[c] = sum;
      }
    }
    std::fill(boxes + std::max(end, first), boxes + w + h, kNoCost);
    std::fill(costs, costs + std::min(shift, w), kNoCost);
    for (int x = shift; x < w; ++x) {
      costs[x] = std::min(std::min(boxes[x - h], boxes[x]), boxes[x + h]);
    }
  }

  // The costs of one candidate shift, with those of the shifts on either side, offered to every
  // pixel looking left (x) and to every pixel looking right (x - shift).
  void Consider(int shift, const ShiftCosts& before, const ShiftCosts& at,
                const ShiftCosts& after) {
    const int h = halfWindow_;
    const uint32_t* __restrict__ atCosts = at.costs;
    const uint32_t* __restrict__ atBoxes = at.boxes;
    const uint32_t* __restrict__ beforeCosts = before.costs;
    const uint32_t* __restrict__ afterCosts = after.costs;
    float* __restrict__ costSum = b_.costSum.data();
    int32_t* __restrict__ costCount = b_.costCount.data();
    uint32_t* __restrict__ bestCost = b_.bestCost.data();
    int32_t* __restrict__ bestShift = b_.bestShift.data();
    int32_t* __restrict__ bestCentre = b_.bestCentre.data();
    // Seen from p = x - shift, the neighbouring shifts pair p with x - 1 and x + 1 (the cost
    // rows end in one kNoCost beyond the last pixel).
    uint32_t* __restrict__ backCost = b_.backCost.data();
    int32_t* __restrict__ backShift = b_.backShift.data();
    int x = shift;
#if defined(ZAVOL_HAVE_SSE2)
    x = ConsiderSse2(shift, x, width_, h, atCosts, atBoxes, beforeCosts, afterCosts, costSum,
                     costCount,
                     bestCost, bestShift, bestCentre, backCost, backShift);
#endif
    for (; x < width_; ++x) {
      const uint32_t cost = atCosts[x];
      const uint32_t counted = cost != kNoCost ? cost : 0u;  // costs stay far below 2^31
      costSum[x] += static_cast<float>(static_cast<int32_t>(counted));
      costCount[x] += cost != kNoCost ? 1 : 0;
      const bool left = (cost <= beforeCosts[x]) & (cost <= afterCosts[x]) &
                        Replaces(shift, cost, bestShift[x], bestCost[x]);
      int centre = x + h;
      centre = atBoxes[x] == cost ? x : centre;
      centre = atBoxes[x - h] == cost ? x - h : centre;
      bestCost[x] = left ? cost : bestCost[x];
      bestShift[x] = left ? shift : bestShift[x];
      bestCentre[x] = left ? centre : bestCentre[x];
      const int p = x - shift;
      const bool back = (cost <= beforeCosts[x - 1]) & (cost <= afterCosts[x + 1]) &
                        Replaces(shift, cost, backShift[p], backCost[p]);
      backCost[p] = back ? cost : backCost[p];
      backShift[p] = back ? shift : backShift[p];
    }
  }

  void Finish(float* separations, float* confidence) {
    const RowBuffers& b = b_;
    for (int x = 0; x < width_; ++x) {
      const int shift = b.bestShift[x];
      float sure = 0.0f;
      float separation = std::numeric_limits<float>::quiet_NaN();
      if (shift > 0) {
        // The pixel it repeats must be repeated best here (give or take a pixel), or at least
        // no better anywhere else: a match into a stretch that only one eye sees is a guess.
        const std::size_t p = static_cast<std::size_t>(x - shift);
        const bool mutual = std::abs(b.backShift[p] - shift) <= 1 || b.bestCost[x] <= b.backCost[p];
        const float mean = b.costSum[x] / static_cast<float>(b.costCount[x]);
        Refined refined = Refine(x);
        float whole = static_cast<float>(shift);
        if (mutual && mean > 0.0f) {
          sure = std::max(0.0f, 1.0f - refined.cost / mean);
          if (oversample_ > 1) FractionalFirstRepeat(x, mean, &whole, &refined, &sure);
          // Beside an edge the window that fits best may lie mostly on the neighbouring surface,
          // whose repeat it then finds whatever the pixel itself shows: a pixel that only one
          // eye sees matches nothing. When that window is off the pixel's centre and fits
          // clearly better than the centred one, the pixel is only as sure as its own
          // difference from its partner allows (nothing at the mean difference of one pixel over
          // all shifts). Within a surface the three windows fit alike and nothing changes.
          if (b.bestCentre[x] != x &&
              CentredCost(x, shift) > kBesideAnEdge * static_cast<double>(b.bestCost[x])) {
            const float perPixel = mean / static_cast<float>(2 * halfWindow_ + 1);
            const float own = OwnDifference(x, whole + refined.fraction);
            sure = std::min(sure, std::max(0.0f, 1.0f - own / perPixel));
          }
        }
        if (sure >= minConfidence_ && sure > 0.0f) separation = whole + refined.fraction;
      }
      separations[x] = separation;
      if (confidence != nullptr) confidence[x] = sure;
    }
  }

  // The window centred on x at a whole shift; infinite where it does not fit in the row.
  double CentredCost(int x, int shift) const {
    const int h = halfWindow_;
    if (x - h - shift < 0 || x + h >= width_) return std::numeric_limits<double>::infinity();
    uint32_t total = 0;
    for (const uint8_t* c : {b_.red.data(), b_.green.data(), b_.blue.data()}) {
      for (int i = x - h; i <= x + h; ++i) {
        const int d = c[i] - c[i - shift];
        total += static_cast<uint32_t>(d * d);
      }
    }
    return total;
  }

  // Squared colour difference between pixel x and the row at x - separation, read between
  // pixels linearly; beyond the row's left end, as large as it can be.
  float OwnDifference(int x, float separation) const {
    const double at = x - static_cast<double>(separation);
    const int left = static_cast<int>(std::floor(at));
    if (left < 0 || left >= width_) return 3.0f * 255.0f * 255.0f;
    const double t = at - left;
    const int right = std::min(left + 1, width_ - 1);
    double total = 0.0;
    for (const uint8_t* c : {b_.red.data(), b_.green.data(), b_.blue.data()}) {
      const double partner = (1.0 - t) * c[left] + t * c[right];
      total += (c[x] - partner) * (c[x] - partner);
    }
    return static_cast<float>(total);
  }

  struct Refined {
    float fraction;  // to add to the whole shift, -1/2..1/2
    float cost;      // the cost of the refined repeat, on the scale of the whole shifts' costs
  };

  // Least squares over pixels first..last for a repeat between whole shifts base and base + 1:
  // the fraction f in [0, 1] and the residual.
  void FitBetween(int base, int first, int last, double* fraction, double* residual) const {
    const uint8_t* channels[3] = {b_.red.data(), b_.green.data(), b_.blue.data()};
    double ee = 0.0, eg = 0.0, gg = 0.0;
    for (const uint8_t* c : channels) {
      for (int i = first; i <= last; ++i) {
        const double e = c[i] - c[i - base], g = c[i - base - 1] - c[i - base];
        ee += e * e;
        eg += e * g;
        gg += g * g;
      }
    }
    const double f = gg > 0.0 ? std::clamp(eg / gg, 0.0, 1.0) : 0.0;
    *fraction = f;
    *residual = ee - 2.0 * f * eg + f * f * gg;
  }

  // Rows averaged down from a finer pitch repeat exactly only at a whole multiple of a
  // fractional separation (16.5 pixels repeat exactly at 33), and only roughly at the fraction
  // itself, so the whole shift chosen may be k times the first repeat. The fraction near shift / k
  // is taken instead (the largest such k, up to the oversampling) when it repeats clearly: a quick
  // whole-shift window beside it costs less than kCheap of the mean, and the fitted repeat is at
  // least kSure sure.
  void FractionalFirstRepeat(int x, float mean, float* whole, Refined* refined,
                             float* sure) const {
    constexpr float kCheap = 0.9f, kSure = 0.5f;
    const int shift = b_.bestShift[x];
    const int h = halfWindow_;
    const uint8_t* r = b_.red.data();
    const uint8_t* g = b_.green.data();
    const uint8_t* bl = b_.blue.data();
    for (int k = oversample_; k >= 2; --k) {
      const double target = static_cast<double>(shift) / k;
      const int base = static_cast<int>(std::floor(target));
      if (target < bounds_.minSeparation - 0.5 || base < 1) continue;
      const int first = std::max(b_.bestCentre[x] - 2 * h, base + 1);
      const int last = std::min(b_.bestCentre[x] + 2 * h, width_ - 1);
      if (last - first < 2 * h) continue;
      // The windows at the whole shifts either side of the target: a fraction still shows at
      // one of them at about half the cost of no repeat.
      const int from = std::max(x - h, base + 1), to = std::min(x + h, width_ - 1);
      if (to < from) continue;
      uint32_t quick[2] = {0, 0};
      for (int side = 0; side < 2; ++side) {
        const int shifted = base + side;
        for (int i = from; i <= to; ++i) {
          const int dr = r[i] - r[i - shifted], dg = g[i] - g[i - shifted];
          const int db = bl[i] - bl[i - shifted];
          quick[side] += static_cast<uint32_t>(dr * dr + dg * dg + db * db);
        }
      }
      const float quickCost = static_cast<float>(std::min(quick[0], quick[1])) *
                              static_cast<float>(2 * h + 1) / static_cast<float>(to - from + 1);
      if (!(quickCost < kCheap * mean)) continue;
      double f = 0.0, residual = 0.0;
      FitBetween(base, first, last, &f, &residual);
      // Near the target, and not below the range searched.
      if (std::fabs(base + f - target) > 0.5 / k + 0.0625 ||
          base + f < bounds_.minSeparation - 0.5) {
        continue;
      }
      const float cost = static_cast<float>(
          residual * static_cast<double>(2 * h + 1) / (last - first + 1));
      const float fitted = std::max(0.0f, 1.0f - cost / mean);
      if (fitted < kSure) continue;
      *whole = static_cast<float>(base);
      *refined = Refined{static_cast<float>(f), cost};
      *sure = fitted;
      return;
    }
  }

  // The repeat between whole shifts: the pixels about the window against their partners
  // interpolated linearly between the pixels at shift and shift + 1 (or shift - 1), with the
  // fraction f that fits best in the least-squares sense, on whichever side fits better. An
  // exact repeat (cost 0) stays whole.
  Refined Refine(int x) const {
    const int shift = b_.bestShift[x];
    const float wholeCost = static_cast<float>(b_.bestCost[x]);
    if (b_.bestCost[x] == 0) return Refined{0.0f, 0.0f};
    // Twice the matching window where the row allows: the fraction rests on small differences.
    const int first = std::max(b_.bestCentre[x] - 2 * halfWindow_, shift + 1);
    const int last = std::min(b_.bestCentre[x] + 2 * halfWindow_, width_ - 1);
    const uint8_t* channels[3] = {b_.red.data(), b_.green.data(), b_.blue.data()};
    double best = 0.0, bestResidual = std::numeric_limits<double>::infinity();
    for (int side : {1, -1}) {
      double ee = 0.0, eg = 0.0, gg = 0.0;
      for (const uint8_t* c : channels) {
        for (int i = first; i <= last; ++i) {
          const double e = c[i] - c[i - shift], g = c[i - shift - side] - c[i - shift];
          ee += e * e;
          eg += e * g;
          gg += g * g;
        }
      }
      // The whole shift was the better of its neighbours, so the repeat lies within half a
      // pixel of it.
      const double f = gg > 0.0 ? std::clamp(eg / gg, 0.0, 0.5) : 0.0;
      const double residual = ee - 2.0 * f * eg + f * f * gg;
      if (residual < bestResidual) {
        bestResidual = residual;
        best = side * f;
      }
    }
    const double scale = static_cast<double>(2 * halfWindow_ + 1) / (last - first + 1);
    return Refined{static_cast<float>(best),
                   std::min(wholeCost, static_cast<float>(bestResidual * scale))};
  }

  int width_;
  int halfWindow_;
  int oversample_;
  SeparationBounds bounds_;
  float minConfidence_;
  RowBuffers b_;
};

bool ValidOptions(const ConstPixelView& picture, const DecodeOptions& o) {
  return picture.words != nullptr && picture.width >= 1 && picture.height >= 1 &&
         picture.width <= kMaxImageSide && picture.height <= kMaxImageSide &&
         picture.rowStride >= 4 * static_cast<std::ptrdiff_t>(picture.width) && o.window >= 1 &&
         o.window <= kMaxDecodeWindow && o.window % 2 == 1 && o.bounds.minSeparation >= 1 &&
         o.bounds.minSeparation <= o.bounds.maxSeparation && o.threads >= 1 &&
         o.minConfidence >= 0.0f && o.minConfidence <= 1.0f && o.oversample >= 1 &&
         o.oversample <= kMaxOversample;
}

}  // namespace

SeparationBounds FrameSeparationBounds(const StereogramSettings& settings, int width, int height,
                                       int screenWidth, int screenHeight, int oversample) {
  const ViewingGeometry g = ComputeGeometry(settings, width, height, screenWidth, screenHeight);
  const int64_t pitch = std::max(oversample, 1);
  const int64_t backgroundSub = SaturatingTrunc(pitch * static_cast<double>(g.maxSeparation));
  const int background =
      static_cast<int>(std::min<int64_t>((backgroundSub + pitch - 1) / pitch, kMaxImageSide));
  const int nearest = SaturatingTrunc(std::min(g.nearSeparation, g.farSeparation));
  // Separations below 1 are pixels repeating themselves, not a horizontal repeat to look for.
  const int low = std::clamp(nearest, 1, kMaxImageSide);
  return SeparationBounds{low, std::clamp(background, low, kMaxImageSide)};
}

PeriodEstimate EstimatePeriod(const ConstPixelView& picture, int rows) {
  PeriodEstimate estimate;
  const int width = picture.width, height = picture.height;
  const int lowest = 2, highest = width / 2;
  if (picture.words == nullptr || height < 1 || rows < 1 || highest - lowest < 4) return estimate;
  rows = std::min(rows, height);
  // Squared colour differences at 8 bits, summed per shift over the sampled rows.
  std::vector<double> sum(static_cast<std::size_t>(highest) + 1, 0.0);
  std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * 3);
  for (int k = 0; k < rows; ++k) {
    const int y = static_cast<int>((2 * int64_t{k} + 1) * height / (2 * int64_t{rows}));
    const uint16_t* words = picture.words + y * picture.rowStride;
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) rgb[3 * x + c] = static_cast<uint8_t>(words[4 * x + c] >> 8);
    }
    for (int d = lowest; d <= highest; ++d) {
      uint64_t total = 0;
      const uint8_t* a = rgb.data() + 3 * d;
      const uint8_t* b = rgb.data();
      const int count = 3 * (width - d);
      for (int i = 0; i < count; ++i) {
        const int difference = a[i] - b[i];
        total += static_cast<uint32_t>(difference * difference);
      }
      sum[static_cast<std::size_t>(d)] += static_cast<double>(total) / (width - d);
    }
  }
  std::vector<double> sorted(sum.begin() + lowest, sum.end());
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const double median = sorted[sorted.size() / 2];
  if (!(median > 0.0)) return estimate;
  std::vector<double> score(sum.size(), 0.0);
  int best = lowest;
  for (int d = lowest; d <= highest; ++d) {
    score[static_cast<std::size_t>(d)] = 1.0 - sum[static_cast<std::size_t>(d)] / median;
    if (score[static_cast<std::size_t>(d)] > score[static_cast<std::size_t>(best)]) best = d;
  }
  // A flat surface repeats at two and three periods as well: the first repeat is the period when
  // it stands out nearly as much.
  constexpr double kStandsOut = 0.2, kNearlyAsMuch = 0.7, kNoticeable = 0.02;
  if (score[static_cast<std::size_t>(best)] < kStandsOut) return estimate;
  for (int k = 4; k >= 2; --k) {
    const int centre = (best + k / 2) / k;
    int fundamental = -1;
    for (int d = std::max(lowest, centre - 1); d <= centre + 1; ++d) {
      if (fundamental < 0 || score[static_cast<std::size_t>(d)] > score[static_cast<std::size_t>(fundamental)]) {
        fundamental = d;
      }
    }
    if (fundamental >= lowest &&
        score[static_cast<std::size_t>(fundamental)] >= kNearlyAsMuch * score[static_cast<std::size_t>(best)]) {
      best = fundamental;
      break;
    }
  }
  estimate.period = best;
  estimate.strength = score[static_cast<std::size_t>(best)];
  const int low = std::max(1, static_cast<int>(0.4 * best));
  int high = std::min(highest, best + std::max(2, best / 10));
  // A pixel that repeats one at separation a, which repeats one at b, repeats at a + b too:
  // such chained repeats are no surface's own.
  auto noticeable = [&](int d) {
    return d >= lowest && d <= highest && score[static_cast<std::size_t>(d)] >= kNoticeable;
  };
  auto chained = [&](int d) {
    for (int a = low; 2 * a <= d + 1 && a <= best; ++a) {
      if (!noticeable(a)) continue;
      for (int b = d - a - 1; b <= d - a + 1; ++b) {
        if (b >= a && b <= best && noticeable(b)) return true;
      }
    }
    return false;
  };
  for (int d = best + 1; d <= std::min(highest, 2 * best - 3); ++d) {
    if (noticeable(d) && !chained(d)) high = std::max(high, d + 2);
  }
  estimate.bounds = SeparationBounds{low, std::min(high, highest)};
  return estimate;
}

FrameStatus DecodeStereogram(const ConstPixelView& picture, const DecodeOptions& options,
                              float* separations, float* confidence) {
  if (separations == nullptr || !ValidOptions(picture, options)) return FrameStatus::kBadOptions;
  const int width = picture.width, height = picture.height;
  std::atomic<int> nextRow{0}, rowsDone{0};
  ThreadTeam team;
  // Member 0, the calling thread, is the one that reports progress; a stop from it ends every
  // member before its next row.
  auto work = [&](int member) {
    RowDecoder decoder(options, width);
    while (!team.Stopping()) {
      const int y = nextRow.fetch_add(1);
      if (y >= height) return;
      const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
      decoder.Decode(picture.words + y * picture.rowStride, separations + at,
                     confidence != nullptr ? confidence + at : nullptr);
      const int done = rowsDone.fetch_add(1) + 1;
      if (member == 0 && options.progress != nullptr &&
          options.progress(options.user, done, height) != 0) {
        team.Stop();
      }
    }
  };
  team.Start(std::min(options.threads, height) - 1, work);
  team.TakePart(0, work);
  team.Join();
  if (const std::exception_ptr failure = team.Failure()) {
    // Memory for a row decoder's buffers is a status; anything else (thrown by the caller's
    // progress function) goes back to the caller.
    try {
      std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
      return FrameStatus::kOutOfMemory;
    }
  }
  return rowsDone.load() == height ? FrameStatus::kDone : FrameStatus::kStopped;
}

}  // namespace zavol
