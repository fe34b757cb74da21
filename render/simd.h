// Which vector instructions the engine's hot loops may use: SSE2 wherever the compiler targets
// it, AVX2 chosen at run time where the compiler can dispatch and 32-byte spills stay aligned
// (not the Windows x86-64 ABI). Engine-internal; the scalar forms are the reference.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#define ZAVOL_HAVE_SSE2 1
#include <emmintrin.h>
#endif

#if defined(ZAVOL_HAVE_SSE2) && defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define ZAVOL_HAVE_AVX2_DISPATCH 1
#include <immintrin.h>
#define ZAVOL_TARGET_AVX2 __attribute__((target("avx2")))

namespace zavol {
// The processor and the operating system both support AVX2.
inline bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has;
}
}  // namespace zavol
#endif
