// FFmpeg's errors in words: av_strerror for the code, the last error line of its log for the
// detail the code does not carry (which atom, which header).
#include "io/av_support.h"

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>

#include "io/error.h"

namespace zavol::io::av {
namespace {

thread_local std::string lastLine;
std::atomic<bool> showLog{false};

void KeepErrorLines(void* context, int level, const char* format, va_list args) {
  const bool show = showLog.load() && level <= AV_LOG_INFO;
  if (level > AV_LOG_ERROR && !show) return;
  int prefix = 1;
  char line[320];
  av_log_format_line2(context, level, format, args, line, sizeof line, &prefix);
  // FFmpeg's own prefix names its context ("[mov,mp4 @ 0x...] "): the address is noise.
  std::string kept = line;
  if (!kept.empty() && kept[0] == '[') {
    const std::size_t end = kept.find("] ");
    if (end != std::string::npos) kept.erase(0, end + 2);
  }
  while (!kept.empty() && (kept.back() == '\n' || kept.back() == '\r' || kept.back() == ' ')) kept.pop_back();
  if (show && !kept.empty()) std::fprintf(stderr, "zavol: ffmpeg: %s\n", kept.c_str());
  if (!kept.empty() && level <= AV_LOG_ERROR) lastLine = kept.substr(0, 200);
}

}  // namespace

FramePtr NewFrame() {
  AVFrame* frame = av_frame_alloc();
  if (frame == nullptr) throw std::bad_alloc();
  return FramePtr(frame);
}

PacketPtr NewPacket() {
  AVPacket* packet = av_packet_alloc();
  if (packet == nullptr) throw std::bad_alloc();
  return PacketPtr(packet);
}

void QuietLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(KeepErrorLines); });
}

void ShowLog(bool show) { showLog.store(show); }

void ClearLog() { lastLine.clear(); }

std::string LastLogLine() { return lastLine; }

std::string Reason(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::string reason = text;
  if (!lastLine.empty() && lastLine != reason) reason += ": " + lastLine;
  return reason;
}

void Fail(const std::string& path, const std::string& what, int code) {
  throw IoError(path, what + " (" + Printable(Reason(code), 160) + ")");
}

}  // namespace zavol::io::av
