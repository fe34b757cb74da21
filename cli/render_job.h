// One stereogram frame from a depth map to an image file: the frame host that adapts the
// engine to the tool (seed, stop flag, rows to the writer, pattern, debug line) and the job
// that renders and writes. Depends on zavol_io and the engine's interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "io/formats.h"
#include "render/frame.h"

namespace zavol::cli {

// The engine's surroundings for one frame. Rows go straight to the writer as the engine
// finishes them, unless the guide will rewrite rows after the last one: then the frame is
// kept whole and written at the end.
class CliFrameHost final : public FrameHost {
 public:
  struct Setup {
    const io::DepthMap* depth = nullptr;
    const io::Image64* pattern = nullptr;  // null: the ramps give the dots
    bool tilePattern = false;              // repeat the pattern beyond its edges
    int screenWidth = 1920, screenHeight = 1080;
    uint32_t seed = 0;
    bool verbose = false;
    const std::atomic<bool>* stop = nullptr;
    io::RowWriter* writer = nullptr;
    bool keepWholeFrame = false;
    std::string label;  // names the frame in the debug line
  };
  explicit CliFrameHost(const Setup& setup);

  const float* DepthChannel() override;
  int Height() override { return setup_.depth->height; }
  int Width() override { return setup_.depth->width; }
  void ScreenSize(int* width, int* height) override;
  uint32_t CalendarTime() override { return setup_.seed; }
  bool ProgressAndAbortQuery(int y, int lastRow) override;
  bool HasPattern() override { return setup_.pattern != nullptr; }
  void ReadPatternPixel(int x, int y, Pixel64* slot) override;
  void PutPixels(int x, int y, int count, const Pixel64* pixels) override;
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override;
  uint32_t HsvToRgb(int h, int s, int v) override;
  void DebugLine(double farthestDepth) override;

  // After the engine returned 1: the kept frame to the writer, and any write error. Throws
  // io::IoError.
  void FinishRows();
  // A write error (or rows out of order) that stopped the frame. Throws io::IoError.
  void ThrowIfFailed() const;

 private:
  Setup setup_;
  int nextRow_ = 0;
  std::string failure_;  // a write error, or rows out of order; stops the frame
  io::LargeVector<Pixel64> frame_;
};

struct FrameJob {
  std::string input, output;
  io::ImageFormat format = io::ImageFormat::kPng;
  io::DepthReadOptions read;
  io::WriteOptions write;
  StereogramSettings settings{};
  const io::Image64* pattern = nullptr;
  bool tilePattern = false;
  int screenWidth = 1920, screenHeight = 1080;
  uint32_t seed = 0;
  bool verbose = false;
};

enum class FrameResult { kWritten, kStopped };

// Renders and writes one frame of a depth map in memory (job.input only names it in messages);
// the output appears only when complete, and not at all when stop is set before it is put in
// place. Throws io::IoError on a failed write.
FrameResult RenderDepthToFile(const FrameJob& job, const io::DepthMap& depth,
                              const std::atomic<bool>& stop);

}  // namespace zavol::cli
