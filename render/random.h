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
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

  // A fraction in [0, 1): never reaches 1.
  double NextFraction() { return Next() / 32768.0; }

 private:
  uint32_t state_;
};

}  // namespace zavol
