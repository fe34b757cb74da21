// Rows with the viewing options. Each row: separations at the sub-pixel pitch, the pairs that
// must match (classic or symmetric), the sets they form, one colour per set from its anchor (in
// the anchors' order, so the stream is drawn left to right as the plug-in draws it), then the
// average of each pixel's sub-pixels.
#include "render/view_engine.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace zavol {
namespace {

constexpr uint16_t kOpaque = 0xFFFF;

}  // namespace

void ViewRowBuilder::FreeBlock::operator()(void* block) const { std::free(block); }

ViewRowBuilder::ViewRowBuilder(const StereogramSettings& settings, const FramePlan& plan,
                               const ViewOptions& options)
    : plan_(plan),
      rule_(plan.geometry, plan.rule, options.view,
            std::clamp(options.oversample, 1, kMaxOversample)),
      options_(options),
      width_(plan.width()),
      columns_(std::max(plan.width(), 1)),
      oversample_(std::clamp(options.oversample, 1, kMaxOversample)),
      subWidth_(0),
      preventGhosting_(settings.PreventGhosting != 0),
      eyeSeparationPx_(kEyeSeparationInches * plan.geometry.pixelsPerInch),
      painter_(settings, options.dots, std::clamp(options.dotSize, 1, kMaxDotSize),
               plan.width()) {}

void ViewRowBuilder::Start(uint32_t seed, const DotSources& sources) {
  painter_.Start(seed, sources);
}

bool ViewRowBuilder::Allocate() {
  if (!options_.Valid()) return false;
  const std::size_t columns = static_cast<std::size_t>(columns_);
  const std::size_t oversample = static_cast<std::size_t>(oversample_);
  if (columns > static_cast<std::size_t>(INT_MAX) / oversample) return false;
  const std::size_t sub = columns * oversample;
  const std::size_t scratch =
      options_.linking == Linking::kSymmetric ? VisibilityScratchFloats(columns) : 0;
  // Pixels first (8-byte alignment), then the 4-byte arrays, then bytes.
  const std::size_t pixels = 2 * sub + columns;
  const std::size_t words = columns + (oversample > 1 ? sub : 0) + scratch;
  if (pixels > SIZE_MAX / 64 || words > SIZE_MAX / 64) return false;
  block_.reset(std::calloc(1, pixels * sizeof(Pixel64) + words * 4 + columns));
  if (!block_ || !links_.Allocate(sub) || !painter_.Allocate()) return false;
  current_ = static_cast<Pixel64*>(block_.get());
  above_ = current_ + sub;
  row_ = above_ + sub;
  pixelSeparations_ = reinterpret_cast<int32_t*>(row_ + columns);
  subSeparations_ = oversample > 1 ? pixelSeparations_ + columns : pixelSeparations_;
  visibilityScratch_ = reinterpret_cast<float*>(pixelSeparations_ + columns +
                                                (oversample > 1 ? sub : 0));
  visible_ = reinterpret_cast<uint8_t*>(visibilityScratch_ + scratch);
  subWidth_ = static_cast<int>(width_ * oversample);
  return true;
}

void ViewRowBuilder::Build(int y) {
  LinkRow(rule_, options_.linking, options_.view, plan_.DepthRow(y), width_, preventGhosting_, y == 0,
          eyeSeparationPx_,
          RowLinkBuffers{pixelSeparations_, subSeparations_, visibilityScratch_, visible_, nullptr},
          links_);
  links_.ChooseAnchors(options_.ResolvedAnchor());
  Colour(y);
  AverageDown();
  std::swap(current_, above_);
}

void ViewRowBuilder::Colour(int y) {
  painter_.StartRow(y);
  // Anchors in ascending order, so stream dots are drawn left to right; each set's colour goes
  // to its root, the set's leftmost member, which the second pass reaches before the others.
  for (int x = 0; x < subWidth_; ++x) {
    const int root = links_.Root(x);
    if (links_.AnchorOf(root) != x) continue;
    Pixel64 colour;
    if (links_.KeepsRowAbove(root)) {
      colour = above_[root];
    } else {
      colour = above_[x];
      painter_.Paint(x / oversample_, colour);
    }
    colour.a = kOpaque;
    current_[root] = colour;
  }
  for (int x = 0; x < subWidth_; ++x) current_[x] = current_[links_.Root(x)];
}

void ViewRowBuilder::AverageDown() {
  if (oversample_ == 1) {
    std::memcpy(row_, current_, static_cast<std::size_t>(width_) * sizeof(Pixel64));
    return;
  }
  const uint32_t half = static_cast<uint32_t>(oversample_) / 2;
  for (int x = 0; x < width_; ++x) {
    const Pixel64* sub = current_ + static_cast<std::size_t>(x) * oversample_;
    uint32_t r = half, g = half, b = half;
    for (int k = 0; k < oversample_; ++k) {
      r += sub[k].r;
      g += sub[k].g;
      b += sub[k].b;
    }
    const uint32_t n = static_cast<uint32_t>(oversample_);
    row_[x] = Pixel64{static_cast<uint16_t>(r / n), static_cast<uint16_t>(g / n),
                      static_cast<uint16_t>(b / n), kOpaque};
  }
}

}  // namespace zavol
