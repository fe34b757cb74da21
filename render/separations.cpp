// The per-pixel separation rule over a row of depths. The vector forms perform the scalar rule's
// operations in the same order and precision (no reciprocal, no fused multiply-add), so every
// lane gets the bits operator() gives. Portable: elsewhere the scalar rule runs as it stands.
#include "render/geometry.h"

#include <climits>

#include "render/simd.h"

namespace zavol {
namespace {

#if defined(ZAVOL_HAVE_SSE2)

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Four depths at a time.
void FillSse2(const float* depth, std::size_t count, int32_t* out, double nearest,
              double depthSpan, double separationSpan, double nearSeparation, float maxSeparation,
              int maxSeparationTrunc) {
  const __m128d nearestV = _mm_set1_pd(nearest);
  const __m128d depthSpanV = _mm_set1_pd(depthSpan);
  const __m128d separationSpanV = _mm_set1_pd(separationSpan);
  const __m128d nearSeparationV = _mm_set1_pd(nearSeparation);
  const __m128d intMaxV = _mm_set1_pd(2147483647.0);
  const __m128 maxSeparationV = _mm_set1_ps(maxSeparation);
  const __m128 zero = _mm_setzero_ps();
  const __m128i maxTruncV = _mm_set1_epi32(maxSeparationTrunc);
  const __m128i oneV = _mm_set1_epi32(1);
  const __m128i intMaxI = _mm_set1_epi32(INT_MAX);
  // The last depth met and its separation: a run of one depth (the background above all) skips
  // the division. Depths are compared as bits, so only the very same value is taken again.
  __m128i knownDepth = _mm_set1_epi32(0);
  __m128i knownSeparation = _mm_set1_epi32(0);
  bool known = false;
  for (std::size_t i = 0; i < count; i += 4) {
    const __m128 z = _mm_loadu_ps(depth + i);
    if (known && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_castps_si128(z), knownDepth)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), knownSeparation);
      continue;
    }
    const __m128i behind = _mm_castps_si128(_mm_cmpgt_ps(z, zero));
    const __m128d zLow = _mm_cvtps_pd(z);
    const __m128d zHigh = _mm_cvtps_pd(_mm_movehl_ps(z, z));
    const __m128d tLow = _mm_div_pd(_mm_sub_pd(zLow, nearestV), depthSpanV);
    const __m128d tHigh = _mm_div_pd(_mm_sub_pd(zHigh, nearestV), depthSpanV);
    const __m128d rLow = _mm_add_pd(_mm_mul_pd(tLow, separationSpanV), nearSeparationV);
    const __m128d rHigh = _mm_add_pd(_mm_mul_pd(tHigh, separationSpanV), nearSeparationV);
    const __m128 rounded = _mm_movelh_ps(_mm_cvtpd_ps(rLow), _mm_cvtpd_ps(rHigh));
    const __m128i positive = _mm_castps_si128(_mm_cmpgt_ps(rounded, zero));
    const __m128i beyondMax = _mm_castps_si128(_mm_cmplt_ps(maxSeparationV, rounded));
    const __m128i saturated = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castpd_ps(_mm_cmpge_pd(rLow, intMaxV)),
                       _mm_castpd_ps(_mm_cmpge_pd(rHigh, intMaxV)), _MM_SHUFFLE(2, 0, 2, 0)));
    __m128i s = _mm_unpacklo_epi64(_mm_cvttpd_epi32(rLow), _mm_cvttpd_epi32(rHigh));
    s = Select(saturated, intMaxI, s);
    s = Select(beyondMax, maxTruncV, s);
    s = Select(positive, s, oneV);
    s = Select(behind, maxTruncV, s);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), s);
    knownDepth = _mm_shuffle_epi32(_mm_castps_si128(z), _MM_SHUFFLE(3, 3, 3, 3));
    knownSeparation = _mm_shuffle_epi32(s, _MM_SHUFFLE(3, 3, 3, 3));
    known = true;
  }
}

#endif

#if defined(ZAVOL_HAVE_AVX2_DISPATCH)

