// The engine's rows into the pictures an encoder takes: 16-bit RGBA words to 8-bit YUV 4:2:0 by
// hand, or to 8-bit RGB for FFmpeg's scaler or the GIF palette. Internal to the video module;
// depends on libavcodec and libswscale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "io/av_support.h"
#include "io/video_write.h"

namespace zavol::io {

// Tags the encoder's colours as the frames below make them: for YUV, BT.601 in limited range
// from sRGB, so that players convert back alike. After its pixel format is set.
void TagColours(AVCodecContext& codec);

// A frame for an FFmpeg encoder: its picture, and for a paletted one the 8-bit RGB that the
// writer maps when it takes the frame (the palette comes from the video's first frame).
class PictureFrame : public VideoFrame {
 public:
  AVFrame* Picture() { return picture_.get(); }
  virtual const uint8_t* Rgb() const { return nullptr; }

 protected:
  PictureFrame(AVPixelFormat pixels, int width, int height);
  // The encoder may still hold the last picture sent: then this one gets fresh buffers
  // instead of writing into that one.
  void MakeWritable();
  uint8_t* Line(int plane, int y) { return picture_->data[plane] + static_cast<std::ptrdiff_t>(y) * picture_->linesize[plane]; }

  av::FramePtr picture_;
};

// A frame of width x height for the open encoder codec, whose sides may be larger (the last
// column and row repeat).
std::unique_ptr<PictureFrame> NewPictureFrame(int width, int height, const AVCodecContext& codec);

}  // namespace zavol::io
