// Rows into pictures. The dots are 8-bit colours, so every encoded format takes each channel's
// high byte, as 8-bit PNG output does; YUV is BT.601 in limited range, whether converted here
// (yuv420p, the common case, row by row as the rows come) or by FFmpeg's scaler.
#include "io/video_pixels.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "io/bt601.h"

namespace zavol::io {
namespace {

bool IsYuv(AVPixelFormat pixels) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixels);
  return (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0 && desc->nb_components >= 3;
}

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

}  // namespace

void TagColours(AVCodecContext& codec) {
  if (!IsYuv(codec.pix_fmt)) return;
  codec.colorspace = AVCOL_SPC_SMPTE170M;
  codec.color_range = AVCOL_RANGE_MPEG;
  codec.color_primaries = AVCOL_PRI_BT709;  // the primaries of sRGB
  codec.color_trc = AVCOL_TRC_IEC61966_2_1;
}

PictureFrame::PictureFrame(AVPixelFormat pixels, int width, int height) : picture_(av::NewFrame()) {
  picture_->format = pixels;
  picture_->width = width;
  picture_->height = height;
  if (av_frame_get_buffer(picture_.get(), 0) < 0) throw std::bad_alloc();
}

void PictureFrame::MakeWritable() {
  if (av_frame_make_writable(picture_.get()) < 0) throw std::bad_alloc();
}

std::unique_ptr<PictureFrame> NewPictureFrame(int width, int height, const AVCodecContext& codec) {
  if (codec.pix_fmt == AV_PIX_FMT_YUV420P) return std::make_unique<Yuv420Frame>(width, height, codec);
  return std::make_unique<ScaledFrame>(width, height, codec);
}

}  // namespace zavol::io
