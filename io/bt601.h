// BT.601 in limited range from 8-bit RGB, in integers: Y 16..235 from one pixel; Cb and Cr
// 16..240 from the sums of n pixels (1 for 4:4:4, 4 for a 2x2 block of 4:2:0), rounded. Shared
// by the encoded videos (4:2:0) and the y4m frame stream (4:4:4), which needs no FFmpeg.
#pragma once

#include <cstdint>

namespace zavol::io {

inline uint8_t Luma(int r, int g, int b) {
  return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
template <int kShift>  // log2 of 256 times the pixels summed
inline uint8_t BlueDifference(int r, int g, int b) {
  return static_cast<uint8_t>((-38 * r - 74 * g + 112 * b + (128 << kShift) + (1 << (kShift - 1))) >> kShift);
}
template <int kShift>
inline uint8_t RedDifference(int r, int g, int b) {
  return static_cast<uint8_t>((112 * r - 94 * g - 18 * b + (128 << kShift) + (1 << (kShift - 1))) >> kShift);
}

}  // namespace zavol::io