// Eight depths at a time; the same steps as FillSse2.
ZAVOL_TARGET_AVX2 void FillAvx2(const float* depth, std::size_t count, int32_t* out,
                                double nearest, double depthSpan, double separationSpan,
                                double nearSeparation, float maxSeparation,
                                int maxSeparationTrunc) {
  const __m256d nearestV = _mm256_set1_pd(nearest);
  const __m256d depthSpanV = _mm256_set1_pd(depthSpan);
  const __m256d separationSpanV = _mm256_set1_pd(separationSpan);
  const __m256d nearSeparationV = _mm256_set1_pd(nearSeparation);
  const __m256d intMaxV = _mm256_set1_pd(2147483647.0);
  const __m256 maxSeparationV = _mm256_set1_ps(maxSeparation);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 maxTruncV = _mm256_castsi256_ps(_mm256_set1_epi32(maxSeparationTrunc));
  const __m256 oneV = _mm256_castsi256_ps(_mm256_set1_epi32(1));
  const __m256 intMaxI = _mm256_castsi256_ps(_mm256_set1_epi32(INT_MAX));
  const __m256i lastLane = _mm256_set1_epi32(7);
  __m256i knownDepth = _mm256_set1_epi32(0);
  __m256 knownSeparation = _mm256_setzero_ps();
  bool known = false;
  for (std::size_t i = 0; i < count; i += 8) {
    const __m256 z = _mm256_loadu_ps(depth + i);
    if (known &&
        _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_castps_si256(z), knownDepth)) == -1) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                          _mm256_castps_si256(knownSeparation));
      continue;
    }
    const __m256 behind = _mm256_cmp_ps(z, zero, _CMP_GT_OQ);
    const __m256d zLow = _mm256_cvtps_pd(_mm256_castps256_ps128(z));
    const __m256d zHigh = _mm256_cvtps_pd(_mm256_extractf128_ps(z, 1));
    const __m256d tLow = _mm256_div_pd(_mm256_sub_pd(zLow, nearestV), depthSpanV);
    const __m256d tHigh = _mm256_div_pd(_mm256_sub_pd(zHigh, nearestV), depthSpanV);
    const __m256d rLow = _mm256_add_pd(_mm256_mul_pd(tLow, separationSpanV), nearSeparationV);
    const __m256d rHigh = _mm256_add_pd(_mm256_mul_pd(tHigh, separationSpanV), nearSeparationV);
    const __m256 rounded = _mm256_set_m128(_mm256_cvtpd_ps(rHigh), _mm256_cvtpd_ps(rLow));
    const __m256 positive = _mm256_cmp_ps(rounded, zero, _CMP_GT_OQ);
    const __m256 beyondMax = _mm256_cmp_ps(maxSeparationV, rounded, _CMP_LT_OQ);
    const __m256d satLow = _mm256_cmp_pd(rLow, intMaxV, _CMP_GE_OQ);
    const __m256d satHigh = _mm256_cmp_pd(rHigh, intMaxV, _CMP_GE_OQ);
    // Narrow the 64-bit masks to 32-bit lanes in element order.
    const __m128 satLow4 = _mm_shuffle_ps(_mm256_castps256_ps128(_mm256_castpd_ps(satLow)),
                                          _mm256_extractf128_ps(_mm256_castpd_ps(satLow), 1),
                                          _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 satHigh4 = _mm_shuffle_ps(_mm256_castps256_ps128(_mm256_castpd_ps(satHigh)),
                                           _mm256_extractf128_ps(_mm256_castpd_ps(satHigh), 1),
                                           _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 saturated = _mm256_set_m128(satHigh4, satLow4);
    __m256 s = _mm256_castsi256_ps(
        _mm256_set_m128i(_mm256_cvttpd_epi32(rHigh), _mm256_cvttpd_epi32(rLow)));
    s = _mm256_blendv_ps(s, intMaxI, saturated);
    s = _mm256_blendv_ps(s, maxTruncV, beyondMax);
    s = _mm256_blendv_ps(oneV, s, positive);
    s = _mm256_blendv_ps(s, maxTruncV, behind);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_castps_si256(s));
    knownDepth = _mm256_permutevar8x32_epi32(_mm256_castps_si256(z), lastLane);
    knownSeparation = _mm256_permutevar8x32_ps(s, lastLane);
    known = true;
  }
}

#endif

}  // namespace

void SeparationRule::Fill(const float* depth, std::size_t count, int32_t* separations) const {
  std::size_t done = 0;
#if defined(ZAVOL_HAVE_AVX2_DISPATCH)
  if (HasAvx2()) {
    const std::size_t whole = count & ~static_cast<std::size_t>(7);
    FillAvx2(depth, whole, separations, nearest_, depthSpan_, separationSpan_, nearSeparation_,
             maxSeparation_, maxSeparationTrunc_);
    done = whole;
  }
#endif
#if defined(ZAVOL_HAVE_SSE2)
  {
    const std::size_t whole = done + ((count - done) & ~static_cast<std::size_t>(3));
    FillSse2(depth + done, whole - done, separations + done, nearest_, depthSpan_,
             separationSpan_, nearSeparation_, maxSeparation_, maxSeparationTrunc_);
    done = whole;
  }
#endif
  for (std::size_t i = done; i < count; ++i) separations[i] = (*this)(depth[i]);
}

}  // namespace zavol
