// Viewing options beyond the plug-in's record: where new dots get their colours, how rows are
// linked, the viewing direction and the sub-pixel pitch. Portable; constants and a plain struct.
// Every default keeps the plug-in's pixels.
#pragma once

#include <cstdint>

namespace zavol {

enum class DotSource : int32_t {
  kStream = 0,  // the frame's random stream, one draw after another (the plug-in's dots)
  kStable = 1,  // a hash of the dot's place and the seed: dots hold still where the depth does
};

// Which member of a set of linked pixels gives the set its colour.
enum class Anchor : int32_t {
  kAuto = 0,    // left for stream dots, centre for stable dots
  kLeft = 1,    // the leftmost: a depth change recolours every linked pixel to its right
  kCentre = 2,  // the one nearest the picture's centre: a change recolours only its outer side
};

enum class ViewDirection : int32_t {
  kWall = 0,   // eyes diverged, looking through the picture (the plug-in's)
  kCross = 1,  // eyes crossed in front of the picture
};

enum class Linking : int32_t {
  kClassic = 0,    // each pixel repeats the pixel one separation to its left (the plug-in's)
  kSymmetric = 1,  // pairs centred on each point, hidden surfaces left unlinked
};

constexpr int kMaxOversample = 8;
constexpr int kMaxDotSize = 64;

struct ViewOptions {
  DotSource dots = DotSource::kStream;
  int dotSize = 1;  // dots of dotSize x dotSize pixels, 1..kMaxDotSize
  Anchor anchor = Anchor::kAuto;
  ViewDirection view = ViewDirection::kWall;
  int oversample = 1;  // rows linked at this many sub-pixels per pixel, 1..kMaxOversample
  Linking linking = Linking::kClassic;

  bool IsDefault() const {
    return dots == DotSource::kStream && dotSize == 1 && ResolvedAnchor() == Anchor::kLeft &&
           view == ViewDirection::kWall && oversample == 1 && linking == Linking::kClassic;
  }
  bool Valid() const {
    return (dots == DotSource::kStream || dots == DotSource::kStable) && dotSize >= 1 &&
           dotSize <= kMaxDotSize &&
           (anchor == Anchor::kAuto || anchor == Anchor::kLeft || anchor == Anchor::kCentre) &&
           (view == ViewDirection::kWall || view == ViewDirection::kCross) && oversample >= 1 &&
           oversample <= kMaxOversample &&
           (linking == Linking::kClassic || linking == Linking::kSymmetric);
  }
  Anchor ResolvedAnchor() const {
    if (anchor != Anchor::kAuto) return anchor;
    return dots == DotSource::kStable ? Anchor::kCentre : Anchor::kLeft;
  }
};

}  // namespace zavol
