// PNG frames written directly: RGB, 8 or 16 bits, no filtering, the image data cut into bands
// of rows that are deflated independently with libdeflate (on several threads when asked) and
// joined into one zlib stream. The bytes do not depend on the number of threads.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include "io/deflate_join.h"
#include "io/error.h"
#include "io/formats.h"
#include "render/thread_team.h"

namespace zavol::io {
namespace {

// Raw bytes per band: big enough that the band's sync-flush marker and the cut in the
// compressor's window cost nothing measurable, small enough to spread a frame over threads.
constexpr std::size_t kBandBytes = std::size_t{1} << 20;

void PutBigEndian32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

class PngWriter final : public RowWriter {
 public:
  PngWriter(FILE* out, const std::string& path, int width, int height, const WriteOptions& options)
      : out_(out), path_(path), width_(width), height_(height),
        sixteen_(options.pngBits == 16), grey_(options.grey),
        level_(std::clamp(options.compression, 0, 9)), zlibBands_(options.zlibBands) {
    rowBytes_ = 1 + static_cast<std::size_t>(width) * (sixteen_ ? 2 : 1) * (grey_ ? 1 : 3);
    rowsPerBand_ = static_cast<int>(std::max<std::size_t>(1, kBandBytes / rowBytes_));
    const int threads = std::max(1, options.threads);
    slots_.resize(static_cast<std::size_t>(threads) + (threads > 1 ? 2 : 0));
    for (Slot& slot : slots_) {
      slot.compressor = libdeflate_alloc_compressor(level_);
      if (slot.compressor == nullptr) {
        throw IoError(path_, "cannot start the compressor (out of memory)");
      }
    }
    WriteHeader();
    // A helper the system refuses leaves its bands to the others, or to the writing thread when
    // none starts.
    helpers_.Start(threads - 1, [this](int) { HelperLoop(); });
  }

  ~PngWriter() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    helpers_.Join();
    for (Slot& slot : slots_) {
      if (slot.compressor != nullptr) libdeflate_free_compressor(slot.compressor);
      if (slot.streamReady) deflateEnd(&slot.stream);
    }
  }

  void WriteRow(const Pixel64* row) override {
    if (filling_ == nullptr) filling_ = AcquireSlot();
    Slot& slot = *filling_;
    unsigned char* b = slot.raw.data() + slot.rawLength;
    *b++ = 0;  // filter type None
    if (grey_) {
      for (int x = 0; x < width_; ++x) {
        if (sixteen_) *b++ = row[x].r >> 8;
        *b++ = sixteen_ ? row[x].r & 0xFF : row[x].r >> 8;
      }
    } else if (sixteen_) {
      for (int x = 0; x < width_; ++x, b += 6) {
        const Pixel64 p = row[x];
        b[0] = p.r >> 8, b[1] = p.r & 0xFF, b[2] = p.g >> 8;
        b[3] = p.g & 0xFF, b[4] = p.b >> 8, b[5] = p.b & 0xFF;
      }
    } else {
      // Dots are 8-bit colours widened by 256: the high byte is the colour.
      for (int x = 0; x < width_; ++x, b += 3) {
        const Pixel64 p = row[x];
        b[0] = p.r >> 8, b[1] = p.g >> 8, b[2] = p.b >> 8;
      }
    }
    slot.rawLength += rowBytes_;
    ++rowsWritten_;
    if (++slot.rows == rowsPerBand_ && rowsWritten_ < height_) Submit(false);
  }

