// Depth videos through FFmpeg's libraries, following its demux-and-decode example: packets of
// the one video stream to the decoder, frames out in presentation order, the decoder flushed
// with a null packet at the end. Only real containers are opened, recognised by their contents,
// and only as local files: playlists and concatenation lists, which would make FFmpeg read
// other files or the network, are turned down.
#include "io/video_read.h"
#include "io/video_module.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "io/av_support.h"
#include "io/error.h"
#include "io/files.h"

namespace zavol::io {
namespace {

// Demuxers of containers that hold their own frames, by FFmpeg's names.
constexpr const char* kContainers[] = {
    "mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm", "avi", "gif", "yuv4mpegpipe", "flv",
    "mpegts", "mpeg", "ogg", "nut", "asf", "ivf",
};

// Extensions that make a file a video in the user's eyes, so that a damaged one is reported as
// a damaged video rather than as an unknown image.
constexpr const char* kVideoExtensions[] = {
    ".mp4", ".m4v", ".mov", ".mkv", ".webm", ".avi", ".gif", ".y4m", ".flv", ".ts", ".mts",
    ".m2ts", ".mpg", ".mpeg", ".ogv", ".nut", ".wmv", ".asf", ".ivf",
};

bool HasVideoExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return std::find_if(std::begin(kVideoExtensions), std::end(kVideoExtensions),
                      [&](const char* e) { return extension == e; }) != std::end(kVideoExtensions);
}

bool IsContainer(const AVInputFormat* format) {
  return std::find_if(std::begin(kContainers), std::end(kContainers), [&](const char* name) {
           return std::strcmp(format->name, name) == 0;
         }) != std::end(kContainers);
}

// The demuxer FFmpeg would choose for these bytes, by contents alone (no file name, so that an
// extension never decides), or null.
const AVInputFormat* ProbeContents(std::vector<uint8_t> head) {
  av::QuietLog();
  const std::size_t size = head.size();
  head.resize(size + AVPROBE_PADDING_SIZE, 0);
  AVProbeData probe{};
  probe.filename = "";
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(size);
  int score = AVPROBE_SCORE_RETRY;  // less than this is a guess
  return av_probe_input_format2(&probe, 1, &score);
}

struct InputFree {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

// The largest frame whose depth map and rendering fit the memory allowed (io/depth_map.h), so
// that the decoder refuses a hostile header before it allocates.
int64_t PixelLimit() {
  int64_t pixels = kMaxSide * kMaxSide;
  while (pixels > 1 && !FitsInMemory(static_cast<uint64_t>(pixels) * 16)) pixels /= 2;
  return pixels;
}

bool IsFullRangeYuvName(const char* name) { return std::strncmp(name, "yuvj", 4) == 0; }

}  // namespace

bool IsVideoHead(const std::vector<uint8_t>& head, const std::string& path) {
  const AVInputFormat* format = ProbeContents(head);
  return (format != nullptr && IsContainer(format)) || HasVideoExtension(path);
}

struct DecodedVideo::State {
  std::string path;
  std::unique_ptr<AVFormatContext, InputFree> input;
  av::CodecPtr decoder;
  int stream = -1;
  av::PacketPtr packet = av::NewPacket();
  av::FramePtr frame = av::NewFrame();
  bool flushed = false;
  int64_t framesRead = 0;
  int64_t listedFrames = 0;  // the container's index, when it has one
  VideoInfo info;
  av::ScalePtr toRgb;  // unusual pixel formats, through 16-bit RGBA
  std::vector<uint8_t> converted;
  int convertedStride[4] = {0, 0, 0, 0};
  std::vector<uint16_t> line;  // one row: up to three colour components and alpha

  [[noreturn]] void Fail(const std::string& what, int status) const { av::Fail(path, what, status); }
  [[noreturn]] void Unreadable(int status) const {
    Fail("frame " + std::to_string(framesRead) + " is unreadable", status);
  }

