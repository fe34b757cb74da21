// One frame's classic rows built ahead on helper threads. Which pixels of a row take new dots
// depends on the row's separations alone, so the rows are cut into chunks and each chunk passes
// two stages on whichever thread takes it: count (its separations, kept for the build, and how
// many numbers its new dots draw) and build (from the generator's state at its first row,
// reached by jumping over the draws of every chunk above it). The row loop asks for the rows in
// order; a row is handed over once its chunk is built and the colours it keeps from the row
// above are filled in. Portable; no I/O.
#include "render/parallel_render.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "render/dots.h"
#include "render/random.h"
#include "render/row_builder.h"
#include "render/separation_table.h"
#include "render/thread_team.h"

namespace zavol {
namespace {

using rows::RowMode;

// Pixels per chunk: enough work to hide a lock and a wake-up (tens of microseconds), few enough
// rows that the chunks in flight stay in the processor's caches.
constexpr int kChunkPixels = 1 << 15;
// Below this many pixels per thread a thread costs more to start than it saves.
constexpr int64_t kPixelsPerThread = int64_t{1} << 17;
// New dots for rows built apart (ApplyRow): finished words (alpha 65535).
template <class Ramp>
class ApartRampDots {
 public:
  explicit ApartRampDots(const Ramp& ramp) : ramp_(ramp) {}
  void New(int x, Pixel64& slot) {
    ramp_.New(x, slot);
    slot.a = 0xFFFF;
  }
  bool fromAbove = false;  // ramps always have a colour

 private:
  Ramp ramp_;
};

// Where the pattern has no pixel, the ordered rows' dot keeps the row buffer's colour (the row
// above's): here a marker for it.
class ApartPatternDots {
 public:
  ApartPatternDots(PatternReader& pattern, int y) : pattern_(&pattern), y_(y) {}
  void New(int x, Pixel64& slot) {
    if (pattern_->Read(x, y_, &slot)) {
      slot.a = 0xFFFF;
    } else {
      slot = rows::AboveMarker(x);
      fromAbove = true;
    }
  }
  bool fromAbove = false;

 private:
  PatternReader* pattern_;
  int y_;
};

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

// The frame's rows, their chunks and the threads' shared state. Every field below the mutex is
// read and written under it; a chunk's buffers belong to whichever stage holds the chunk.
class ThreadedRowBuilder final : public RowBuilder {
 public:
  ThreadedRowBuilder(const StereogramSettings& settings, const FramePlan& plan,
                     const InPlaceRows* inPlace, int threads)
      : settings_(settings), plan_(plan), separations_(plan.rule),
        inPlace_(inPlace != nullptr ? *inPlace : InPlaceRows{nullptr, 0}),
        width_(plan.width()), height_(plan.height()),
        preventGhosting_(plan.preventGhosting),
        // The whole frame has a place: rows are built there.
        direct_(inPlace != nullptr) {
    chunkRows_ = std::max(1, std::min(kChunkPixels / width_, height_ / (4 * threads)));
    chunkCount_ = (height_ + chunkRows_ - 1) / chunkRows_;
    threads_ = std::min(threads, chunkCount_);
    slotCount_ = 2 * threads_ + 2;
  }

  int threads() const { return threads_; }

  // The working memory, in one block: false when it cannot be had.
  bool Allocate() {
    const uint64_t columns = static_cast<uint64_t>(width_);
    separationStride_ = rows::SeparationSlots(static_cast<std::size_t>(columns));
    markStride_ = rows::MarkSlots(static_cast<std::size_t>(columns));
    const uint64_t slotRows = static_cast<uint64_t>(slotCount_) * chunkRows_;
    const uint64_t pixels = direct_ ? 0 : slotRows * columns * sizeof(Pixel64);
    const uint64_t separations = slotRows * separationStride_ * sizeof(int32_t);
    bitWords_ = rows::NewDotBits::Words(static_cast<std::size_t>(columns));
    const uint64_t bits = slotRows * bitWords_ * sizeof(uint64_t);
    const uint64_t marks = static_cast<uint64_t>(threads_) * markStride_;
    const uint64_t chunks = static_cast<uint64_t>(chunkCount_) *
                            (sizeof(uint64_t) + sizeof(uint32_t) + sizeof(uint8_t));
    const uint64_t total = pixels + separations + bits + marks + chunks + height_ + 64;
    if (total > SIZE_MAX) return false;
    block_.reset(std::calloc(1, static_cast<std::size_t>(total)));
    if (!block_) return false;
    char* at = static_cast<char*>(block_.get());
    auto take = [&at](uint64_t bytes) {
      char* part = at;
      at += bytes;
      return part;
    };
    pixels_ = reinterpret_cast<Pixel64*>(take(pixels));
    separationRows_ = reinterpret_cast<int32_t*>(take(separations));
    bitRows_ = reinterpret_cast<uint64_t*>(take(bits));
    draws_ = reinterpret_cast<uint64_t*>(take(chunkCount_ * sizeof(uint64_t)));
    startStates_ = reinterpret_cast<uint32_t*>(take(chunkCount_ * sizeof(uint32_t)));
    stages_ = reinterpret_cast<uint8_t*>(take(static_cast<uint64_t>(chunkCount_)));
    fromAbove_ = reinterpret_cast<uint8_t*>(take(static_cast<uint64_t>(height_)));
    marks_ = reinterpret_cast<uint8_t*>(take(marks));
    return true;
  }

