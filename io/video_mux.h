// The container of a video FFmpeg writes: its one video stream, header, packets and trailer,
// written under the output's temporary name and put in place at the end, or written straight
// onto a device. Internal to the video module; depends on libavformat.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>
#include <string>

#include "io/formats.h"
#include "io/video_encoder.h"

namespace zavol::io {

class VideoMuxer {
 public:
  // The format's container for path, not yet started. FFmpeg's log for the video begins here,
  // with its encoders' own lines on stderr when verbose. Throws IoError.
  VideoMuxer(const EncodedFormat& format, const std::string& path, bool verbose);
  // Unfinished, nothing appears under the path's name.
  ~VideoMuxer();
  VideoMuxer(const VideoMuxer&) = delete;
  VideoMuxer& operator=(const VideoMuxer&) = delete;

  const AVOutputFormat* Container() const { return context_->oformat; }
  // The stream of the open encoder codec, the file opened and its header written. Throws
  // IoError.
  void Start(const AVCodecContext& codec);
  // An encoder's packet, its times in timeBase, into the file; it leaves the packet blank.
  // Throws IoError.
  void Write(AVPacket* packet, AVRational timeBase);
  // The trailer written, the file closed and put in place. Throws IoError.
  void Finish();

 private:
  // Closes the muxer's file (if still open) and frees the muxer.
  struct MuxerFree {
    void operator()(AVFormatContext* context) const {
      if (context->pb != nullptr) avio_closep(&context->pb);
      avformat_free_context(context);
    }
  };

  // Destroyed last, after the muxer has closed it: removes the temporary unless it was put in
  // place.
  OutputFile out_;
  VideoFormat format_;
  std::unique_ptr<AVFormatContext, MuxerFree> context_;
  AVStream* stream_ = nullptr;
  bool headerWritten_ = false, trailerWritten_ = false;
};

}  // namespace zavol::io
