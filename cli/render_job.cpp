// The frame host and the render-and-write job.
#include "cli/render_job.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "io/error.h"
#include "render/hsv.h"

namespace zavol::cli {

CliFrameHost::CliFrameHost(const Setup& setup) : setup_(setup) {
  if (setup_.keepWholeFrame) {
    frame_.resize(static_cast<std::size_t>(setup_.depth->width) * setup_.depth->height);
    std::fill(frame_.begin(), frame_.end(), Pixel64{0, 0, 0, 0});
  }
}

const float* CliFrameHost::DepthChannel() { return setup_.depth->depth.data(); }

void CliFrameHost::ScreenSize(int* width, int* height) {
  *width = setup_.screenWidth;
  *height = setup_.screenHeight;
}

bool CliFrameHost::ProgressAndAbortQuery(int, int) {
  return !failure_.empty() || (setup_.stop != nullptr && setup_.stop->load(std::memory_order_relaxed));
}

void CliFrameHost::ReadPatternPixel(int x, int y, Pixel64* slot) {
  const io::Image64& pattern = *setup_.pattern;
  if (setup_.tilePattern && x >= 0 && y >= 0 && pattern.width > 0 && pattern.height > 0) {
    x %= pattern.width;
    y %= pattern.height;
  }
  // Not scaled, nor tiled unless asked: outside the pattern the slot keeps its colour.
  if (x < 0 || y < 0 || x >= pattern.width || y >= pattern.height) return;
  *slot = pattern.pixels[static_cast<std::size_t>(y) * pattern.width + x];
}

void CliFrameHost::PutPixels(int x, int y, int count, const Pixel64* pixels) {
  const int width = setup_.depth->width;
  if (y < 0 || y >= setup_.depth->height || count <= 0) return;
  // Clip the run [x, x + count) to the row, in 64 bits so no sum overflows.
  const int64_t begin = std::max<int64_t>(x, 0);
  const int64_t end = std::min<int64_t>(int64_t{x} + count, width);
  if (begin >= end) return;
  if (setup_.keepWholeFrame) {
    std::memcpy(&frame_[static_cast<std::size_t>(y) * width + begin], pixels + (begin - x),
                static_cast<std::size_t>(end - begin) * sizeof(Pixel64));
    return;
  }
  if (!failure_.empty()) return;
  if (begin != 0 || end != width || y != nextRow_) {
    failure_ = "the engine wrote rows out of order";
    return;
  }
  try {
    setup_.writer->WriteRow(pixels - x);
  } catch (const io::IoError& e) {
    failure_ = e.Reason();
  }
  ++nextRow_;
}

void CliFrameHost::RgbToHsv(uint32_t rgb, int* h, int* s, int* v) { RgbToHsv255(rgb, h, s, v); }

uint32_t CliFrameHost::HsvToRgb(int h, int s, int v) { return HsvToRgb255(h, s, v); }

void CliFrameHost::DebugLine(double farthestDepth) {
  if (setup_.verbose) std::fprintf(stderr, "zavol: %s: minz=%f\n", setup_.label.c_str(), farthestDepth);
}

void CliFrameHost::ThrowIfFailed() const {
  if (!failure_.empty()) throw io::IoError(setup_.label, failure_);
}

void CliFrameHost::FinishRows() {
  ThrowIfFailed();
  const int width = setup_.depth->width, height = setup_.depth->height;
  if (setup_.keepWholeFrame) {
    for (int y = 0; y < height; ++y) setup_.writer->WriteRow(&frame_[static_cast<std::size_t>(y) * width]);
  } else if (nextRow_ != height) {
    throw io::IoError(setup_.label, "the engine stopped before the last row");
  }
}

FrameResult RenderDepthToFile(const FrameJob& job, const io::DepthMap& depth,
                              const std::atomic<bool>& stop) {
  io::OutputFile out(job.output);
  // Declared after the file: the writer (and its threads) ends before the file is abandoned.
  std::unique_ptr<io::RowWriter> writer =
      io::MakeRowWriter(job.format, out.Stream(), job.output, depth.width, depth.height, job.write);
  CliFrameHost::Setup setup;
  setup.depth = &depth;
  setup.pattern = job.pattern;
  setup.tilePattern = job.tilePattern;
  setup.screenWidth = job.screenWidth;
  setup.screenHeight = job.screenHeight;
  setup.seed = job.seed;
  setup.verbose = job.verbose;
  setup.stop = &stop;
  setup.writer = writer.get();
  setup.keepWholeFrame = job.settings.PutGuidePoints != 0;
  setup.label = job.output;
  std::unique_ptr<CliFrameHost> host;
  try {
    host = std::make_unique<CliFrameHost>(setup);
  } catch (const std::bad_alloc&) {
    throw io::IoError(job.output, "frame is too large for memory");
  }
  const int result = RenderStereogram(job.settings, *host);
  if (result != 1) {
    host->ThrowIfFailed();  // a write error that stopped the frame
    if (stop.load()) return FrameResult::kStopped;
    throw io::IoError(job.input, "the engine could not render this frame (out of memory?)");
  }
  host->FinishRows();
  writer->Finish();
  writer.reset();
  // A stop that came while the last rows were written: the finished file is not put in place.
  if (stop.load()) return FrameResult::kStopped;
  out.Commit();
  return FrameResult::kWritten;
}

}  // namespace zavol::cli
