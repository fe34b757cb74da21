// Frame ranges, numbered file names and which of them exist, sizes.
#include "cli/frames.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace zavol::cli {
namespace {

// A decimal number of at most 9 digits.
bool ParseCount(const std::string& text, int* value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::atoi(text.c_str());
  return true;
}

// The frame whose name in pattern is name, if it lies in range: the digits where the pattern's
// first run of '#' begins, read with every length that could be the frame number, and taken
// when the pattern gives back exactly that name.
bool MatchFrame(const std::string& pattern, const std::string& name, const FrameRange& range,
                int* frame) {
  const std::size_t at = pattern.find('#');
  if (at == std::string::npos || name.compare(0, at, pattern, 0, at) != 0) return false;
  int value = 0;
  for (std::size_t end = at; end < name.size() && end - at < 9 &&
                             std::isdigit(static_cast<unsigned char>(name[end]));
       ++end) {
    value = value * 10 + (name[end] - '0');
    if (value >= range.first && value <= range.last && ExpandFrame(pattern, value) == name) {
      *frame = value;
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<int> ExistingFrames(const std::string& pattern, const FrameRange& range) {
  std::vector<int> frames;
  const std::size_t slash = pattern.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
  if (folder.find('#') != std::string::npos) {
    for (int frame = range.first; frame <= range.last; ++frame) {
      struct stat info;
      if (stat(ExpandFrame(pattern, frame).c_str(), &info) == 0) frames.push_back(frame);
    }
    return frames;
  }
  const std::string name = pattern.substr(folder.size());
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder.empty() ? "." : folder, error), end;
       !error && entry != end; entry.increment(error)) {
    int frame = 0;
    if (MatchFrame(name, entry->path().filename().string(), range, &frame)) frames.push_back(frame);
  }
  std::sort(frames.begin(), frames.end());
  return frames;
}

std::vector<FrameRange> MissingRuns(const std::vector<int>& existing, const FrameRange& range) {
  std::vector<FrameRange> runs;
  int next = range.first;  // the first frame not yet accounted for
  for (int frame : existing) {
    if (frame > next) runs.push_back(FrameRange{next, frame - 1});
    next = frame + 1;
  }
  if (next <= range.last) runs.push_back(FrameRange{next, range.last});
  return runs;
}

bool ParseFrameRange(const std::string& text, FrameRange* range) {
  const std::size_t dash = text.find('-');
  FrameRange parsed;
  if (dash == std::string::npos) {
    if (!ParseCount(text, &parsed.first)) return false;
    parsed.last = parsed.first;
  } else if (!ParseCount(text.substr(0, dash), &parsed.first) ||
             !ParseCount(text.substr(dash + 1), &parsed.last) || parsed.last < parsed.first) {
    return false;
  }
  *range = parsed;
  return true;
}

bool HasFrameField(const std::string& pattern) { return pattern.find('#') != std::string::npos; }

std::string ExpandFrame(const std::string& pattern, int frame) {
  const std::string number = std::to_string(frame);
  std::string result;
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern[i] != '#') {
      result += pattern[i++];
      continue;
    }
    std::size_t run = 0;
    while (i + run < pattern.size() && pattern[i + run] == '#') ++run;
    if (number.size() < run) result.append(run - number.size(), '0');
    result += number;
    i += run;
  }
  return result;
}

uint32_t FrameSeed(uint32_t runSeed, int frame, bool stableDots) {
  return stableDots ? runSeed : runSeed + static_cast<uint32_t>(frame);
}

bool ParseSize(const std::string& text, int* width, int* height) {
  const std::size_t x = text.find_first_of("xX");
  int w = 0, h = 0;
  if (x == std::string::npos || !ParseCount(text.substr(0, x), &w) ||
      !ParseCount(text.substr(x + 1), &h) || w < 1 || h < 1 || w > 65535 || h > 65535) {
    return false;
  }
  *width = w;
  *height = h;
  return true;
}

}  // namespace zavol::cli
