// The separation table and the row fill that uses it. Depths at or below zero are ordered by a
// key: 0 for minus infinity up to kKeyOfZero for -0 (and 0, which has the same separation).
#include "render/separation_table.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/simd.h"

namespace zavol {
namespace {

constexpr uint32_t kBitsOfMinusInfinity = 0xFF800000u;
constexpr uint32_t kKeyOfZero = kBitsOfMinusInfinity - 0x80000000u;

uint32_t KeyOf(float z) {  // z <= 0, not a number excluded
  if (z == 0.0f) return kKeyOfZero;
  uint32_t bits;
  std::memcpy(&bits, &z, sizeof bits);
  return kBitsOfMinusInfinity - bits;
}

float DepthOf(uint32_t key) {
  const uint32_t bits = kBitsOfMinusInfinity - key;
  float z;
  std::memcpy(&z, &bits, sizeof z);
  return z;
}

#if defined(ZAVOL_HAVE_SSE2)
void FillSse2(const SeparationTable& table, const SeparationRule& rule, const float* depth,
              std::size_t count, int32_t* out) {
  __m128 low = _mm_set1_ps(INFINITY), high = _mm_set1_ps(-INFINITY);
  __m128i known = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128 z = _mm_loadu_ps(depth + i);
    const __m128 inside = _mm_and_ps(_mm_cmpge_ps(z, low), _mm_cmple_ps(z, high));
    if (_mm_movemask_ps(inside) == 0xF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), known);
      continue;
    }
    rule.Fill(depth + i, 4, out + i);
    float lo, hi;
    int32_t s;
    if (table.Interval(depth[i + 3], &lo, &hi, &s)) {
      low = _mm_set1_ps(lo);
      high = _mm_set1_ps(hi);
      known = _mm_set1_epi32(s);
    }
  }
  if (i < count) rule.Fill(depth + i, count - i, out + i);
}
#endif

#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
ZAVOL_TARGET_AVX2 void FillAvx2(const SeparationTable& table, const SeparationRule& rule,
                                const float* depth, std::size_t count, int32_t* out) {
  __m256 low = _mm256_set1_ps(INFINITY), high = _mm256_set1_ps(-INFINITY);
  __m256i known = _mm256_setzero_si256();
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256 z = _mm256_loadu_ps(depth + i);
    const __m256 inside =
        _mm256_and_ps(_mm256_cmp_ps(z, low, _CMP_GE_OQ), _mm256_cmp_ps(z, high, _CMP_LE_OQ));
    if (_mm256_movemask_ps(inside) == 0xFF) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), known);
      continue;
    }
    rule.Fill(depth + i, 8, out + i);
    float lo, hi;
    int32_t s;
    if (table.Interval(depth[i + 7], &lo, &hi, &s)) {
      low = _mm256_set1_ps(lo);
      high = _mm256_set1_ps(hi);
      known = _mm256_set1_epi32(s);
    }
  }
  if (i < count) rule.Fill(depth + i, count - i, out + i);
}
#endif

}  // namespace

SeparationTable::SeparationTable(const SeparationRule& rule) : rule_(rule) {
  if (!rule.Monotone()) return;
  // Where the real separation is not positive the rule gives 1; beyond that point it gives
  // integer steps (and the background separation past its end), monotone in the depth.
  auto positive = [&rule](uint32_t key) {
    return static_cast<float>(rule.RealSeparation(DepthOf(key))) > 0.0f;
  };
  const bool positiveFirst = positive(0), positiveLast = positive(kKeyOfZero);
  uint32_t turn = kKeyOfZero + 1;  // first key on the side of the last key
  if (positiveFirst != positiveLast) {
    uint32_t low = 0, high = kKeyOfZero;  // positive(low) != positive(high)
    while (high - low > 1) {
      const uint32_t mid = low + (high - low) / 2;
      (positive(mid) == positiveFirst ? low : high) = mid;
    }
    turn = high;
  }
  auto region = [this, &positive](uint32_t first, uint32_t last) {
    if (!positive(first)) {
      Add(first, 1);
      return;
    }
    const int32_t firstSeparation = SeparationAt(first);
    Add(first, firstSeparation);
    Split(first, firstSeparation, last, SeparationAt(last));
  };
  if (turn > kKeyOfZero) {
    region(0, kKeyOfZero);
  } else {
    region(0, turn - 1);
    region(turn, kKeyOfZero);
  }
  if (full_) count_ = 0;
}

int32_t SeparationTable::SeparationAt(uint32_t key) const { return rule_(DepthOf(key)); }

void SeparationTable::Add(uint32_t firstKey, int32_t separation) {
  if (count_ > 0 && separations_[count_ - 1] == separation) return;
  if (count_ == kCapacity) {
    full_ = true;
    return;
  }
  keys_[count_] = firstKey;
  separations_[count_] = separation;
  ++count_;
}

// Adds the steps within (lowKey, highKey], in order, on a stretch where the rule is monotone.
void SeparationTable::Split(uint32_t lowKey, int32_t lowSeparation, uint32_t highKey,
                            int32_t highSeparation) {
  if (lowSeparation == highSeparation || full_) return;
  if (highKey - lowKey == 1) {
    Add(highKey, highSeparation);
    return;
  }
  const uint32_t midKey = lowKey + (highKey - lowKey) / 2;
  const int32_t midSeparation = SeparationAt(midKey);
  Split(lowKey, lowSeparation, midKey, midSeparation);
  Split(midKey, midSeparation, highKey, highSeparation);
}

bool SeparationTable::Interval(float z, float* low, float* high, int32_t* separation) const {
  if (count_ == 0 || !(z <= 0.0f)) return false;
  const uint32_t key = KeyOf(z);
  const std::size_t index =
      static_cast<std::size_t>(std::upper_bound(keys_, keys_ + count_, key) - keys_) - 1;
  *low = DepthOf(keys_[index]);
  *high = index + 1 < count_ ? DepthOf(keys_[index + 1] - 1) : -0.0f;
  *separation = separations_[index];
  return true;
}

void SeparationTable::Fill(const float* depth, std::size_t count, int32_t* separations) const {
  if (!usable()) {
    rule_.Fill(depth, count, separations);
    return;
  }
#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
  if (HasAvx2()) {
    FillAvx2(*this, rule_, depth, count, separations);
    return;
  }
#endif
#if defined(ZAVOL_HAVE_SSE2)
  FillSse2(*this, rule_, depth, count, separations);
#else
  rule_.Fill(depth, count, separations);
#endif
}

}  // namespace zavol
