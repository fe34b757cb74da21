// The encoder of a video FFmpeg writes: which one the format and the options choose (checked
// without opening it), its pixel format, sides and settings, opened once; then pictures in and
// packets out. Internal to the video module; depends on libavcodec and libavformat.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <string>

#include "io/av_support.h"
#include "io/video_write.h"

namespace zavol::io {

// How each format is written; its name and extension are in io/video_formats.cpp.
struct EncodedFormat {
  VideoFormat format;
  const char* muxer;  // null: written by us (io/video_streams.cpp)
  const char* encoder;
  AVPixelFormat pixels;
};

const EncodedFormat& EncodedFormatOf(VideoFormat format);

// The encoder for the format and options, checked without opening it (opening x264 costs its
// start-up and its look-ahead buffers), or null with the problem in words. warning: what the
// options ask that the encoder has no use for.
const AVCodec* ChooseEncoder(const EncodedFormat& format, const VideoWriteOptions& options,
                             const AVOutputFormat* muxer, std::string* problem, std::string* warning);

// The encoder of one video into muxer's container, opened once: frames of width x height,
// padded to the sides its pixel format needs. Errors name path.
class VideoEncoder {
 public:
  // Throws IoError.
  VideoEncoder(const EncodedFormat& format, const VideoWriteOptions& options,
               const AVOutputFormat* muxer, int width, int height, const std::string& path);
  const AVCodecContext& Context() const { return *codec_; }
  // The next picture (null: the end, which flushes what the encoder holds). Throws IoError.
  void Send(const AVFrame* picture);
  // The encoder's next packet into packet; false when it has none ready (it waits for the next
  // picture, or has given back its last). Throws IoError.
  bool Receive(AVPacket* packet);

 private:
  std::string path_;
  av::CodecPtr codec_;
};

}  // namespace zavol::io
