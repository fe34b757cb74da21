// The frame streams (y4m, raw rgb48), written by us without FFmpeg, so that choosing them never
// loads the video module; and the frame rate as --fps gives it, in the forms that need no
// FFmpeg to read.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "io/bt601.h"
#include "io/error.h"
#include "io/files.h"
#include "io/video_streams.h"

namespace zavol::io {
namespace {

// The three planes of 4:4:4, one row of each at a time.
class Y4mFrame final : public VideoFrame {
 public:
  Y4mFrame(int width, int height)
      : width_(width), height_(height), planes_(static_cast<std::size_t>(width) * height * 3) {}
  void Begin() override { y_ = 0; }
  void WriteRow(const Pixel64* row) override {
    if (y_ >= height_) return;
    const std::size_t plane = static_cast<std::size_t>(width_) * height_;
    uint8_t* luma = planes_.data() + static_cast<std::size_t>(y_++) * width_;
    for (int x = 0; x < width_; ++x) {
      const int r = row[x].r >> 8, g = row[x].g >> 8, b = row[x].b >> 8;
      luma[x] = Luma(r, g, b);
      luma[plane + x] = BlueDifference<8>(r, g, b);
      luma[2 * plane + x] = RedDifference<8>(r, g, b);
    }
  }
  void Finish() override {}
  const std::vector<uint8_t>& Planes() const { return planes_; }

 private:
  int width_, height_;
  std::vector<uint8_t> planes_;
  int y_ = 0;
};

class Rgb48Frame final : public VideoFrame {
 public:
  Rgb48Frame(int width, int height)
      : width_(width), height_(height), bytes_(static_cast<std::size_t>(width) * height * 6) {}
  void Begin() override { y_ = 0; }
  void WriteRow(const Pixel64* row) override {
    if (y_ >= height_) return;
    uint8_t* out = bytes_.data() + static_cast<std::size_t>(y_++) * width_ * 6;
    for (int x = 0; x < width_; ++x) {
      for (const uint16_t word : {row[x].r, row[x].g, row[x].b}) {
        *out++ = static_cast<uint8_t>(word & 0xFF);
        *out++ = static_cast<uint8_t>(word >> 8);
      }
    }
  }
  void Finish() override {}
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  int width_, height_;
  std::vector<uint8_t> bytes_;
  int y_ = 0;
};

class FrameStream final : public VideoWriter {
 public:
  FrameStream(VideoFormat format, const std::string& path, int width, int height, VideoRate rate)
      : format_(format), path_(path == "-" ? "standard output" : path), width_(width),
        height_(height), rate_(rate), file_(path) {}

  std::unique_ptr<VideoFrame> NewFrame() override {
    if (format_ == VideoFormat::kY4m) return std::make_unique<Y4mFrame>(width_, height_);
    return std::make_unique<Rgb48Frame>(width_, height_);
  }

  void Write(VideoFrame& frame) override {
    if (format_ == VideoFormat::kRgb48) {
      Put(static_cast<Rgb48Frame&>(frame).Bytes());
      ++framesOut_;
      return;
    }
    if (!headerWritten_) {
      const std::string header = "YUV4MPEG2 W" + std::to_string(width_) + " H" + std::to_string(height_) +
                                 " F" + std::to_string(rate_.num) + ":" + std::to_string(rate_.den) +
                                 " Ip A1:1 C444 XCOLORRANGE=LIMITED\n";
      Put(std::vector<uint8_t>(header.begin(), header.end()));
      headerWritten_ = true;
    }
    static const std::vector<uint8_t> kFrameMark = {'F', 'R', 'A', 'M', 'E', '\n'};
    Put(kFrameMark);
    Put(static_cast<Y4mFrame&>(frame).Planes());
    ++framesOut_;
  }

  int64_t FramesOut() const override { return framesOut_; }

  bool Finish(const std::function<bool()>& progress) override {
    if (progress && !progress()) return false;
    file_.Commit();
    return true;
  }

  int Width() const override { return width_; }
  int Height() const override { return height_; }

 private:
  void Put(const std::vector<uint8_t>& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.Stream()) != bytes.size()) {
      throw IoError(path_, std::string("cannot write (") + std::strerror(errno) + ")");
    }
  }

  VideoFormat format_;
  std::string path_;
  int width_, height_;
  VideoRate rate_;
  OutputFile file_;  // "-": standard output
  bool headerWritten_ = false;
  int64_t framesOut_ = 0;
};

}  // namespace

std::unique_ptr<VideoWriter> OpenFrameStream(VideoFormat format, const std::string& path,
                                             int width, int height, VideoRate rate) {
  return std::make_unique<FrameStream>(format, path, width, height, rate);
}

std::string FrameStreamProblem(VideoFormat format, const VideoWriteOptions& options) {
  const std::string frames = std::string(VideoFormatName(format)) + " frames are not encoded";
  if (!options.codec.empty()) return "--codec: " + frames;
  if (options.crf >= 0) return "--crf: " + frames;
  if (!options.preset.empty()) return "--preset: " + frames;
  return "";
}

bool ParsePlainRate(const std::string& text, VideoRate* rate, bool* plain) {
  // Digits, or digits / digits (or :): what FFmpeg reads as the same ratio, reduced.
  const std::size_t split = text.find_first_of("/:");
  const std::string num = text.substr(0, split);
  const std::string den = split == std::string::npos ? "1" : text.substr(split + 1);
  auto digits = [](const std::string& part) {
    return !part.empty() && part.size() <= 9 &&
           part.find_first_not_of("0123456789") == std::string::npos;
  };
  *plain = digits(num) && digits(den);
  if (!*plain) return false;
  int64_t n = std::strtoll(num.c_str(), nullptr, 10), d = std::strtoll(den.c_str(), nullptr, 10);
  if (n <= 0 || d <= 0) return false;
  const int64_t common = std::gcd(n, d);
  n /= common;
  d /= common;
  // Beyond this FFmpeg approximates the ratio: left to it.
  if (n > 1001000 || d > 1001000) {
    *plain = false;
    return false;
  }
  if (n > 1000 * d) return false;
  rate->num = static_cast<int>(n);
  rate->den = static_cast<int>(d);
  return true;
}

}  // namespace zavol::io
