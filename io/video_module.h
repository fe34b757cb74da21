// The boundary between the tool and FFmpeg: everything that touches FFmpeg's libraries is built
// into a module (libzavol_video.so) that io/video_loader.cpp opens the first time a video is
// read or written, so that commands without videos do not pay for mapping and relocating
// FFmpeg and its hundred-odd libraries at every start. Only io/ includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/video_read.h"
#include "io/video_write.h"

namespace zavol::io {

// Enough of a file to tell its container, as FFmpeg's own probing starts.
constexpr std::size_t kVideoProbeBytes = 1 << 16;

// A depth video being decoded (io/video_read.cpp); VideoReader forwards to it.
class DecodedVideo {
 public:
  DecodedVideo(const std::string& path, int threads);
  ~DecodedVideo();
  DecodedVideo(const DecodedVideo&) = delete;
  DecodedVideo& operator=(const DecodedVideo&) = delete;
  const VideoInfo& Info() const;
  bool Read(const DepthReadOptions& options, DepthMap& map);
  int64_t FramesRead() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Inside the module: whether a file whose first bytes are head (not a depth image) is a video.
bool IsVideoHead(const std::vector<uint8_t>& head, const std::string& path);
std::unique_ptr<VideoWriter> OpenEncodedVideo(VideoFormat format, const std::string& path,
                                              int width, int height,
                                              const VideoWriteOptions& options);
std::string EncoderProblem(VideoFormat format, const VideoWriteOptions& options, std::string* warning);
bool ParseRate(const std::string& text, VideoRate* rate);

// What the module hands the tool. The module is built from this tree with the same compiler, so
// C++ types and exceptions (IoError) cross it as they would inside one program; the version
// guards against a stale module beside a newer tool.
struct VideoModule {
  int version;
  void (*setMemoryBudget)(uint64_t bytes);
  bool (*isVideoHead)(const std::vector<uint8_t>& head, const std::string& path);
  DecodedVideo* (*openReader)(const std::string& path, int threads);
  void (*closeReader)(DecodedVideo* video);
  const VideoInfo& (*info)(const DecodedVideo& video);
  bool (*read)(DecodedVideo& video, const DepthReadOptions& options, DepthMap& map);
  int64_t (*framesRead)(const DecodedVideo& video);
  std::unique_ptr<VideoWriter> (*openWriter)(VideoFormat format, const std::string& path,
                                             int width, int height,
                                             const VideoWriteOptions& options);
  std::string (*encoderProblem)(VideoFormat format, const VideoWriteOptions& options,
                                std::string* warning);
  bool (*parseRate)(const std::string& text, VideoRate* rate);
};

constexpr int kVideoModuleVersion = 2;
constexpr const char* kVideoModuleEntry = "zavol_video_module";
constexpr const char* kVideoModuleFile = "libzavol_video.so";

}  // namespace zavol::io
