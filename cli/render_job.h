// One stereogram frame from a depth file to an image file: the job that reads, renders through
// the code behind the library interface (render/image_render.h) and writes. Depends on zavol_io
// and the engine.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "io/formats.h"
#include "render/settings.h"

namespace zavol::cli {

struct FrameJob {
  std::string input, output;
  io::ImageFormat format = io::ImageFormat::kPng;
  io::DepthReadOptions read;
  io::WriteOptions write;
  StereogramSettings settings{};
  const io::Image64* pattern = nullptr;
  int screenWidth = 1920, screenHeight = 1080;
  uint32_t seed = 0;
  bool verbose = false;
};

enum class FrameResult { kWritten, kStopped };

// Reads, renders and writes one frame; the output appears only when complete. depth is the
// caller's buffer, reused across frames. Throws io::IoError on a bad input or a failed write.
FrameResult RenderFrameFile(const FrameJob& job, io::DepthMap& depth,
                            const std::atomic<bool>& stop);
// The same for a depth map already in memory (job.input only names it in messages).
FrameResult RenderDepthToFile(const FrameJob& job, const io::DepthMap& depth,
                              const std::atomic<bool>& stop);

}  // namespace zavol::cli
