// The tests' and benchmarks' frame hosts (see recording_host.h).
#include "tests/recording_host.h"

#include <algorithm>
#include <cstring>

#include "io/netpbm.h"
#include "render/hsv.h"

namespace zavoltest {

FlatHost::FlatHost(int frameWidth, int frameHeight, std::vector<float> frameDepth, Pixel64 initial)
    : width(frameWidth), height(frameHeight), depth(std::move(frameDepth)),
      canvas(static_cast<std::size_t>(std::max(frameWidth, 0)) * std::max(frameHeight, 0), initial) {}

const float* FlatHost::DepthChannel() {
  if (nullDepth) return nullptr;
  // A frame without pixels still has a channel, just an empty one.
  return depth.empty() ? &emptyDepth_ : depth.data();
}

void FlatHost::ScreenSize(int* w, int* h) {
  *w = screenWidth;
  *h = screenHeight;
}

bool FlatHost::ProgressAndAbortQuery(int y, int) {
  ++progressReports;
  return abortAtRow >= 0 && y >= abortAtRow;
}

void FlatHost::ReadPatternPixel(int x, int y, Pixel64* slot) {
  if (x < 0 || y < 0 || x >= patternWidth || y >= patternHeight) return;  // refused: slot kept
  *slot = pattern[static_cast<std::size_t>(y) * patternWidth + x];
}

void FlatHost::PutPixels(int x, int y, int count, const Pixel64* pixels) {
  if (count <= 0) return;
  // The part of the run inside the image, in 64 bits: x + count may pass INT_MAX.
  const long long first = std::max<long long>(x, 0);
  const long long end = std::min<long long>(static_cast<long long>(x) + count, width);
  const long long inside = y >= 0 && y < height && end > first ? end - first : 0;
  pixelsOutsideImage += count - inside;
  if (inside > 0) {
    std::memcpy(&canvas[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(first)],
                pixels + (first - x), static_cast<std::size_t>(inside) * sizeof(Pixel64));
  }
}

void FlatHost::RgbToHsv(uint32_t rgb, int* h, int* s, int* v) { zavol::RgbToHsv255(rgb, h, s, v); }

uint32_t FlatHost::HsvToRgb(int h, int s, int v) { return zavol::HsvToRgb255(h, s, v); }

void FlatHost::DebugLine(double farthestDepth) { debugLines.push_back(farthestDepth); }

const float* RecordingHost::DepthChannel() {
  calls.push_back("DepthChannel");
  return FlatHost::DepthChannel();
}

int RecordingHost::Height() {
  calls.push_back("Height");
  return FlatHost::Height();
}

int RecordingHost::Width() {
  calls.push_back("Width");
  return FlatHost::Width();
}

void RecordingHost::ScreenSize(int* w, int* h) {
  calls.push_back("ScreenSize");
  FlatHost::ScreenSize(w, h);
}

uint32_t RecordingHost::CalendarTime() {
  calls.push_back("CalendarTime");
  return FlatHost::CalendarTime();
}

bool RecordingHost::ProgressAndAbortQuery(int y, int lastRow) {
  calls.push_back("Progress " + std::to_string(y));
  progress.emplace_back(y, lastRow);
  return FlatHost::ProgressAndAbortQuery(y, lastRow);
}

bool RecordingHost::HasPattern() {
  calls.push_back("HasPattern");
  return FlatHost::HasPattern();
}

void RecordingHost::ReadPatternPixel(int x, int y, Pixel64* slot) {
  ++patternReads;
  if (recordPerPixelCalls) calls.push_back("ReadPattern " + std::to_string(x) + "," + std::to_string(y));
  FlatHost::ReadPatternPixel(x, y, slot);
}

void RecordingHost::PutPixels(int x, int y, int count, const Pixel64* pixels) {
  calls.push_back("PutPixels " + std::to_string(x) + "," + std::to_string(y) + "," +
                  std::to_string(count));
  Run run{x, y, count, {}};
  // Every pixel of the run is read, so a run longer than its buffer shows under a sanitizer.
  if (count > 0) run.pixels.assign(pixels, pixels + count);
  runs.push_back(std::move(run));
  FlatHost::PutPixels(x, y, count, pixels);
}

void RecordingHost::RgbToHsv(uint32_t rgb, int* h, int* s, int* v) {
  ++rgbToHsvCalls;
  if (recordPerPixelCalls) calls.push_back("RgbToHsv");
  FlatHost::RgbToHsv(rgb, h, s, v);
}

uint32_t RecordingHost::HsvToRgb(int h, int s, int v) {
  ++hsvToRgbCalls;
  if (recordPerPixelCalls) calls.push_back("HsvToRgb");
  return FlatHost::HsvToRgb(h, s, v);
}

void RecordingHost::DebugLine(double farthestDepth) {
  calls.push_back("DebugLine");
  FlatHost::DebugLine(farthestDepth);
}

std::vector<uint8_t> FramePamBytes(int width, int height, const std::vector<Pixel64>& pixels) {
  std::vector<uint16_t> samples;
  samples.reserve(pixels.size() * 4);
  for (const Pixel64& p : pixels) samples.insert(samples.end(), {p.r, p.g, p.b, p.a});
  return zavol::netpbm::EncodeRgba16Pam(width, height, samples);
}

}  // namespace zavoltest
