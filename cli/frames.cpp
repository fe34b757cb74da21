// Frame ranges, numbered file names, sizes.
#include "cli/frames.h"

#include <cstdlib>

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

}  // namespace

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
