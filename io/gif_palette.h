// The GIF palette of a video of the engine's dots, apart from the encoder: it changes with how
// colours are chosen, never with FFmpeg. Depends on the standard library only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace zavol::io {

// 256 colours for the dots. A frame of at most 256 colours (a ramp along one channel, a small
// pattern) keeps them exactly; otherwise a median cut over the frame's colours, weighted by
// their counts. Each colour always maps to the same entry and nothing is dithered: the depth is
// carried by repeats of equal pixels, which dithering would break.
class GifPalette {
 public:
  void Build(const uint8_t* rgb, std::size_t pixels) {
    std::vector<uint32_t> all(pixels);
    for (std::size_t i = 0; i < pixels; ++i) all[i] = Pack(rgb + i * 3);
    std::sort(all.begin(), all.end());
    std::vector<Colour> colours;
    for (std::size_t i = 0; i < all.size();) {
      std::size_t j = i;
      while (j < all.size() && all[j] == all[i]) ++j;
      colours.push_back(Colour{all[i], static_cast<uint64_t>(j - i)});
      i = j;
    }
    if (colours.size() <= 256) {
      for (const Colour& c : colours) entries_.push_back(c.rgb);
    } else {
      MedianCut(colours);
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) exact_[entries_[i]] = static_cast<uint8_t>(i);
    // Colours outside the palette go to the entry nearest the middle of their 6-bit cell.
    nearest_.resize(std::size_t{1} << 18);
    for (uint32_t cell = 0; cell < nearest_.size(); ++cell) {
      const int r = static_cast<int>((cell >> 12) << 2 | 2), g = static_cast<int>(((cell >> 6) & 63) << 2 | 2),
                b = static_cast<int>((cell & 63) << 2 | 2);
      int best = 0;
      int64_t bestDistance = INT64_MAX;
      for (std::size_t i = 0; i < entries_.size(); ++i) {
        const int dr = r - static_cast<int>(entries_[i] >> 16), dg = g - static_cast<int>((entries_[i] >> 8) & 255),
                  db = b - static_cast<int>(entries_[i] & 255);
        const int64_t distance = int64_t{dr} * dr + int64_t{dg} * dg + int64_t{db} * db;
        if (distance < bestDistance) bestDistance = distance, best = static_cast<int>(i);
      }
      nearest_[cell] = static_cast<uint8_t>(best);
    }
  }

  bool Built() const { return !entries_.empty(); }

  // Indices into indices (rows stride bytes apart), the 256 entries of the palette as
  // 0xAARRGGBB into palette. A colour the first frame
  // lacked takes a free entry while there is one, so that a video of at most 256 colours keeps
  // them all; an entry, once given, never changes.
  void Map(const uint8_t* rgb, int width, int height, uint8_t* indices, std::ptrdiff_t stride,
           uint32_t* palette) {
    for (int y = 0; y < height; ++y) {
      uint8_t* out = indices + static_cast<std::ptrdiff_t>(y) * stride;
      const uint8_t* in = rgb + static_cast<std::size_t>(y) * width * 3;
      uint32_t last = UINT32_MAX;
      uint8_t lastIndex = 0;
      for (int x = 0; x < width; ++x, in += 3) {
        const uint32_t colour = Pack(in);
        if (colour != last) {
          const auto hit = exact_.find(colour);
          if (hit != exact_.end()) {
            lastIndex = hit->second;
          } else if (entries_.size() < 256) {
            lastIndex = static_cast<uint8_t>(entries_.size());
            entries_.push_back(colour);
            exact_[colour] = lastIndex;
          } else {
            lastIndex = nearest_[(in[0] >> 2) << 12 | (in[1] >> 2) << 6 | in[2] >> 2];
          }
          last = colour;
        }
        out[x] = lastIndex;
      }
    }
    for (std::size_t i = 0; i < 256; ++i) {
      palette[i] = i < entries_.size() ? 0xFF000000u | entries_[i] : 0xFF000000u;
    }
  }

 private:
  struct Colour {
    uint32_t rgb;  // 0xRRGGBB
    uint64_t count;
  };

  static uint32_t Pack(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }
  static int Channel(uint32_t rgb, int axis) { return static_cast<int>((rgb >> (16 - 8 * axis)) & 255); }

  // Splits the box with the widest channel range at its weighted median until there are 256.
  void MedianCut(std::vector<Colour>& colours) {
    struct Box {
      std::size_t begin, end;
      int axis, range;
    };
    auto measure = [&colours](Box& box) {
      int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
      for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int a = 0; a < 3; ++a) {
          const int v = Channel(colours[i].rgb, a);
          low[a] = std::min(low[a], v), high[a] = std::max(high[a], v);
        }
      }
      box.axis = 0;
      for (int a = 1; a < 3; ++a) {
        if (high[a] - low[a] > high[box.axis] - low[box.axis]) box.axis = a;
      }
      box.range = high[box.axis] - low[box.axis];
    };
    std::vector<Box> boxes{Box{0, colours.size(), 0, 0}};
    measure(boxes[0]);
    while (boxes.size() < 256) {
      auto widest = std::max_element(boxes.begin(), boxes.end(),
                                     [](const Box& a, const Box& b) { return a.range < b.range; });
      if (widest->range == 0) break;
      Box box = *widest;
      const int axis = box.axis;
      std::sort(colours.begin() + static_cast<std::ptrdiff_t>(box.begin),
                colours.begin() + static_cast<std::ptrdiff_t>(box.end),
                [axis](const Colour& a, const Colour& b) { return Channel(a.rgb, axis) < Channel(b.rgb, axis); });
      uint64_t total = 0, below = 0;
      for (std::size_t i = box.begin; i < box.end; ++i) total += colours[i].count;
      std::size_t cut = box.begin + 1;
      for (std::size_t i = box.begin; i + 1 < box.end; ++i) {
        below += colours[i].count;
        cut = i + 1;
        if (below * 2 >= total) break;
      }
      // Never between two colours of the same channel value: the halves would overlap.
      while (cut < box.end && Channel(colours[cut].rgb, axis) == Channel(colours[cut - 1].rgb, axis)) ++cut;
      if (cut == box.end) {
        cut = box.begin + 1;
        while (Channel(colours[cut].rgb, axis) == Channel(colours[cut - 1].rgb, axis)) ++cut;
      }
      Box first{box.begin, cut, 0, 0}, second{cut, box.end, 0, 0};
      measure(first);
      measure(second);
      *widest = first;
      boxes.push_back(second);
    }
    for (const Box& box : boxes) {
      uint64_t sum[3] = {0, 0, 0}, count = 0;
      for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int a = 0; a < 3; ++a) sum[a] += Channel(colours[i].rgb, a) * colours[i].count;
        count += colours[i].count;
      }
      uint32_t entry = 0;
      for (int a = 0; a < 3; ++a) entry = entry << 8 | static_cast<uint32_t>((sum[a] + count / 2) / count);
      entries_.push_back(entry);
    }
  }

  std::vector<uint32_t> entries_;
  std::unordered_map<uint32_t, uint8_t> exact_;
  std::vector<uint8_t> nearest_;
};

}  // namespace zavol::io