  void Finish() override {
    if (rowsWritten_ != height_) throw IoError(path_, "frame ended before its last row");
    if (filling_ == nullptr) filling_ = AcquireSlot();  // an empty image still ends the stream
    Submit(true);
    std::unique_lock<std::mutex> lock(mutex_);
    while (emitted_ < submitted_ && failure_.empty()) {
      if (EmitReady(lock)) continue;
      if (!pending_.empty()) {
        CompressOne(lock);
      } else {
        wake_.wait(lock);
      }
    }
    lock.unlock();
    if (!failure_.empty()) throw IoError(path_, failure_);
    static const unsigned char kEnd[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    Write(kEnd, sizeof kEnd);
    if (std::fflush(out_) != 0) FailWrite();
  }

 private:
  enum class State { kFree, kFilling, kPending, kCompressing, kPacked };
  struct Slot {
    libdeflate_compressor* compressor = nullptr;
    std::vector<unsigned char> deflated;  // the band's own stream, before it joins the others
    z_stream stream{};  // zlib, only where the joining fails (see Compress)
    bool streamReady = false;
    std::vector<unsigned char> raw;
    std::size_t rawLength = 0;
    std::vector<unsigned char> packed;
    std::size_t packedLength = 0;
    uint32_t adler = 0;
    int rows = 0;
    int band = 0;
    bool last = false;
    State state = State::kFree;
  };

  void WriteHeader() {
    unsigned char header[8 + 25];
    static const unsigned char kSignature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
    std::memcpy(header, kSignature, 8);
    unsigned char* ihdr = header + 8;
    PutBigEndian32(ihdr, 13);
    std::memcpy(ihdr + 4, "IHDR", 4);
    PutBigEndian32(ihdr + 8, static_cast<uint32_t>(width_));
    PutBigEndian32(ihdr + 12, static_cast<uint32_t>(height_));
    ihdr[16] = sixteen_ ? 16 : 8;
    ihdr[17] = grey_ ? 0 : 2;  // grey or RGB
    ihdr[18] = 0, ihdr[19] = 0, ihdr[20] = 0;  // deflate, adaptive filtering, no interlace
    PutBigEndian32(ihdr + 21, libdeflate_crc32(0, ihdr + 4, 17));
    Write(header, sizeof header);
  }

  Slot* AcquireSlot() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      // After a failed band nothing more is written, so no slot would come free.
      if (!failure_.empty()) throw IoError(path_, failure_);
      for (Slot& slot : slots_) {
        if (slot.state == State::kFree) {
          slot.state = State::kFilling;
          slot.raw.resize(rowBytes_ * rowsPerBand_);
          slot.rawLength = 0;
          slot.rows = 0;
          slot.band = submitted_;
          return &slot;
        }
      }
      if (EmitReady(lock)) continue;
      if (!pending_.empty()) {
        CompressOne(lock);
      } else {
        wake_.wait(lock);
      }
    }
  }

