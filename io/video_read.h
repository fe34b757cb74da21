// Depth videos: any video FFmpeg's libraries decode (grey or colour, e.g. a depth estimator's
// output), read frame by frame as height maps: the luma, brighter nearer, 0..1 whatever the bit
// depth. Depends on FFmpeg's libraries; never on the engine beyond its depth conventions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/depth_map.h"
#include "io/video_write.h"

namespace zavol::io {

// Whether the tool should read path as a video: a regular file (a pipe cannot be looked into
// without taking its bytes), not a depth image (PFM, PNG, OpenEXR) by its first bytes, and
// either a container the reader opens, judged by its contents alone, or named like a video
// (.mp4, .mkv, .webm, .mov, .avi, .gif, .y4m, ...), so that a damaged one is reported as a
// video. False for a file that cannot be opened.
bool IsVideoInput(const std::string& path);

struct VideoInfo {
  int width = 0, height = 0;
  VideoRate rate;       // the stream's average rate, else its base rate, else 24
  int64_t frames = -1;  // as the container states it or its duration implies; -1: unknown
};

class VideoReader {
 public:
  // Opens path's first video stream (cover pictures of audio files do not count). threads:
  // decoding threads, 0 for the decoder's choice. Throws IoError: "not a video", "no video
  // stream", a damaged header.
  explicit VideoReader(const std::string& path, int threads = 0);
  ~VideoReader();
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;

  const VideoInfo& Info() const;

  // The next frame as depth in the engine's convention: the luma scaled to 0..1 (limited-range
  // video from 16..235, full range and grey from 0..max), read as options.kind says (default
  // height); alpha 0 is background. False after the last frame. Throws IoError naming the
  // frame ("frame 17 is unreadable (...)"), also for a file that ends before the frames its
  // container lists.
  bool Read(const DepthReadOptions& options, DepthMap& map);

  // Frames returned by Read so far; the next frame's index.
  int64_t FramesRead() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zavol::io
