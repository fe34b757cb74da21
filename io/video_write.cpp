// Videos through FFmpeg's libraries, following its own examples: one video stream, frames sent
// to the encoder in order and its packets muxed as they come (send-frame / receive-packet),
// flushed with a null frame. The rows arrive as the engine's 16-bit words; the dots are 8-bit
// colours, so every format but rgb48 takes each channel's high byte, as 8-bit PNG output does.
#include "io/video_write.h"
#include "io/video_module.h"
#include "io/video_streams.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

#include "io/av_support.h"
#include "io/bt601.h"
#include "io/gif_palette.h"
#include "io/error.h"

namespace zavol::io {
namespace {

// How each format is written; its name and extension are in io/video_formats.cpp.
struct FormatInfo {
  VideoFormat format;
  const char* muxer;  // null: written by us
  const char* encoder;
  AVPixelFormat pixels;
};

constexpr FormatInfo kFormats[] = {
    {VideoFormat::kMp4, "mp4", "libx264", AV_PIX_FMT_YUV420P},
    {VideoFormat::kMkv, "matroska", "ffv1", AV_PIX_FMT_BGR0},
    {VideoFormat::kWebm, "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P},
    {VideoFormat::kGif, "gif", "gif", AV_PIX_FMT_PAL8},
    {VideoFormat::kY4m, nullptr, nullptr, AV_PIX_FMT_YUV444P},
    {VideoFormat::kRgb48, nullptr, nullptr, AV_PIX_FMT_RGB48LE},
};

const FormatInfo& InfoOf(VideoFormat format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return info;
  }
  return kFormats[0];
}

// ---- The encoder and its pixel format

// The container's own pixel format when the encoder takes it, else the one that loses least
// from 8-bit RGB.
AVPixelFormat ChoosePixels(const AVCodec* codec, AVPixelFormat preferred) {
  if (codec->pix_fmts == nullptr) return preferred;
  for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
    if (*p == preferred) return preferred;
  }
  return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_RGB24, 0, nullptr);
}

// Sides rounded up to what the pixel format's chroma planes need.
void PaddedSides(AVPixelFormat pixels, int width, int height, int* paddedWidth, int* paddedHeight) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixels);
  const int stepX = 1 << desc->log2_chroma_w, stepY = 1 << desc->log2_chroma_h;
  *paddedWidth = (width + stepX - 1) / stepX * stepX;
  *paddedHeight = (height + stepY - 1) / stepY * stepY;
}

constexpr const char* kX264Presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                        "medium", "slow", "slower", "veryslow", "placebo"};