  void Submit(bool last) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      filling_->last = last;
      filling_->state = State::kPending;
      pending_.push_back(filling_);
      ++submitted_;
    }
    filling_ = nullptr;
    wake_.notify_one();
    if (helpers_.Size() == 0) {
      // Alone: compress and write each band as soon as it is complete.
      std::unique_lock<std::mutex> lock(mutex_);
      CompressOne(lock);
      while (EmitReady(lock)) {}
    }
  }

  // Takes the oldest pending band and deflates it with the lock released.
  void CompressOne(std::unique_lock<std::mutex>& lock) {
    Slot* slot = pending_.front();
    pending_.pop_front();
    slot->state = State::kCompressing;
    lock.unlock();
    // On a helper thread nothing may escape: memory for a band is a failure like any other.
    std::string error;
    try {
      error = Compress(*slot);
    } catch (const std::bad_alloc&) {
      error = "out of memory while compressing";
    }
    lock.lock();
    if (!error.empty() && failure_.empty()) failure_ = error;
    slot->state = State::kPacked;
    wake_.notify_all();
  }

  std::string Compress(Slot& slot) {
    slot.adler = libdeflate_adler32(1, slot.raw.data(), slot.rawLength);
    // The zlib header before the first band; room for the checksum after the last.
    const std::size_t lead = slot.band == 0 ? 2 : 0;
    if (!(!zlibBands_ && DeflateWithLibdeflate(slot, lead)) && !DeflateWithZlib(slot, lead)) {
      return "compressor failed";
    }
    if (lead != 0) {
      // zlib header: deflate with a 32 KiB window, the level class, the check bits.
      const unsigned levelClass = level_ <= 1 ? 0 : level_ <= 5 ? 1 : level_ == 6 ? 2 : 3;
      const unsigned cmf = 0x78, flags = levelClass << 6;
      slot.packed[0] = static_cast<unsigned char>(cmf);
      slot.packed[1] = static_cast<unsigned char>(flags + 31 - (cmf * 256 + flags) % 31);
    }
    return {};
  }

  // The band as a stream of its own, then (unless it is the last) made to continue into the
  // next band's: its final block made non-final and an empty stored block after it.
  bool DeflateWithLibdeflate(Slot& slot, std::size_t lead) {
    const std::size_t bound = libdeflate_deflate_compress_bound(slot.compressor, slot.rawLength);
    slot.deflated.resize(bound);
    std::size_t length = libdeflate_deflate_compress(slot.compressor, slot.raw.data(),
                                                     slot.rawLength, slot.deflated.data(), bound);
    if (length == 0) return false;
    if (!slot.last && !MakeStreamContinue(slot.deflated, length, &length)) return false;
    if (slot.packed.size() < lead + length + 4) slot.packed.resize(lead + length + 4);
    std::memcpy(slot.packed.data() + lead, slot.deflated.data(), length);
    slot.packedLength = lead + length;
    return true;
  }

  // zlib's sync flush, where a libdeflate stream could not be joined (never seen: a safety net
  // that keeps the file valid).
  bool DeflateWithZlib(Slot& slot, std::size_t lead) {
    z_stream& z = slot.stream;
    if (!slot.streamReady) {
      if (deflateInit2(&z, level_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
      slot.streamReady = true;
    } else if (deflateReset(&z) != Z_OK) {
      return false;
    }
    // Room for the worst case, the sync-flush marker and the checksum after the last band.
    const std::size_t room = lead + deflateBound(&z, static_cast<uLong>(slot.rawLength)) + 16;
    if (slot.packed.size() < room) slot.packed.resize(room);
    z.next_in = slot.raw.data();
    z.avail_in = static_cast<uInt>(slot.rawLength);
    z.next_out = slot.packed.data() + lead;
    z.avail_out = static_cast<uInt>(room - lead - 4);
    const int result = deflate(&z, slot.last ? Z_FINISH : Z_SYNC_FLUSH);
    if (result != (slot.last ? Z_STREAM_END : Z_OK) || z.avail_in != 0) return false;
    slot.packedLength = room - 4 - z.avail_out;
    return true;
  }

  // Writes the packed bands that are next in order; true when it wrote any. Called with the
  // lock held (only the writing thread calls it); the file is written with the lock released.
  bool EmitReady(std::unique_lock<std::mutex>& lock) {
    bool any = false;
    // A band that failed has nothing to write, and the stream must not go on past it.
    while (failure_.empty()) {
      Slot* next = nullptr;
      for (Slot& slot : slots_) {
        if (slot.state == State::kPacked && slot.band == emitted_) next = &slot;
      }
      if (next == nullptr) return any;
      lock.unlock();
      adler_ = static_cast<uint32_t>(adler32_combine(adler_, next->adler,
                                                     static_cast<z_off_t>(next->rawLength)));
      std::size_t length = next->packedLength;
      if (next->last) {
        PutBigEndian32(next->packed.data() + length, adler_);
        length += 4;
      }
      WriteChunk(next->packed.data(), length);
      lock.lock();
      next->state = State::kFree;
      ++emitted_;
      any = true;
      wake_.notify_all();
    }
    return any;
  }

  void WriteChunk(const unsigned char* data, std::size_t length) {
    unsigned char head[8];
    PutBigEndian32(head, static_cast<uint32_t>(length));
    std::memcpy(head + 4, "IDAT", 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    crc = libdeflate_crc32(crc, data, length);
    unsigned char tail[4];
    PutBigEndian32(tail, static_cast<uint32_t>(crc));
    Write(head, 8);
    Write(data, length);
    Write(tail, 4);
  }

  void HelperLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      CompressOne(lock);
    }
  }

  void Write(const void* data, std::size_t length) {
    if (std::fwrite(data, 1, length, out_) != length) FailWrite();
  }
  [[noreturn]] void FailWrite() {
    throw IoError(path_, std::string("cannot write (") + std::strerror(errno) + ")");
  }

  FILE* out_;
  std::string path_;
  int width_, height_;
  bool sixteen_;
  bool grey_;
  int level_;
  bool zlibBands_;  // every band through zlib (the fallback path)
  std::size_t rowBytes_ = 0;
  int rowsPerBand_ = 1;
  int rowsWritten_ = 0;
  Slot* filling_ = nullptr;
  uint32_t adler_ = 1;  // of no bytes

  std::vector<Slot> slots_;
  ThreadTeam helpers_;  // the compressing threads beside the one that feeds the rows
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Slot*> pending_;
  int submitted_ = 0;
  int emitted_ = 0;
  bool stopping_ = false;
  std::string failure_;
};

}  // namespace

std::unique_ptr<RowWriter> MakePamWriter(FILE* out, const std::string& path, int width, int height);
std::unique_ptr<RowWriter> MakeExrWriter(FILE* out, const std::string& path, int width, int height);
std::unique_ptr<RowWriter> MakePfmWriter(FILE* out, const std::string& path, int width, int height);

std::unique_ptr<RowWriter> MakeRowWriter(ImageFormat format, FILE* out, const std::string& path,
                                         int width, int height, const WriteOptions& options) {
  if (format == ImageFormat::kPam) return MakePamWriter(out, path, width, height);
  if (format == ImageFormat::kExr) return MakeExrWriter(out, path, width, height);
  if (format == ImageFormat::kPfm) return MakePfmWriter(out, path, width, height);
  return std::make_unique<PngWriter>(out, path, width, height, options);
}

bool FormatForPath(const std::string& path, ImageFormat* format) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return FormatForName(extension, format);
}

bool FormatForName(const std::string& name, ImageFormat* format) {
  if (name == "png") *format = ImageFormat::kPng;
  else if (name == "pam") *format = ImageFormat::kPam;
  else if (name == "exr") *format = ImageFormat::kExr;
  else if (name == "pfm") *format = ImageFormat::kPfm;
  else return false;
  return true;
}

}  // namespace zavol::io
