// New dots for the viewing options. A hashed dot is the plug-in's ramp fed from a generator
// seeded with the dot's own seed, so both ramps keep their formulas (three 15-bit draws per dot).
#include "render/stable_dots.h"

#include <cstdlib>

namespace zavol {

uint32_t StableDotSeed(uint32_t seed, int cellX, int cellY) {
  uint64_t z = (uint64_t{seed} << 32) | (static_cast<uint64_t>(cellY & 0xFFFF) << 16) |
               static_cast<uint64_t>(cellX & 0xFFFF);
  // The finaliser of the SplitMix64 generator: every input bit reaches every output bit.
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<uint32_t>(z >> 32);
}

void DotPainter::FreeBlock::operator()(void* block) const { std::free(block); }

DotPainter::DotPainter(const StereogramSettings& settings, DotSource source, int dotSize,
                       int width)
    : colour1_(settings.Color1),
      colour2_(settings.Color2),
      hsv_(settings.RampMode != kRampRgb),
      source_(source),
      dotSize_(dotSize),
      cells_(width > 0 ? (width - 1) / dotSize + 1 : 1) {}

void DotPainter::Start(uint32_t seed, const DotSources& sources) {
  seed_ = seed;
  colours_ = sources.colours;
  pattern_ = sources.pattern;
  rgb_.emplace(colour1_, colour2_, seed);
  if (hsv_ && pattern_ == nullptr) hsvDots_.emplace(colour1_, colour2_, seed, *colours_);
}

bool DotPainter::Allocate() {
  const std::size_t cells = static_cast<std::size_t>(cells_);
  block_.reset(std::calloc(cells, sizeof(Pixel64) + sizeof(uint32_t)));
  if (!block_) return false;
  cellColours_ = static_cast<Pixel64*>(block_.get());
  cellStamps_ = reinterpret_cast<uint32_t*>(cellColours_ + cells);
  return true;
}

void DotPainter::StartRow(int y) {
  y_ = y;
  band_ = static_cast<uint32_t>(y / dotSize_) + 1u;
}

void DotPainter::Paint(int x, Pixel64& slot) {
  const int cellX = x / dotSize_, cellY = y_ / dotSize_;
  if (pattern_ != nullptr) {
    pattern_->Read(cellX * dotSize_, cellY * dotSize_, &slot);
    return;
  }
  if (source_ == DotSource::kStable) {
    const uint32_t dotSeed = StableDotSeed(seed_, cellX, cellY);
    if (hsv_) {
      HsvRampDots(colour1_, colour2_, dotSeed, *colours_).New(x, slot);
    } else {
      RgbRampDots(colour1_, colour2_, dotSeed).New(x, slot);
    }
    return;
  }
  // The stream draws once per dot: later pixels of the dot in this band take the same colour.
  if (cellStamps_[cellX] == band_) {
    const Pixel64& known = cellColours_[cellX];
    slot.r = known.r;
    slot.g = known.g;
    slot.b = known.b;
    return;
  }
  if (hsv_) {
    hsvDots_->New(x, slot);
  } else {
    rgb_->New(x, slot);
  }
  cellColours_[cellX] = slot;
  cellStamps_[cellX] = band_;
}

}  // namespace zavol
