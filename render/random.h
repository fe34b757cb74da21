// The dot generator: the C runtime's linear congruential rule (state * 214013 + 2531011, output
// bits 16 to 30), owned by one frame so that frames never share state and every platform and
// thread draws the same sequence for the same seed.
#pragma once

#include <cstdint>

namespace zavol {

class DotRandom {
 public:
  static constexpr int kMax = 32767;

  explicit DotRandom(uint32_t seed) : state_(seed) {}

  // 0 .. 32767
  int Next() {
    state_ = state_ * kMul + kAdd;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

  // The state n draws after state: the rule's affine map s -> a*s + c applied n times, composed
  // by squaring in O(log n) steps, so that a row far down a frame starts where stepping through
  // every draw before it would have left the generator.
  static uint32_t Advance(uint32_t state, uint64_t draws) {
    uint32_t mul = 1, add = 0;                 // the map so far
    uint32_t stepMul = kMul, stepAdd = kAdd;   // the rule applied 2^k times
    for (; draws != 0; draws >>= 1) {
      // Powers of one map commute, so the order of composition does not matter.
      if ((draws & 1u) != 0) {
        mul *= stepMul;
        add = add * stepMul + stepAdd;
      }
      stepAdd = stepAdd * stepMul + stepAdd;
      stepMul *= stepMul;
    }
    return mul * state + add;
  }

  // A fraction in [0, 1): never reaches 1.
  double NextFraction() { return Next() / 32768.0; }

  // The next three draws, exactly those of three Next() calls in order. Each state is computed
  // from the current one directly, so the three need not wait on one another.
  void NextThree(int* first, int* second, int* third) {
    const uint32_t s1 = state_ * kMul + kAdd;
    const uint32_t s2 = state_ * kMul2 + kAdd2;
    const uint32_t s3 = state_ * kMul3 + kAdd3;
    state_ = s3;
    *first = static_cast<int>((s1 >> 16) & 0x7FFFu);
    *second = static_cast<int>((s2 >> 16) & 0x7FFFu);
    *third = static_cast<int>((s3 >> 16) & 0x7FFFu);
  }

 private:
  static constexpr uint32_t kMul = 214013u, kAdd = 2531011u;
  static constexpr uint32_t kMul2 = kMul * kMul, kAdd2 = kMul * kAdd + kAdd;
  static constexpr uint32_t kMul3 = kMul2 * kMul, kAdd3 = kMul * kAdd2 + kAdd;

  uint32_t state_;
};

}  // namespace zavol