bool HasPrivateOption(const AVCodec* codec, const char* name) {
  if (codec->priv_class == nullptr) return false;
  const AVClass* privateClass = codec->priv_class;
  return av_opt_find(&privateClass, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

bool IsYuv(AVPixelFormat pixels) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixels);
  return (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0 && desc->nb_components >= 3;
}

// The encoder for the format and options, checked without opening it (opening x264 costs its
// start-up and its look-ahead buffers), or null with the problem in words. warning: what the
// options ask that the encoder has no use for.
const AVCodec* ChooseEncoder(const FormatInfo& info, const VideoWriteOptions& options,
                             const AVOutputFormat* muxer, std::string* problem, std::string* warning) {
  av::QuietLog();
  const std::string name = options.codec.empty() ? info.encoder : options.codec;
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO) {
    *problem = options.codec.empty()
                   ? "this FFmpeg has no " + name + " encoder, which ." + VideoFormatName(info.format) + " videos use"
                   : "--codec " + name + ": no such video encoder in this FFmpeg (ffmpeg -encoders lists them)";
    return nullptr;
  }
  if (avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
    *problem = "--codec " + name + ": its " + avcodec_get_name(codec->id) + " video cannot go into ." + VideoFormatName(info.format);
    return nullptr;
  }
  if (options.crf >= 0) {
    const AVClass* privateClass = codec->priv_class;
    const AVOption* crf = privateClass == nullptr ? nullptr
        : av_opt_find(&privateClass, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
    // The range the encoder declares (VP9: 0-63); FFmpeg declares none for x264 and x265,
    // which clamp anything above 51 to 51 without a word.
    double low = crf == nullptr ? 0 : std::max(0.0, crf->min);
    double high = crf == nullptr ? 0 : crf->max;
    if (std::strcmp(codec->name, "libx264") == 0 || std::strcmp(codec->name, "libx264rgb") == 0 ||
        std::strcmp(codec->name, "libx265") == 0) {
      high = 51;
    }
    if (crf == nullptr) {
      *warning = "--crf has no effect: the " + name + " encoder has no constant-quality setting";
    } else if (high < 1000 && (options.crf < low || options.crf > high)) {
      *problem = "--crf " + std::to_string(options.crf) + ": " + name + " takes " +
                 std::to_string(static_cast<int>(low)) + " to " + std::to_string(static_cast<int>(high));
      return nullptr;
    }
  }
  if (!options.preset.empty() && !HasPrivateOption(codec, "preset")) {
    *problem = "--preset: the " + name + " encoder has no presets";
    return nullptr;
  }
  if (!options.preset.empty() && std::strcmp(codec->name, "libx264") == 0 &&
      std::find(std::begin(kX264Presets), std::end(kX264Presets), options.preset) == std::end(kX264Presets)) {
    // Checked here because x264 would print its own complaint on stderr.
    std::string names;
    for (const char* preset : kX264Presets) names += std::string(names.empty() ? "" : ", ") + preset;
    *problem = "--preset " + options.preset + ": libx264's presets are " + names;
    return nullptr;
  }
  if (ChoosePixels(codec, info.pixels) == AV_PIX_FMT_NONE) {
    *problem = "the " + name + " encoder takes no pixel format zavol can give it";
    return nullptr;
  }
  return codec;
}

// An open encoder for the format and options, or null with the problem in words.
av::CodecPtr OpenEncoder(const FormatInfo& info, const VideoWriteOptions& options,
                         const AVOutputFormat* muxer, int width, int height, std::string* problem) {
  std::string warning;  // said when the options were checked
  const AVCodec* codec = ChooseEncoder(info, options, muxer, problem, &warning);
  if (codec == nullptr) return nullptr;
  const std::string name = codec->name;
  const AVPixelFormat pixels = ChoosePixels(codec, info.pixels);
  av::CodecPtr context(avcodec_alloc_context3(codec));
  if (context == nullptr) throw std::bad_alloc();
  PaddedSides(pixels, width, height, &context->width, &context->height);
  context->pix_fmt = pixels;
  context->time_base = AVRational{options.rate.den, options.rate.num};
  context->framerate = AVRational{options.rate.num, options.rate.den};
  context->thread_count = options.threads;
  if (IsYuv(pixels)) {
    // The conversion below uses BT.601 in limited range; say so, so players convert back alike.
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->color_range = AVCOL_RANGE_MPEG;
    context->color_primaries = AVCOL_PRI_BT709;  // the primaries of sRGB
    context->color_trc = AVCOL_TRC_IEC61966_2_1;
  }
  if ((muxer->flags & AVFMT_GLOBALHEADER) != 0) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* settings = nullptr;
  int crf = options.crf;
  if (std::strcmp(codec->name, "libvpx-vp9") == 0) {
    // libvpx on its own aims at a low bit rate; constant quality suits pictures of noise, and
    // its speed 4 with row threads keeps a 1080p video from taking many times its length.
    if (crf < 0) crf = 31;
    av_dict_set(&settings, "b", "0", 0);
    av_dict_set(&settings, "row-mt", "1", 0);
    av_dict_set(&settings, "cpu-used", "4", 0);
  }
  if (crf >= 0 && HasPrivateOption(codec, "crf")) av_dict_set(&settings, "crf", std::to_string(crf).c_str(), 0);
  if (!options.preset.empty()) av_dict_set(&settings, "preset", options.preset.c_str(), 0);
  av::ClearLog();
  const int opened = avcodec_open2(context.get(), codec, &settings);
  av_dict_free(&settings);
  if (opened < 0) {
    *problem = "cannot start the " + name + " encoder (" + Printable(av::Reason(opened), 160) + ")";
    return nullptr;
  }
  return context;
}

// ---- Frames

// RGB24 into pixels of the same sides through a scaler of the caller's own (a scaler keeps
// state, so frames converted on different threads never share one).
av::ScalePtr MakeScaler(int width, int height, AVPixelFormat pixels) {
  av::ScalePtr scaler(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, pixels,
                                     SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (scaler == nullptr) throw std::bad_alloc();
  if (IsYuv(pixels)) {
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler.get(), bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
  }
  return scaler;
}

// A frame for an FFmpeg encoder: its picture, and for a paletted one the 8-bit RGB that the
// writer maps when it takes the frame (the palette comes from the video's first frame).
class PictureFrame : public VideoFrame {
 public:
  AVFrame* Picture() { return picture_.get(); }
  virtual const uint8_t* Rgb() const { return nullptr; }

 protected:
  PictureFrame(AVPixelFormat pixels, int width, int height) : picture_(av::NewFrame()) {
    picture_->format = pixels;
    picture_->width = width;
    picture_->height = height;
    if (av_frame_get_buffer(picture_.get(), 0) < 0) throw std::bad_alloc();
  }
  // The encoder may still hold the last picture sent: then this one gets fresh buffers
  // instead of writing into that one.
  void MakeWritable() {
    if (av_frame_make_writable(picture_.get()) < 0) throw std::bad_alloc();
  }
  uint8_t* Line(int plane, int y) { return picture_->data[plane] + static_cast<std::ptrdiff_t>(y) * picture_->linesize[plane]; }

  av::FramePtr picture_;
};

// yuv420p straight from the rows: each row's luma at once, the chroma of a 2x2 block once its
// second row has come. The picture's sides are the frame's rounded up to even numbers; the last
// column and row repeat.
class Yuv420Frame final : public PictureFrame {
 public:
  Yuv420Frame(int width, int height, const AVCodecContext& codec)
      : PictureFrame(AV_PIX_FMT_YUV420P, codec.width, codec.height), width_(width), height_(height),
        sums_(static_cast<std::size_t>(codec.width / 2) * 3) {}

  void Begin() override {
    y_ = 0;
    MakeWritable();
  }

  void WriteRow(const Pixel64* row) override {
    if (y_ >= height_) return;
    uint8_t* luma = Line(0, y_);
    const bool secondRow = (y_ & 1) != 0;
    int* sum = sums_.data();
    for (int x = 0; x < picture_->width; x += 2, sum += 3) {
      const Pixel64& a = row[x];
      const Pixel64& b = row[std::min(x + 1, width_ - 1)];
      const int r0 = a.r >> 8, g0 = a.g >> 8, b0 = a.b >> 8, r1 = b.r >> 8, g1 = b.g >> 8, b1 = b.b >> 8;
      luma[x] = Luma(r0, g0, b0);
      luma[x + 1] = Luma(r1, g1, b1);
      if (secondRow) {
        sum[0] += r0 + r1, sum[1] += g0 + g1, sum[2] += b0 + b1;
      } else {
        sum[0] = r0 + r1, sum[1] = g0 + g1, sum[2] = b0 + b1;
      }
    }
    if (secondRow) Chroma(y_ / 2);
    ++y_;
  }

  void Finish() override {
    if (y_ == 0 || y_ >= picture_->height) return;
    // An odd height: the padding row repeats the last, and completes the last blocks.
    std::memcpy(Line(0, y_), Line(0, y_ - 1), static_cast<std::size_t>(picture_->width));
    for (int& sum : sums_) sum *= 2;
    Chroma(y_ / 2);
  }

 private:
  void Chroma(int y) {
    uint8_t* blue = Line(1, y);
    uint8_t* red = Line(2, y);
    const int* sum = sums_.data();
    for (int x = 0; x < picture_->width / 2; ++x, sum += 3) {
      blue[x] = BlueDifference<10>(sum[0], sum[1], sum[2]);
      red[x] = RedDifference<10>(sum[0], sum[1], sum[2]);
    }
  }

  int width_, height_;
  std::vector<int> sums_;  // red, green, blue of each block's first row pair so far
  int y_ = 0;
};

// Any other pixel format: the rows as 8-bit RGB, padded to the picture's sides by repeating the
// last column and row, converted by FFmpeg's scaler when complete.
class ScaledFrame final : public PictureFrame {
 public:
  ScaledFrame(int width, int height, const AVCodecContext& codec)
      : PictureFrame(codec.pix_fmt, codec.width, codec.height), width_(width), height_(height),
        rgb_(static_cast<std::size_t>(codec.width) * codec.height * 3) {
    if (codec.pix_fmt != AV_PIX_FMT_PAL8) scaler_ = MakeScaler(codec.width, codec.height, codec.pix_fmt);
  }

  void Begin() override {
    y_ = 0;
    MakeWritable();
  }

  void WriteRow(const Pixel64* row) override {
    if (y_ >= height_) return;
    uint8_t* out = RgbRow(y_++);
    for (int x = 0; x < width_; ++x, out += 3) {
      out[0] = static_cast<uint8_t>(row[x].r >> 8);
      out[1] = static_cast<uint8_t>(row[x].g >> 8);
      out[2] = static_cast<uint8_t>(row[x].b >> 8);
    }
    for (int x = width_; x < picture_->width; ++x, out += 3) std::memcpy(out, out - 3, 3);
  }

  void Finish() override {
    for (int y = std::max(y_, 1); y < picture_->height; ++y) {
      std::memcpy(RgbRow(y), RgbRow(y - 1), static_cast<std::size_t>(picture_->width) * 3);
    }
    if (scaler_ == nullptr) return;
    const uint8_t* source[1] = {rgb_.data()};
    const int sourceStride[1] = {picture_->width * 3};
    sws_scale(scaler_.get(), source, sourceStride, 0, picture_->height, picture_->data, picture_->linesize);
  }

  const uint8_t* Rgb() const override { return rgb_.data(); }

 private:
  uint8_t* RgbRow(int y) { return rgb_.data() + static_cast<std::size_t>(y) * picture_->width * 3; }

  int width_, height_;
  std::vector<uint8_t> rgb_;
  av::ScalePtr scaler_;
  int y_ = 0;
};

// ---- Videos through FFmpeg's muxers

class EncodedVideo final : public VideoWriter {
 public:
  EncodedVideo(const FormatInfo& info, const std::string& path, int width, int height,
               const VideoWriteOptions& options)
      : out_(path), path_(path), width_(width), height_(height), packet_(av::NewPacket()) {
    av::QuietLog();
    av::ShowLog(options.verbose);
    av::ClearLog();
    // The muxer writes the temporary by name: the MP4 muxer opens it again to move its index to
    // the front.
    const std::string& temporary = out_.TemporaryPath();
    AVFormatContext* context = nullptr;
    int status = avformat_alloc_output_context2(&context, nullptr, info.muxer, temporary.c_str());
    if (status < 0 || context == nullptr) Fail("cannot start the video", status);
    context_.reset(context);
    std::string problem;
    codec_ = OpenEncoder(info, options, context->oformat, width, height, &problem);
    if (codec_ == nullptr) throw IoError(path_, problem);
    stream_ = avformat_new_stream(context, nullptr);
    if (stream_ == nullptr) throw std::bad_alloc();
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    stream_->r_frame_rate = codec_->framerate;
    status = avcodec_parameters_from_context(stream_->codecpar, codec_.get());
    if (status < 0) Fail("cannot start the video", status);
    status = avio_open(&context->pb, temporary.c_str(), AVIO_FLAG_WRITE);
    if (status < 0) Fail("cannot create the file", status);
    AVDictionary* muxing = nullptr;
    // The index moves to the front by reading the file back, which a device written in place
    // (/dev/null) cannot give.
    if (info.format == VideoFormat::kMp4 && !out_.InPlace()) av_dict_set(&muxing, "movflags", "+faststart", 0);
    status = avformat_write_header(context, &muxing);
    av_dict_free(&muxing);
    if (status < 0) Fail("cannot write the video's header", status);
    headerWritten_ = true;
  }

  ~EncodedVideo() override {
    // The GIF muxer holds the last picture's packet back until its trailer and frees it only
    // there, so an abandoned GIF still gets its trailer: into the temporary, which is removed,
    // or onto the device it was streaming to.
    if (headerWritten_ && !trailerWritten_ && std::strcmp(context_->oformat->name, "gif") == 0) {
      av_write_trailer(context_.get());
    }
  }

  std::unique_ptr<VideoFrame> NewFrame() override {
    if (codec_->pix_fmt == AV_PIX_FMT_YUV420P) return std::make_unique<Yuv420Frame>(width_, height_, *codec_);
    return std::make_unique<ScaledFrame>(width_, height_, *codec_);
  }

  void Write(VideoFrame& frame) override {
    auto& f = static_cast<PictureFrame&>(frame);
    AVFrame* picture = f.Picture();
    if (codec_->pix_fmt == AV_PIX_FMT_PAL8) {
      if (!palette_.Built()) palette_.Build(f.Rgb(), static_cast<std::size_t>(codec_->width) * codec_->height);
      palette_.Map(f.Rgb(), codec_->width, codec_->height, picture->data[0], picture->linesize[0],
                   reinterpret_cast<uint32_t*>(picture->data[1]));
    }
    picture->pts = nextPts_++;
    Send(picture, nullptr);
  }

  int64_t FramesOut() const override { return framesOut_; }

  bool Finish(const std::function<bool()>& progress) override {
    if (!Send(nullptr, &progress) || (progress && !progress())) return false;
    av::ClearLog();
    int status = av_write_trailer(context_.get());
    trailerWritten_ = true;
    if (status < 0) Fail("cannot write the video's end", status);
    status = avio_closep(&context_->pb);
    if (status < 0) Fail("cannot write", status);
    out_.Commit();
    return true;
  }

  int Width() const override { return codec_->width; }
  int Height() const override { return codec_->height; }

 private:
  [[noreturn]] void Fail(const std::string& what, int status) {
    throw IoError(path_, what + " (" + Printable(av::Reason(status), 160) + ")");
  }

  // The picture to the encoder (null: the end), then every packet it has ready to the muxer,
  // calling progress (when given) after each; false when progress asked to stop.
  bool Send(const AVFrame* picture, const std::function<bool()>* progress) {
    av::ClearLog();
    int status = avcodec_send_frame(codec_.get(), picture);
    if (status < 0) Fail("cannot encode", status);
    for (;;) {
      status = avcodec_receive_packet(codec_.get(), packet_.get());
      if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
      if (status < 0) Fail("cannot encode", status);
      av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      // Takes the packet's data, leaving the packet blank for the next.
      status = av_interleaved_write_frame(context_.get(), packet_.get());
      if (status < 0) Fail("cannot write", status);
      ++framesOut_;
      if (progress != nullptr && *progress && !(*progress)()) return false;
    }
  }

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
  std::string path_;
  int width_, height_;
  std::unique_ptr<AVFormatContext, MuxerFree> context_;
  av::CodecPtr codec_;
  AVStream* stream_ = nullptr;
  av::PacketPtr packet_;
  int64_t nextPts_ = 0;
  int64_t framesOut_ = 0;
  bool headerWritten_ = false, trailerWritten_ = false;
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
  const FormatInfo& info = InfoOf(format);
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
  const FormatInfo& info = InfoOf(format);
  if (info.muxer == nullptr) return OpenFrameStream(format, path, width, height, options.rate);
  if (path == "-") throw IoError("standard output", std::string(VideoFormatName(info.format)) + " videos need a file (they seek)");
  return std::make_unique<EncodedVideo>(info, path, width, height, options);
}

}  // namespace zavol::io
