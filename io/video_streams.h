// Video outputs that need no FFmpeg: the frame streams (y4m, raw rgb48) and the plain forms of
// a frame rate. The video module's loader answers them itself, so that choosing them never loads
// the module; the module uses the same code for the same formats.
#pragma once

#include <memory>
#include <string>

#include "io/video_write.h"

namespace zavol::io {

// A y4m or rgb48 stream into path ("-": standard output). Throws IoError.
std::unique_ptr<VideoWriter> OpenFrameStream(VideoFormat format, const std::string& path,
                                             int width, int height, VideoRate rate);

// What the options ask of a frame stream that it cannot do (it encodes nothing), or "".
std::string FrameStreamProblem(VideoFormat format, const VideoWriteOptions& options);

// A frame rate of digits or digits/digits (or digits:digits), reduced as FFmpeg reduces it.
// *plain: whether text is in one of these forms (false: FFmpeg's parser must read it, e.g.
// "29.97" or "ntsc"). True when it is plain and a rate FFmpeg would take too.
bool ParsePlainRate(const std::string& text, VideoRate* rate, bool* plain);

}  // namespace zavol::io