  void Start(uint32_t seed, const DotSources& sources) override {
    sources_ = sources;
    dots_ = sources.pattern != nullptr ? kPattern : settings_.RampMode != kRampRgb ? kHsv : kRgb;
    startStates_[0] = seed;
  }

  // Row y once its chunk is built, taking counts and builds meanwhile (member 0's marks).
  void Build(int y) override {
    const int chunk = y / chunkRows_;
    if (y == FirstRow(chunk)) {
      std::unique_lock<std::mutex> lock(mutex_);
      // Every row above this chunk has been handed over, and only the chunk just above still
      // lends a row (its last, to this chunk's first): the slots of the ones before are free.
      if (chunk - 1 > released_) {
        released_ = chunk - 1;
        wake_.notify_all();
      }
      while (stages_[chunk] != kBuilt) {
        if (!TakeWork(lock, 0)) wake_.wait(lock);
      }
    }
    row_ = Target(y);
    // The row above is final: handed over, or in its own slot still (see released_).
    if (fromAbove_[y] != 0) rows::ResolveAbove(row_, width_, y > 0 ? Target(y - 1) : nullptr);
  }

  Pixel64* Row() override { return row_; }

  int Helpers() const override { return threads_ - 1; }

  // Counts and builds until every chunk is built or the frame ends.
  void Help(int member) override {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finished_ && nextBuild_ < chunkCount_) {
      if (!TakeWork(lock, member)) wake_.wait(lock);
    }
  }

  void Finish() override {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    wake_.notify_all();
  }

 private:
  enum Dots { kRgb, kHsv, kPattern };
  enum Stage : uint8_t { kWaiting, kCounted, kBuilt };

  int FirstRow(int chunk) const { return chunk * chunkRows_; }
  int EndRow(int chunk) const { return std::min(height_, FirstRow(chunk) + chunkRows_); }
  std::size_t SlotRow(int y) const {
    return static_cast<std::size_t>((y / chunkRows_) % slotCount_) * chunkRows_ +
           static_cast<std::size_t>(y % chunkRows_);
  }
  int32_t* Separations(int y) const { return separationRows_ + SlotRow(y) * separationStride_; }
  uint64_t* NewDots(int y) const { return bitRows_ + SlotRow(y) * bitWords_; }
  // Where row y is built: its place in out, or its chunk's slot.
  Pixel64* Target(int y) const {
    if (direct_) return reinterpret_cast<Pixel64*>(inPlace_.words + y * inPlace_.rowStride);
    return pixels_ + SlotRow(y) * static_cast<std::size_t>(width_);
  }

  // One count or build, with the lock released while it works; false when there is none to
  // take now. member chooses the copy marks the count uses.
  bool TakeWork(std::unique_lock<std::mutex>& lock, int member) {
    if (nextBuild_ < chunkCount_ && nextBuild_ < statesKnown_ && stages_[nextBuild_] == kCounted) {
      const int chunk = nextBuild_++;
      lock.unlock();
      BuildChunk(chunk);
      lock.lock();
      stages_[chunk] = kBuilt;
      wake_.notify_all();
      return true;
    }
    if (nextCount_ < chunkCount_ && nextCount_ < released_ + slotCount_) {
      const int chunk = nextCount_++;
      lock.unlock();
      CountChunk(chunk, marks_ + static_cast<std::size_t>(member) * markStride_);
      lock.lock();
      stages_[chunk] = kCounted;
      // Each counted chunk whose start is known gives the start of the next.
      while (statesKnown_ < chunkCount_ && stages_[statesKnown_ - 1] != kWaiting) {
        startStates_[statesKnown_] =
            DotRandom::Advance(startStates_[statesKnown_ - 1], draws_[statesKnown_ - 1]);
        ++statesKnown_;
      }
      wake_.notify_all();
      return true;
    }
    return false;
  }

