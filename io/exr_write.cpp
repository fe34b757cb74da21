// Stereogram frames as OpenEXR: half-float R, G, B, A (each 16-bit channel over 65535), ZIP
// compressed, written row by row into the caller's stream.
#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "io/error.h"
#include "io/formats.h"

namespace zavol::io {
namespace {

// OpenEXR's output stream over a C stream, so the frame goes through the same temporary file.
class FileOStream final : public Imf::OStream {
 public:
  FileOStream(FILE* file, const std::string& path) : Imf::OStream(path.c_str()), file_(file), path_(path) {}
  void write(const char c[], int n) override {
    if (n < 0 || std::fwrite(c, 1, static_cast<std::size_t>(n), file_) != static_cast<std::size_t>(n)) {
      throw IoError(path_, std::string("cannot write (") + std::strerror(errno) + ")");
    }
  }
  uint64_t tellp() override {
    const long position = std::ftell(file_);
    return position < 0 ? 0 : static_cast<uint64_t>(position);
  }
  void seekp(uint64_t position) override {
    if (std::fseek(file_, static_cast<long>(position), SEEK_SET) != 0) {
      throw IoError(path_, "cannot seek in the output");
    }
  }

 private:
  FILE* file_;
  std::string path_;
};

class ExrWriter final : public RowWriter {
 public:
  ExrWriter(FILE* out, const std::string& path, int width, int height)
      : stream_(out, path), path_(path), width_(width), row_(static_cast<std::size_t>(width) * 4) {
    Imf::Header header(width, height);
    for (const char* name : {"R", "G", "B", "A"}) header.channels().insert(name, Imf::Channel(Imf::HALF));
    header.compression() = Imf::ZIP_COMPRESSION;
    Guard([&] { file_ = std::make_unique<Imf::OutputFile>(stream_, header, 0); });
  }

  void WriteRow(const Pixel64* row) override {
    for (int x = 0; x < width_; ++x) {
      const uint16_t c[4] = {row[x].r, row[x].g, row[x].b, row[x].a};
      for (int k = 0; k < 4; ++k) row_[static_cast<std::size_t>(x) * 4 + k] = half(c[k] / 65535.0f);
    }
    const Imath::Box2i line(Imath::V2i(0, y_), Imath::V2i(width_ - 1, y_));
    Imf::FrameBuffer frameBuffer;
    const char* names[4] = {"R", "G", "B", "A"};
    for (int k = 0; k < 4; ++k) {
      frameBuffer.insert(names[k], Imf::Slice::Make(Imf::HALF, row_.data() + k, line,
                                                    4 * sizeof(half), 0));
    }
    Guard([&] {
      file_->setFrameBuffer(frameBuffer);
      file_->writePixels(1);
    });
    ++y_;
  }

  void Finish() override {
    Guard([&] { file_.reset(); });  // the library writes its line offsets on close
  }

 private:
  template <class Step>
  void Guard(Step step) {
    try {
      step();
    } catch (const IoError&) {
      throw;
    } catch (const std::exception& e) {
      throw IoError(path_, std::string("cannot write OpenEXR (") + e.what() + ")");
    }
  }

  FileOStream stream_;
  std::string path_;
  int width_;
  int y_ = 0;
  std::vector<half> row_;
  std::unique_ptr<Imf::OutputFile> file_;
};

}  // namespace

std::unique_ptr<RowWriter> MakeExrWriter(FILE* out, const std::string& path, int width, int height) {
  return std::make_unique<ExrWriter>(out, path, width, height);
}

}  // namespace zavol::io
