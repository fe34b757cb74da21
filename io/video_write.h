// Stereogram frames into one video: MP4 (H.264), Matroska (FFV1, lossless), WebM (VP9) and
// animated GIF through FFmpeg's libraries, and YUV4MPEG2 or raw 16-bit RGB streams for other
// programs. Depends on FFmpeg's libraries; never on the engine beyond its pixel type.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "io/formats.h"

namespace zavol::io {

//   kMp4    H.264 (libx264), yuv420p, the index at the front so that browsers play it at once
//   kMkv    FFV1 in Matroska, bgr0: the 8-bit dots exactly
//   kWebm   VP9 (libvpx), yuv420p, constant quality
//   kGif    animated GIF, one palette of 256 colours taken from the first frame
//   kY4m    YUV4MPEG2, 8-bit 4:4:4 (C444), limited range BT.601
//   kRgb48  raw frames, no header: 16-bit little-endian red, green, blue, the engine's words
enum class VideoFormat { kMp4, kMkv, kWebm, kGif, kY4m, kRgb48 };

// By the extension, case-insensitive: .mp4, .mkv, .webm, .gif, .y4m. False for any other.
bool VideoFormatForPath(const std::string& path, VideoFormat* format);
// By name: mp4, mkv, webm, gif, y4m, rgb48. False for any other.
bool VideoFormatForName(const std::string& name, VideoFormat* format);
// Whether the format is a stream that may go to a pipe (y4m, rgb48).
bool IsFrameStream(VideoFormat format);
// The format's name as --format takes it: "mp4", "y4m"...
const char* VideoFormatName(VideoFormat format);

// Frames per second as a fraction.
struct VideoRate {
  int num = 24;
  int den = 1;
};
// "24", "29.97", "30000/1001" or a name such as "ntsc"; false unless it is above 0 and at most
// 1000 frames per second.
bool ParseVideoRate(const std::string& text, VideoRate* rate);

struct VideoWriteOptions {
  std::string codec;   // an FFmpeg encoder instead of the container's own; empty: its own
  VideoRate rate;
  int crf = -1;        // the encoder's constant-quality setting; -1: its default
  std::string preset;  // the encoder's speed preset; empty: its default
  int threads = 0;     // encoder threads; 0: the encoder's choice
  bool verbose = false;  // the encoder's own log lines on stderr
};

// Why the options cannot make a video of this format ("--crf 60: libx264 takes 0 to 51"), or
// empty; checked against what the encoder declares, without opening it (the video opens it
// once). warning: an option the encoder has no use for ("--crf has no effect: ..."), or empty.
std::string VideoOptionsProblem(VideoFormat format, const VideoWriteOptions& options,
                                std::string* warning);

// One frame on its way into the video: the engine's rows in order, top to bottom (RowWriter),
// then Finish, which converts it for the encoder on the calling thread; frames are filled on
// any threads, each by one at a time.
class VideoFrame : public RowWriter {
 public:
  // Makes the frame ready for the next frame's rows, after the writer has taken it.
  virtual void Begin() = 0;
};

class VideoWriter {
 public:
  // Unfinished, the video is abandoned: no file appears under its name.
  virtual ~VideoWriter() = default;
  // A frame to fill, reusable after Write.
  virtual std::unique_ptr<VideoFrame> NewFrame() = 0;
  // The next frame of the video, in order, from one thread. Throws IoError.
  virtual void Write(VideoFrame& frame) = 0;
  // Frames the encoder has given back and the file holds: behind the frames written while the
  // encoder looks ahead (x264 holds dozens), all of them once Finish returns true.
  virtual int64_t FramesOut() const = 0;
  // After the last frame: flushes the encoder and puts the file in place. The flush can take
  // as long as encoding the frames the encoder still holds, so progress is called after each
  // frame it gives back (and before the file's end is written); when progress returns false
  // the video is abandoned, nothing appears under its name, and Finish returns false. Throws
  // IoError.
  virtual bool Finish(const std::function<bool()>& progress) = 0;
  // The video's sides: the frames' own, or rounded up to even numbers for 4:2:0 encoders
  // (which need them) by repeating the last column and row.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

// A video of frames of width x height at path, written under a temporary name until Finish;
// "-" is standard output (frame streams only). Throws IoError.
std::unique_ptr<VideoWriter> OpenVideoWriter(VideoFormat format, const std::string& path,
                                             int width, int height,
                                             const VideoWriteOptions& options);

}  // namespace zavol::io