  // The chunk's separations and which of its pixels take new dots, kept for its build, and the
  // numbers those dots draw.
  void CountChunk(int chunk, uint8_t* marks) {
    uint64_t dots = 0;
    for (int y = FirstRow(chunk); y < EndRow(chunk); ++y) {
      int32_t* separations = Separations(y);
      separations_.Fill(plan_.DepthRow(y), static_cast<std::size_t>(width_), separations);
      uint64_t* bits = NewDots(y);
      std::memset(bits, 0, bitWords_ * sizeof(uint64_t));
      rows::NewDotBits newDots(bits);
      rows::BuildRow<RowMode::kCount>(preventGhosting_, nullptr, marks, separations, width_,
                                      y == 0, newDots, 0);
      dots += newDots.dots();
    }
    // Red, green, blue or hue, saturation, value; a pattern draws nothing.
    draws_[chunk] = dots_ == kPattern ? 0 : 3 * dots;
  }

  void BuildChunk(int chunk) {
    const uint32_t state = startStates_[chunk];
    auto buildRows = [&](auto& dots) {
      for (int y = FirstRow(chunk); y < EndRow(chunk); ++y) {
        const bool markers = rows::ApplyRow(Target(y), Separations(y), NewDots(y), width_, dots);
        fromAbove_[y] = markers || dots.fromAbove;
      }
    };
    if (dots_ == kPattern) {
      for (int y = FirstRow(chunk); y < EndRow(chunk); ++y) {
        ApartPatternDots dots(*sources_.pattern, y);
        const bool markers = rows::ApplyRow(Target(y), Separations(y), NewDots(y), width_, dots);
        fromAbove_[y] = markers || dots.fromAbove;
      }
    } else if (dots_ == kHsv) {
      ApartRampDots<HsvRampDots> dots(
          HsvRampDots(settings_.Color1, settings_.Color2, state, *sources_.colours));
      buildRows(dots);
    } else {
      ApartRampDots<RgbRampDots> dots(RgbRampDots(settings_.Color1, settings_.Color2, state));
      buildRows(dots);
    }
  }

  const StereogramSettings& settings_;
  const FramePlan& plan_;
  const SeparationTable separations_;
  const InPlaceRows inPlace_;
  const int width_, height_;
  const bool preventGhosting_;
  const bool direct_;
  DotSources sources_;
  Dots dots_ = kRgb;
  int threads_ = 1, chunkRows_ = 1, chunkCount_ = 1, slotCount_ = 2;
  std::size_t separationStride_ = 0, markStride_ = 0, bitWords_ = 0;
  Pixel64* row_ = nullptr;  // the row Build made

  std::unique_ptr<void, FreeBlock> block_;
  Pixel64* pixels_ = nullptr;            // slotCount_ x chunkRows_ rows (none when direct_)
  int32_t* separationRows_ = nullptr;    // the same rows' separations
  uint64_t* bitRows_ = nullptr;          // and their new dots, a bit per pixel
  uint64_t* draws_ = nullptr;            // per chunk, once counted
  uint32_t* startStates_ = nullptr;      // per chunk, the generator at its first row
  uint8_t* stages_ = nullptr;            // per chunk, a Stage
  uint8_t* fromAbove_ = nullptr;         // per row: has markers to resolve
  uint8_t* marks_ = nullptr;             // per thread, a row's copy marks

  std::mutex mutex_;
  std::condition_variable wake_;
  int nextCount_ = 0, nextBuild_ = 0;
  int statesKnown_ = 1;  // chunks whose start state is known
  int released_ = 0;     // chunks whose slots are free again
  bool finished_ = false;  // the row loop is over
};

}  // namespace

int FrameThreads(int requested, int width, int height) {
  if (requested > 0) return std::min(requested, kMaxFrameThreads);
  const unsigned cores = std::thread::hardware_concurrency();
  const int64_t pixels = static_cast<int64_t>(std::max(width, 0)) * std::max(height, 0);
  const int64_t worth = std::max<int64_t>(1, pixels / kPixelsPerThread);
  return static_cast<int>(std::min<int64_t>({cores == 0 ? 1 : cores, worth, kMaxFrameThreads}));
}

std::unique_ptr<RowBuilder> MakeThreadedRowBuilder(const StereogramSettings& settings,
                                                   const FramePlan& plan, int threads,
                                                   const InPlaceRows* inPlace) {
  if (threads < 2 || plan.width() <= 0 || plan.height() <= 0) return nullptr;
  // The builder holds the separation table: on the heap, not the stack.
  std::unique_ptr<ThreadedRowBuilder> rows(
      new (std::nothrow) ThreadedRowBuilder(settings, plan, inPlace, threads));
  if (!rows || rows->Helpers() < 1 || !rows->Allocate()) return nullptr;
  return rows;
}

}  // namespace zavol
