// The video module's one exported symbol: the table of its entry points. Everything else in the
// module is hidden, so that its copy of the file layer never stands in for the tool's.
#include "io/video_module.h"

#include "io/depth_map.h"

namespace zavol::io {
namespace {

const VideoModule kModule = {
    kVideoModuleVersion,
    SetMemoryBudget,
    IsVideoHead,
    [](const std::string& path, int threads) { return new DecodedVideo(path, threads); },
    [](DecodedVideo* video) { delete video; },
    [](const DecodedVideo& video) -> const VideoInfo& { return video.Info(); },
    [](DecodedVideo& video, const DepthReadOptions& options, DepthMap& map) {
      return video.Read(options, map);
    },
    [](const DecodedVideo& video) { return video.FramesRead(); },
    OpenEncodedVideo,
    EncoderProblem,
    ParseRate,
};

}  // namespace
}  // namespace zavol::io

extern "C" __attribute__((visibility("default"))) const zavol::io::VideoModule* zavol_video_module() {
  return &zavol::io::kModule;
}
