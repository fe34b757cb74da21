// Animations through one file: frames from numbered depth files or from a depth video, rendered
// on several threads and handed to one video in order (or, from a video, written as numbered
// images), with a few frames in flight whatever the animation's length. Depends on zavol_video,
// zavol_io and the tool's pieces; the engine is reached through the caller's render function.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/frames.h"
#include "cli/render_job.h"
#include "io/video_write.h"

namespace zavol::cli {

struct VideoRun {
  // The frames: numbered depth files (input with # and the numbers, in order; or one file as
  // frame 0), or the frames of a depth video by index (all of them without a range).
  std::string input;
  bool videoInput = false;
  std::vector<int> frames;
  std::optional<FrameRange> range;
  io::DepthReadOptions read;
  // Where they go: one video, or numbered images (output with #) when video is unset.
  std::string output;
  std::optional<io::VideoFormat> video;
  io::VideoWriteOptions videoOptions;
  bool rateGiven = false;  // else a video input's own rate, or the options' default
  int jobs = 1;
  bool quiet = false;
  // Renders frame number frame, its depth read from input, into rows (a frame of the video), or
  // into the file output when rows is null. Called from several threads at once.
  std::function<FrameResult(int frame, const std::string& input, const std::string& output,
                            const io::DepthMap& depth, io::RowWriter* rows)>
      render;
};

// Renders the run, reporting as the tool does (progress bar, failures, the summary line);
// returns the exit code. The video appears under its name only when every frame went in.
int RunVideoFrames(const VideoRun& run);

}  // namespace zavol::cli
