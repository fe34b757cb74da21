// The encoders, following FFmpeg's encoding example: options checked against what the encoder
// declares before anything is opened, the encoder opened once per video, pictures sent in order
// and packets received as they come.
#include "io/video_encoder.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "io/error.h"
#include "io/video_pixels.h"

namespace zavol::io {
namespace {

constexpr EncodedFormat kFormats[] = {
    {VideoFormat::kMp4, "mp4", "libx264", AV_PIX_FMT_YUV420P},
    {VideoFormat::kMkv, "matroska", "ffv1", AV_PIX_FMT_BGR0},
    {VideoFormat::kWebm, "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P},
    {VideoFormat::kGif, "gif", "gif", AV_PIX_FMT_PAL8},
    {VideoFormat::kY4m, nullptr, nullptr, AV_PIX_FMT_YUV444P},
    {VideoFormat::kRgb48, nullptr, nullptr, AV_PIX_FMT_RGB48LE},
};

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

// An open encoder for the format and options, or null with the problem in words.
av::CodecPtr OpenEncoder(const EncodedFormat& info, const VideoWriteOptions& options,
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
  TagColours(*context);
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

}  // namespace

const EncodedFormat& EncodedFormatOf(VideoFormat format) {
  for (const EncodedFormat& info : kFormats) {
    if (info.format == format) return info;
  }
  return kFormats[0];
}

const AVCodec* ChooseEncoder(const EncodedFormat& info, const VideoWriteOptions& options,
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

VideoEncoder::VideoEncoder(const EncodedFormat& format, const VideoWriteOptions& options,
                           const AVOutputFormat* muxer, int width, int height, const std::string& path)
    : path_(path) {
  std::string problem;
  codec_ = OpenEncoder(format, options, muxer, width, height, &problem);
  if (codec_ == nullptr) throw IoError(path_, problem);
}

void VideoEncoder::Send(const AVFrame* picture) {
  av::ClearLog();
  const int status = avcodec_send_frame(codec_.get(), picture);
  if (status < 0) av::Fail(path_, "cannot encode", status);
}

bool VideoEncoder::Receive(AVPacket* packet) {
  const int status = avcodec_receive_packet(codec_.get(), packet);
  if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return false;
  if (status < 0) av::Fail(path_, "cannot encode", status);
  return true;
}

}  // namespace zavol::io
