// Frame sequences: "A-B" ranges and file names whose runs of '#' are the zero-padded frame
// number. Depends on the standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zavol::cli {

struct FrameRange {
  int first = 0;
  int last = 0;
  int Count() const { return last - first + 1; }
};

// "A-B" with 0 <= A <= B, or "A" alone; false otherwise.
bool ParseFrameRange(const std::string& text, FrameRange* range);

bool HasFrameField(const std::string& pattern);

// Every run of '#' replaced by frame, zero-padded to the run's length (more digits when the
// number needs them).
std::string ExpandFrame(const std::string& pattern, int frame);

// The frames of range whose file exists, in order. When the folder part of pattern has no '#',
// the folder is listed once and its names matched (so a range of a million frames over ten
// files is quick); otherwise each name is looked up.
std::vector<int> ExistingFrames(const std::string& pattern, const FrameRange& range);

// The runs of consecutive frames of range that are not in existing (which is sorted).
std::vector<FrameRange> MissingRuns(const std::vector<int>& existing, const FrameRange& range);

// The seed of frame `frame` in a run seeded with runSeed (--seed, or the start time once per
// run), for image sequences and videos alike: frames rendered within the same second still get
// seeds of their own, runSeed + frame, except with stable dots, whose every frame takes runSeed:
// a seed that changed from frame to frame would change every dot.
uint32_t FrameSeed(uint32_t runSeed, int frame, bool stableDots);

// "WxH" with both sides 1..65535.
bool ParseSize(const std::string& text, int* width, int* height);

}  // namespace zavol::cli
