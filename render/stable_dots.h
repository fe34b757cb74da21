// New dots for the viewing options: the colour a set of linked pixels gets from its anchor, from
// the frame's random stream or from a hash of the dot's place and the seed, in dots of N x N
// pixels. Engine-internal; the same ramps and pattern reads as the plug-in's dots.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "render/dots.h"
#include "render/frame.h"
#include "render/row_loop.h"
#include "render/view_options.h"

namespace zavol {

// The seed of the dot in cell (cellX, cellY) of a frame seeded with seed: a 64-bit mix of all
// three, so neighbouring cells and consecutive seeds share nothing. Cells are below 65536.
uint32_t StableDotSeed(uint32_t seed, int cellX, int cellY);

class DotPainter {
 public:
  // hsv as the frame's settings say. width is the frame's width in pixels.
  DotPainter(const StereogramSettings& settings, DotSource source, int dotSize, int width);

  // The stream's colours of the current band of dotSize rows; false without memory.
  bool Allocate();

  // Before the first row: the seed the plug-in's stream starts from and the dots' sources.
  void Start(uint32_t seed, const DotSources& sources);

  void StartRow(int y);

  // The dot of pixel x of the current row into slot. slot comes in with the colour the anchor
  // had in the row above, which a pattern pixel outside the pattern leaves as it is.
  void Paint(int x, Pixel64& slot);

 private:
  struct FreeBlock {
    void operator()(void* block) const;
  };

  uint32_t colour1_, colour2_;
  const ColourConversions* colours_ = nullptr;
  PatternReader* pattern_ = nullptr;
  uint32_t seed_ = 0;
  bool hsv_;
  DotSource source_;
  int dotSize_, cells_;
  int y_ = 0;
  uint32_t band_ = 0;  // the current band's stamp: 1 + its index
  std::optional<RgbRampDots> rgb_;
  std::optional<HsvRampDots> hsvDots_;
  // Stream dots of the current band, valid where the stamp is the band's.
  std::unique_ptr<void, FreeBlock> block_;
  Pixel64* cellColours_ = nullptr;
  uint32_t* cellStamps_ = nullptr;
};

}  // namespace zavol