  // The next decoded frame into frame; false after the last.
  bool Decode() {
    for (;;) {
      av::ClearLog();
      int status = avcodec_receive_frame(decoder.get(), frame.get());
      if (status == 0) {
        if ((frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
          throw IoError(path, "frame " + std::to_string(framesRead) + " is damaged");
        }
        return true;
      }
      if (status == AVERROR_EOF) {
        CheckComplete();
        return false;
      }
      if (status != AVERROR(EAGAIN)) Unreadable(status);
      if (flushed) return false;
      status = av_read_frame(input.get(), packet.get());
      if (status == AVERROR_EOF) {
        if (input->pb != nullptr && input->pb->error < 0) Unreadable(input->pb->error);
        flushed = true;
        status = avcodec_send_packet(decoder.get(), nullptr);
        if (status < 0 && status != AVERROR_EOF) Unreadable(status);
        continue;
      }
      if (status < 0) Unreadable(status);
      if (packet->stream_index != stream) {
        av_packet_unref(packet.get());
        continue;
      }
      const bool cut = (packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
      status = cut ? 0 : avcodec_send_packet(decoder.get(), packet.get());
      av_packet_unref(packet.get());
      if (cut) throw IoError(path, "frame " + std::to_string(framesRead) + " is cut short (the file is truncated)");
      if (status < 0 && status != AVERROR(EAGAIN)) Unreadable(status);
    }
  }

  // A file cut short often just ends, with nothing said: the frames decoded must be those the
  // container lists, and must fill the time it says the video lasts (to within half a frame).
  // MP4's list is not compared, since its edit lists may hide listed frames; a cut MP4 shows as
  // a frame cut short instead.
  void CheckComplete() const {
    const AVStream* s = input->streams[stream];
    if (listedFrames > framesRead && std::strcmp(input->iformat->name, kContainers[0]) != 0) {
      throw IoError(path, "ends after " + std::to_string(framesRead) + " frames, of the " +
                              std::to_string(listedFrames) + " its container lists (truncated?)");
    }
    double seconds = -1;
    if (s->duration > 0 && s->duration != AV_NOPTS_VALUE) {
      seconds = static_cast<double>(s->duration) * av_q2d(s->time_base);
    } else if (input->nb_streams == 1 && input->duration > 0 && input->duration != AV_NOPTS_VALUE) {
      seconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    const double rate = static_cast<double>(info.rate.num) / info.rate.den;
    if (seconds > 0 && static_cast<double>(framesRead) + 0.5 < seconds * rate) {
      char lasting[32];
      std::snprintf(lasting, sizeof lasting, "%.2f", seconds);
      throw IoError(path, "ends after " + std::to_string(framesRead) + " frames, short of the " +
                              lasting + " s its container states (truncated?)");
    }
  }

  // The frame's luma (and alpha) as 0..1 heights, then the depth kind.
  void ToDepth(const DepthReadOptions& options, DepthMap& map) {
    SizeDepthMap(path, frame->width, frame->height, map);
    const int width = frame->width, height = frame->height;
    const DepthKind kind = options.kind.value_or(DepthKind::kHeight);
    map.format = DepthFormat::kVideo;
    map.kind = kind;
    auto format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc == nullptr) throw IoError(path, "frame " + std::to_string(framesRead) + " has no pixel format");
    const uint8_t* planes[4] = {frame->data[0], frame->data[1], frame->data[2], frame->data[3]};
    const int* strides = frame->linesize;
    constexpr uint64_t kUnusual = AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT |
                                  AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL;
    const bool paletted = format == AV_PIX_FMT_PAL8;
    if (!paletted && ((desc->flags & kUnusual) != 0 || desc->comp[0].depth > 16 ||
                      (desc->flags & AV_PIX_FMT_FLAG_PAL) != 0)) {
      // Float, Bayer, 1-bit and the like: FFmpeg's scaler makes them 16-bit RGBA first.
      format = AV_PIX_FMT_RGBA64;
      Convert(static_cast<AVPixelFormat>(frame->format), desc->name);
      desc = av_pix_fmt_desc_get(format);
      planes[0] = converted.data();
      planes[1] = planes[2] = planes[3] = nullptr;
      strides = convertedStride;
    }
    const bool rgb = (desc->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    const bool hasAlpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    const int bits = paletted ? 8 : desc->comp[0].depth;
    const float scale = 1.0f / static_cast<float>((1 << bits) - 1);
    // Grey video is full range unless it says otherwise; YUV is limited (16..235 for 8 bits)
    // unless it says it is full; RGB is full.
    const bool grey = desc->nb_components <= 2;
    const bool full = rgb || paletted || frame->color_range == AVCOL_RANGE_JPEG ||
                      IsFullRangeYuvName(desc->name) || (grey && frame->color_range != AVCOL_RANGE_MPEG);
    const float black = static_cast<float>(16 << (bits > 8 ? bits - 8 : 0));
    const float span = static_cast<float>(219 << (bits > 8 ? bits - 8 : 0));
    const int colours = rgb || paletted ? 3 : 1;
    line.resize(static_cast<std::size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
      uint16_t* c[4] = {line.data(), line.data() + width, line.data() + 2 * width, line.data() + 3 * width};
      if (paletted) {
        const uint8_t* index = planes[0] + static_cast<std::ptrdiff_t>(y) * strides[0];
        const uint32_t* palette = reinterpret_cast<const uint32_t*>(planes[1]);
        for (int x = 0; x < width; ++x) {
          const uint32_t entry = palette[index[x]];  // 0xAARRGGBB
          c[0][x] = (entry >> 16) & 255, c[1][x] = (entry >> 8) & 255, c[2][x] = entry & 255;
          c[3][x] = static_cast<uint16_t>(entry >> 24);
        }
      } else {
        for (int k = 0; k < colours; ++k) {
          av_read_image_line2(c[k], planes, strides, desc, 0, y, k, width, 0, 2);
        }
        if (hasAlpha) {
          av_read_image_line2(c[3], planes, strides, desc, 0, y, desc->nb_components - 1, width, 0, 2);
        }
      }
      float* out = map.depth.data() + static_cast<std::size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        float value;
        if (colours == 1) {
          const float code = static_cast<float>(c[0][x]);
          value = full ? code * scale : std::clamp((code - black) / span, 0.0f, 1.0f);
        } else if (c[0][x] == c[1][x] && c[1][x] == c[2][x]) {
          value = static_cast<float>(c[0][x]) * scale;  // grey stored as colour reads as its grey
        } else {
          value = static_cast<float>((0.299 * c[0][x] + 0.587 * c[1][x] + 0.114 * c[2][x]) * scale);
        }
        out[x] = (hasAlpha || paletted) && c[3][x] == 0 ? kBackgroundDepth
                                                       : ToEngineDepth(kind, value, options.farCutoff);
      }
    }
  }

  // The frame as 16-bit RGBA into converted.
  void Convert(AVPixelFormat from, const char* name) {
    const int width = frame->width, height = frame->height;
    toRgb.reset(sws_getCachedContext(toRgb.release(), width, height, from, width, height,
                                     AV_PIX_FMT_RGBA64, SWS_POINT, nullptr, nullptr, nullptr));
    if (toRgb == nullptr) throw IoError(path, std::string("frames of pixel format ") + name + " cannot be read");
    converted.resize(static_cast<std::size_t>(width) * height * 8);
    convertedStride[0] = width * 8;
    uint8_t* const target[4] = {converted.data(), nullptr, nullptr, nullptr};
    sws_scale(toRgb.get(), frame->data, frame->linesize, 0, height, target, convertedStride);
  }
};

DecodedVideo::DecodedVideo(const std::string& path, int threads) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  std::vector<uint8_t> head;
  {
    FILE* file = OpenInput(path);
    FileCloser closer{file};
    head = ReadPrefix(file, kVideoProbeBytes, path);
  }
  if (head.empty()) throw IoError(path, "empty file");
  const AVInputFormat* format = ProbeContents(head);
  if (format == nullptr) throw IoError(path, "not a video (no container FFmpeg recognises)");
  if (!IsContainer(format)) {
    throw IoError(path, std::string("not a video (") + Printable(format->long_name ? format->long_name : format->name) +
                            " data, which is not read as video)");
  }
  AVFormatContext* opened = nullptr;
  AVDictionary* settings = nullptr;
  av_dict_set(&settings, "protocol_whitelist", "file", 0);
  av::ClearLog();
  int status = avformat_open_input(&opened, path.c_str(), format, &settings);
  av_dict_free(&settings);
  if (status < 0) s.Fail("damaged video", status);
  s.input.reset(opened);
  av::ClearLog();
  status = avformat_find_stream_info(opened, nullptr);
  if (status < 0) s.Fail("damaged video", status);
  AVStream* chosen = nullptr;
  for (unsigned i = 0; i < opened->nb_streams; ++i) {
    AVStream* stream = opened->streams[i];
    const bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                       (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
    if (video && chosen == nullptr) {
      chosen = stream;
    } else {
      stream->discard = AVDISCARD_ALL;
    }
  }
  if (chosen == nullptr) throw IoError(path, "no video stream");
  s.stream = chosen->index;
  const AVCodec* codec = avcodec_find_decoder(chosen->codecpar->codec_id);
  if (codec == nullptr) {
    throw IoError(path, std::string("no decoder for its ") + avcodec_get_name(chosen->codecpar->codec_id) + " video");
  }
  s.decoder.reset(avcodec_alloc_context3(codec));
  if (s.decoder == nullptr) throw std::bad_alloc();
  status = avcodec_parameters_to_context(s.decoder.get(), chosen->codecpar);
  if (status < 0) s.Fail("damaged video", status);
  s.decoder->thread_count = threads;
  s.decoder->max_pixels = PixelLimit();
  av::ClearLog();
  status = avcodec_open2(s.decoder.get(), codec, nullptr);
  if (status < 0) s.Fail(std::string("cannot decode its ") + avcodec_get_name(codec->id) + " video", status);

  VideoInfo& info = s.info;
  info.width = chosen->codecpar->width;
  info.height = chosen->codecpar->height;
  auto usable = [](AVRational r) { return r.num > 0 && r.den > 0 && r.num <= 1000 * static_cast<int64_t>(r.den); };
  const AVRational rate = usable(chosen->avg_frame_rate) ? chosen->avg_frame_rate
                          : usable(chosen->r_frame_rate) ? chosen->r_frame_rate
                                                         : AVRational{24, 1};
  info.rate = VideoRate{rate.num, rate.den};
  s.listedFrames = chosen->nb_frames;
  if (chosen->nb_frames > 0) {
    info.frames = chosen->nb_frames;
  } else if (chosen->duration > 0 && chosen->duration != AV_NOPTS_VALUE) {
    info.frames = av_rescale_q(chosen->duration, chosen->time_base, av_inv_q(rate));
  } else if (opened->duration > 0 && opened->duration != AV_NOPTS_VALUE) {
    info.frames = av_rescale_q(opened->duration, AV_TIME_BASE_Q, av_inv_q(rate));
  }
}

DecodedVideo::~DecodedVideo() = default;

const VideoInfo& DecodedVideo::Info() const { return state_->info; }

int64_t DecodedVideo::FramesRead() const { return state_->framesRead; }

bool DecodedVideo::Read(const DepthReadOptions& options, DepthMap& map) {
  State& s = *state_;
  if (!s.Decode()) return false;
  s.ToDepth(options, map);
  av_frame_unref(s.frame.get());
  ++s.framesRead;
  return true;
}

}  // namespace zavol::io
