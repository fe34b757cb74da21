// One stereogram frame from a depth file to an image file: the job that reads, renders through
// the code behind the library interface (render/image_render.h) and writes. Depends on zavol_io
// and the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "io/formats.h"
#include "render/frame_plan.h"
#include "render/settings.h"
#include "render/view_options.h"

namespace zavol::cli {

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
  int threads = 1;  // for the engine's rows (ImageRenderOptions::threads)
  bool verbose = false;
  ViewOptions view;  // stable dots, linking, view, oversampling
};

enum class FrameResult { kWritten, kStopped };

// The plan the job renders depth from (which must outlive it): made once, read by the frame's
// warnings and --verbose line, and rendered from.
FramePlan PlanJob(const FrameJob& job, const io::DepthMap& depth);

// Renders and writes one frame of a depth map in memory (job.input only names it in messages)
// from its plan; the output appears only when complete, and not at all when stop is set before
// it is put in place. Throws io::IoError on a failed write.
FrameResult RenderDepthToFile(const FrameJob& job, const io::DepthMap& depth, const FramePlan& plan,
                              const std::atomic<bool>& stop);
// The same into rows, a frame's rows in order then Finish (a frame of a video); job.output
// names it in messages and job.format and job.write are not used.
FrameResult RenderDepthToRows(const FrameJob& job, const io::DepthMap& depth, const FramePlan& plan,
                              io::RowWriter& rows, const std::atomic<bool>& stop);

}  // namespace zavol::cli
