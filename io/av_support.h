// What the video reader and writer share over FFmpeg's libraries: owners that free every
// AVFrame, AVPacket and codec context on every path, error texts, and FFmpeg's log turned into
// the reason of our one-line messages. Internal to io/; depends on libavcodec and libavutil.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace zavol::io::av {

struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ScaleFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleFree>;

FramePtr NewFrame();    // throws std::bad_alloc
PacketPtr NewPacket();  // throws std::bad_alloc

// FFmpeg's text for an error code, with the last thing FFmpeg's log said on this thread when it
// adds to it: "Invalid data found when processing input: moov atom not found".
std::string Reason(int code);

// Throws IoError for path: what failed, then the reason in brackets ("cannot encode (...)").
[[noreturn]] void Fail(const std::string& path, const std::string& what, int code);

// FFmpeg's log goes nowhere on its own: its error lines are kept per thread for Reason, so the
// user sees one line that names the file. Idempotent; every entry point calls it.
void QuietLog();

// With show, the encoders' and decoders' own lines down to FFmpeg's "info" level also go to
// stderr ("zavol: ffmpeg: ..."), for --verbose; without, they are kept quiet.
void ShowLog(bool show);

// Forgets what the log said on this thread, before a call whose failure Reason will explain.
void ClearLog();
// The last error line FFmpeg logged on this thread since ClearLog, without its line break.
std::string LastLogLine();

}  // namespace zavol::io::av
