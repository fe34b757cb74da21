// Linking one row at the sub-pixel pitch: separations for a viewing direction and pitch, the
// hidden-surface test of symmetric linking, and the sets of sub-pixels that must share a colour
// with the member that gives each set its colour. Engine-internal; portable, no host types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/geometry.h"
#include "render/separation_table.h"
#include "render/view_options.h"

namespace zavol {

// The separation rule at oversample sub-pixels per pixel and for a viewing direction.
//
// Wall-eyed: the plug-in's rule with its real separation r taken to the sub-pixel (trunc(N r)),
// so that the background gets trunc(N x max) and a real separation at or below 0 one pixel.
//
// Cross-eyed: crossed eyes fuse a pair of separation s in front of the picture, at a vergence of
// 1 + s/E (E the eyes' separation; the image plane is at 1), where diverged eyes see it behind,
// at 1 - s/E. Relief is the difference of vergences, so the same relief needs s' = K - s: here
// K = near + max separation, which keeps every separation within the wall-eyed picture's range
// [near, max] (the background gets the near separation, the nearest point the background's) and
// the scene comes out of the picture toward the viewer as it does wall-eyed.
class SubPixelRule {
 public:
  SubPixelRule(const ViewingGeometry& geometry, const SeparationRule& rule, ViewDirection view,
               int oversample);

  // Separation of depth z in sub-pixels. Never negative except on the wall-eyed path at one
  // sub-pixel per pixel, which is the plug-in's rule exactly.
  int32_t operator()(float z) const;

  // The separations of width depths, one per pixel, in sub-pixels.
  void FillPixels(const float* depth, std::size_t width, int32_t* separations) const;

  int oversample() const { return oversample_; }

 private:
  int32_t Quantise(double realSeparation) const;

  const SeparationRule& rule_;
  SeparationTable table_;  // the wall-eyed rule at the pixel pitch, as the plug-in builds rows
  ViewDirection view_;
  int oversample_;
  double nearSeparation_, maxSeparation_;
  float maxSeparationFloat_;
  int32_t maxSubSeparation_;  // trunc(oversample x max separation)
};

// Which pixels of a row show a surface point that both eyes see: the line of sight from a point
// to either eye (half the eyes' separation to each side over one viewing distance) must pass in
// front of every surface point it crosses. Points are taken at their perceived distance, from
// each pixel's separation (pixelSeparations, in sub-pixels; oversample per pixel), for diverged
// or crossed eyes. eyeSeparationPx is the eyes' separation in pixels; when it is not a positive
// finite number every point counts as seen. scratch holds VisibilityScratchFloats(width) floats.
std::size_t VisibilityScratchFloats(std::size_t width);
void MarkVisible(const int32_t* pixelSeparations, int width, int oversample,
                 double eyeSeparationPx, ViewDirection view, float* scratch, uint8_t* visible);

// The sets of linked sub-pixels of one row (union-find; every member points straight at its
// set's root, the set's leftmost member, once Link* has run) and each set's anchor, the member
// whose place gives the set its colour. The anchor never changes which sub-pixels are linked.
class RowLinks {
 public:
  // Room for count sub-pixels; false when the memory cannot be had.
  bool Allocate(std::size_t count);

  // The plug-in's linking: sub-pixel x repeats x - s. With ghosting prevented a sub-pixel is
  // repeated at most once: of the sub-pixels that would repeat it, the one showing the nearer
  // surface keeps its link and the others are refused (each starts a set of its own), so that
  // what only one eye sees is the background beside an object, never the object. Two claims on
  // one source differ in separation, and the nearer surface has the narrower separation for
  // diverged eyes (the plug-in's rule: the first claim in scan order wins) and the wider one for
  // crossed eyes (the last claim wins). A separation of 0 makes x its own source: its set keeps
  // the colour x had in the row above (in the first row, with ghosting prevented, it starts a
  // set like any refused link). leftPartner, when not null, gets for every sub-pixel the
  // sub-pixel it was linked to on its left, or -1: the repeat a decoder should find there.
  void LinkClassic(const int32_t* separations, int count, bool preventGhosting, bool firstRow,
                   ViewDirection view, int32_t* leftPartner = nullptr);

  // Every point whose pixel both eyes see (visible, per pixel: sub-pixel m belongs to pixel
  // m / oversample) links the pair centred on it, left = m - s/2 and right = left + s, and
  // linked pairs that share a sub-pixel make one set. leftPartner, when not null, gets for
  // every right member the nearest left member paired with it, and -1 elsewhere.
  void LinkSymmetric(const int32_t* separations, int count, const uint8_t* visible,
                     int oversample, int32_t* leftPartner = nullptr);

  // Each set's anchor: its leftmost member (the plug-in's new dot), or the member nearest the
  // row's centre, so that a depth change recolours only what lies beyond it seen from the
  // centre (of two members equally near, the left one).
  void ChooseAnchors(Anchor anchor);

  int Root(int x) const { return parent_[x]; }
  int AnchorOf(int root) const { return anchor_[root]; }
  // The set rooted at root keeps the colour root had in the row above.
  bool KeepsRowAbove(int root) const { return rowAbove_[root] != 0; }

 private:
  struct FreeBlock {
    void operator()(void* block) const;
  };
  int Find(int x);
  void Union(int a, int b);

  std::unique_ptr<void, FreeBlock> block_;
  int32_t* parent_ = nullptr;
  int32_t* anchor_ = nullptr;
  uint8_t* unrepeated_ = nullptr;  // classic linking: a source not yet repeated
  uint8_t* rowAbove_ = nullptr;  // classic linking: a root that is its own source
  int32_t* claimant_ = nullptr;  // classic crossed-eyed linking: who keeps each source
  int count_ = 0;
};

// The working rows of LinkRow for a row of width pixels at oversample sub-pixels per pixel.
struct RowLinkBuffers {
  int32_t* pixelSeparations;  // width
  int32_t* subSeparations;    // width x oversample; may be pixelSeparations when oversample is 1
  float* visibilityScratch;   // VisibilityScratchFloats(width); symmetric linking only
  uint8_t* visible;           // width; symmetric linking only
  int32_t* leftPartner;       // width x oversample, or null when nobody asks
};

// One row's links as the view engine makes them: each pixel's separation spread over its
// sub-pixels, then classic links, or the hidden-surface test and symmetric pairs. The row
// builder and the quality meter both link through here, so the meter replays the very rule.
void LinkRow(const SubPixelRule& rule, Linking linking, ViewDirection view, const float* depth,
             int width, bool preventGhosting, bool firstRow, double eyeSeparationPx,
             const RowLinkBuffers& buffers, RowLinks& links);

}  // namespace zavol
