// Muxing as FFmpeg's muxing example does it: the stream's parameters from the open encoder, the
// header, packets interleaved as the encoder gives them, the trailer; the file opened by name,
// since the MP4 muxer opens it again to move its index to the front.
#include "io/video_mux.h"

#include <cstring>
#include <new>

#include "io/error.h"

namespace zavol::io {

VideoMuxer::VideoMuxer(const EncodedFormat& format, const std::string& path, bool verbose)
    : out_(path), format_(format.format) {
  av::QuietLog();
  av::ShowLog(verbose);
  av::ClearLog();
  AVFormatContext* context = nullptr;
  const int status = avformat_alloc_output_context2(&context, nullptr, format.muxer, out_.TemporaryPath().c_str());
  if (status < 0 || context == nullptr) av::Fail(out_.Path(), "cannot start the video", status);
  context_.reset(context);
}

VideoMuxer::~VideoMuxer() {
  // The GIF muxer holds the last picture's packet back until its trailer and frees it only
  // there, so an abandoned GIF still gets its trailer: into the temporary, which is removed,
  // or onto the device it was streaming to.
  if (headerWritten_ && !trailerWritten_ && std::strcmp(context_->oformat->name, "gif") == 0) {
    av_write_trailer(context_.get());
  }
}

void VideoMuxer::Start(const AVCodecContext& codec) {
  stream_ = avformat_new_stream(context_.get(), nullptr);
  if (stream_ == nullptr) throw std::bad_alloc();
  stream_->time_base = codec.time_base;
  stream_->avg_frame_rate = codec.framerate;
  stream_->r_frame_rate = codec.framerate;
  int status = avcodec_parameters_from_context(stream_->codecpar, &codec);
  if (status < 0) av::Fail(out_.Path(), "cannot start the video", status);
  status = avio_open(&context_->pb, out_.TemporaryPath().c_str(), AVIO_FLAG_WRITE);
  if (status < 0) av::Fail(out_.Path(), "cannot create the file", status);
  AVDictionary* muxing = nullptr;
  // The index moves to the front by reading the file back, which a device written in place
  // (/dev/null) cannot give.
  if (format_ == VideoFormat::kMp4 && !out_.InPlace()) av_dict_set(&muxing, "movflags", "+faststart", 0);
  status = avformat_write_header(context_.get(), &muxing);
  av_dict_free(&muxing);
  if (status < 0) av::Fail(out_.Path(), "cannot write the video's header", status);
  headerWritten_ = true;
}

void VideoMuxer::Write(AVPacket* packet, AVRational timeBase) {
  av_packet_rescale_ts(packet, timeBase, stream_->time_base);
  packet->stream_index = stream_->index;
  const int status = av_interleaved_write_frame(context_.get(), packet);
  if (status < 0) av::Fail(out_.Path(), "cannot write", status);
}

void VideoMuxer::Finish() {
  av::ClearLog();
  int status = av_write_trailer(context_.get());
  trailerWritten_ = true;
  if (status < 0) av::Fail(out_.Path(), "cannot write the video's end", status);
  status = avio_closep(&context_->pb);
  if (status < 0) av::Fail(out_.Path(), "cannot write", status);
  out_.Commit();
}

}  // namespace zavol::io
