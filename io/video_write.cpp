// Videos through FFmpeg's libraries, following its own examples: one video stream, frames sent
// to the encoder in order (io/video_encoder.cpp) and its packets muxed as they come
// (io/video_mux.cpp), flushed with a null frame; the rows become the encoder's pictures in
// io/video_pixels.cpp.
#include "io/video_write.h"
#include "io/video_module.h"
#include "io/video_streams.h"

extern "C" {
#include <libavutil/parseutils.h>
}

#include <functional>

#include "io/av_support.h"
#include "io/error.h"
#include "io/gif_palette.h"
#include "io/video_encoder.h"
#include "io/video_mux.h"
#include "io/video_pixels.h"

namespace zavol::io {
namespace {

class EncodedVideo final : public VideoWriter {
 public:
  EncodedVideo(const EncodedFormat& format, const std::string& path, int width, int height,
               const VideoWriteOptions& options)
      : muxer_(format, path, options.verbose),
        encoder_(format, options, muxer_.Container(), width, height, path),
        width_(width), height_(height), packet_(av::NewPacket()) {
    muxer_.Start(encoder_.Context());
  }

  std::unique_ptr<VideoFrame> NewFrame() override { return NewPictureFrame(width_, height_, encoder_.Context()); }

  void Write(VideoFrame& frame) override {
    auto& f = static_cast<PictureFrame&>(frame);
    AVFrame* picture = f.Picture();
    const AVCodecContext& codec = encoder_.Context();
    if (codec.pix_fmt == AV_PIX_FMT_PAL8) {
      if (!palette_.Built()) palette_.Build(f.Rgb(), static_cast<std::size_t>(codec.width) * codec.height);
      palette_.Map(f.Rgb(), codec.width, codec.height, picture->data[0], picture->linesize[0],
                   reinterpret_cast<uint32_t*>(picture->data[1]));
    }
    picture->pts = nextPts_++;
    Send(picture, nullptr);
  }

  int64_t FramesOut() const override { return framesOut_; }

  bool Finish(const std::function<bool()>& progress) override {
    if (!Send(nullptr, &progress) || (progress && !progress())) return false;
    muxer_.Finish();
    return true;
  }

  int Width() const override { return encoder_.Context().width; }
  int Height() const override { return encoder_.Context().height; }

 private:
  // The picture to the encoder (null: the end), then every packet it has ready to the muxer,
  // calling progress (when given) after each; false when progress asked to stop.
  bool Send(const AVFrame* picture, const std::function<bool()>* progress) {
    encoder_.Send(picture);
    while (encoder_.Receive(packet_.get())) {
      muxer_.Write(packet_.get(), encoder_.Context().time_base);
      ++framesOut_;
      if (progress != nullptr && *progress && !(*progress)()) return false;
    }
    return true;
  }

  // The muxer first: the encoder is checked against its container.
  VideoMuxer muxer_;
  VideoEncoder encoder_;
  int width_, height_;
  av::PacketPtr packet_;
  int64_t nextPts_ = 0;
  int64_t framesOut_ = 0;
  GifPalette palette_;
};

}  // namespace

bool ParseRate(const std::string& text, VideoRate* rate) {
  AVRational parsed{0, 1};
  if (text.empty() || av_parse_video_rate(&parsed, text.c_str()) < 0) return false;
  if (parsed.num <= 0 || parsed.den <= 0 || parsed.num > 1000 * static_cast<int64_t>(parsed.den)) return false;
  rate->num = parsed.num;
  rate->den = parsed.den;
  return true;
}

std::string EncoderProblem(VideoFormat format, const VideoWriteOptions& options, std::string* warning) {
  const EncodedFormat& info = EncodedFormatOf(format);
  if (info.muxer == nullptr) return FrameStreamProblem(format, options);
  const AVOutputFormat* muxer = av_guess_format(info.muxer, nullptr, nullptr);
  if (muxer == nullptr) return "this FFmpeg cannot write ." + std::string(VideoFormatName(info.format)) + " files";
  std::string problem;
  ChooseEncoder(info, options, muxer, &problem, warning);
  return problem;
}

std::unique_ptr<VideoWriter> OpenEncodedVideo(VideoFormat format, const std::string& path,
                                              int width, int height,
                                              const VideoWriteOptions& options) {
  const EncodedFormat& info = EncodedFormatOf(format);
  if (info.muxer == nullptr) return OpenFrameStream(format, path, width, height, options.rate);
  if (path == "-") throw IoError("standard output", std::string(VideoFormatName(info.format)) + " videos need a file (they seek)");
  return std::make_unique<EncodedVideo>(info, path, width, height, options);
}

}  // namespace zavol::io
