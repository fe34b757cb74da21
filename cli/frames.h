// Frame sequences: "A-B" ranges and file names whose runs of '#' are the zero-padded frame
// number. Depends on the standard library only.
#pragma once

#include <string>

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

// "WxH" with both sides 1..65535.
bool ParseSize(const std::string& text, int* width, int* height);

}  // namespace zavol::cli
