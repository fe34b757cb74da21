// The frame pipeline of a video. Workers claim frames in order (a video is decoded one frame at
// a time, under the claim's lock, so frame numbers and pictures always match), read and render
// them in parallel into frames taken from a small pool, and leave them for the writer, which
// takes them in order on the calling thread. A worker waits for a free frame before it claims
// one, so the frames in flight never exceed the pool, and the lowest unwritten frame always
// belongs to a worker that is rendering it: the writer cannot wait forever. When the system
// starts no worker at all, the calling thread renders each frame and writes it.
#include "cli/video_render.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <mutex>

#include "cli/tool.h"
#include "io/error.h"
#include "io/video_read.h"
#include "render/thread_team.h"

namespace zavol::cli {
namespace {

std::string Sides(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

class Pipeline {
 public:
  explicit Pipeline(const VideoRun& run) : run_(run), toVideo_(run.video.has_value()) {}

  int Run() {
    if (const int code = Start(); code != 0) return code;
    const int workers = std::max(1, limit_ >= 0 ? std::min(run_.jobs, limit_) : run_.jobs);
    if (toVideo_) {
      // Two more than the workers: the writer's frame and one finished early stay in flight.
      for (int i = 0; i < workers + 2; ++i) free_.push_back(writer_->NewFrame());
    }
    const auto start = std::chrono::steady_clock::now();
    int started = 0;
    {
      // Under the lock: no worker can count itself out before it was counted in.
      std::lock_guard<std::mutex> lock(mutex_);
      running_ = started = team_.Start(workers, [this](int) { Work(); });
    }
    if (started == 0) {
      // No thread of its own for any frame: the calling thread renders each frame and writes it.
      auto alone = [this, start](int) {
        io::DepthMap depth;
        while (RenderOne(depth)) {
          WriteInOrder(start);
          DrawProgress(start);
        }
      };
      team_.TakePart(0, alone);
    } else {
      auto writer = [this, start](int) { WriteInOrder(start); };
      team_.TakePart(0, writer);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    team_.Join();
    if (team_.Failure() != nullptr) {
      ClearBar();
      std::rethrow_exception(team_.Failure());
    }
    return Conclude(start, std::max(started, 1));
  }

 private:
  // The source opened, the first frame read (its sides are the video's), the writer opened.
  int Start() {
    try {
      if (run_.videoInput) {
        reader_ = std::make_unique<io::VideoReader>(run_.input, run_.jobs > 1 ? 0 : 1);
        const io::VideoInfo& info = reader_->Info();
        if (run_.range) {
          limit_ = total_ = run_.range->Count();
        } else if (info.frames > 0 && info.frames < (int64_t{1} << 30)) {
          total_ = static_cast<int>(info.frames);  // for the bar: a container's count may be off
        }
        const int first = run_.range ? run_.range->first : 0;
        for (int skipped = 0; skipped <= first; ++skipped) {
          if (!reader_->Read(run_.read, first_)) {
            Report(run_.input + (skipped == 0 ? ": the video has no frames"
                                              : ": the video has " + std::to_string(skipped) +
                                                    " frames; --frames starts at " + std::to_string(first)));
            return kFailed;
          }
        }
      } else {
        limit_ = total_ = static_cast<int>(run_.frames.size());
        if (total_ == 0) {
          Report(run_.input + ": no frames to render");
          return kFailed;
        }
        io::ReadDepthFile(ExpandFrame(run_.input, run_.frames[0]), run_.read, first_);
      }
      haveFirst_ = true;
      if (!toVideo_) return 0;
      io::VideoWriteOptions options = run_.videoOptions;
      if (!run_.rateGiven && reader_ != nullptr) options.rate = reader_->Info().rate;
      width_ = first_.width;
      height_ = first_.height;
      writer_ = io::OpenVideoWriter(*run_.video, run_.output, width_, height_, options);
      if (writer_->Width() != width_ || writer_->Height() != height_) {
        Warn(run_.output + ": this encoder needs even sides, so the " + Sides(width_, height_) +
             " frames are " + Sides(writer_->Width(), writer_->Height()) +
             " in the video (the last column and row repeated)");
      }
    } catch (const io::IoError& e) {
      Report(e.what());
      return kFailed;
    }
    return 0;
  }

  // The next frame to render: its index in the run, its number, the name of its input and, when
  // it was read here (a video's frames, the first frame), its depth. False when there is none.
  bool Claim(int* index, int* number, std::string* input, io::DepthMap& depth, bool* read) {
    std::lock_guard<std::mutex> lock(claimMutex_);
    if (sourceEnded_ || StopRequested() || Failed() || team_.Stopping()) return false;
    if (limit_ >= 0 && next_ >= limit_) return false;
    *index = next_;
    *read = false;
    if (next_ == 0 && haveFirst_) {
      std::swap(depth, first_);
      haveFirst_ = false;
      *read = true;
    }
    if (run_.videoInput) {
      *number = (run_.range ? run_.range->first : 0) + next_;
      *input = run_.input;
      if (!*read) {
        if (!reader_->Read(run_.read, depth)) {
          sourceEnded_ = true;
          if (run_.range) {
            Fail(run_.input + ": the video ends after frame " + std::to_string(*number - 1) +
                 "; --frames asks for frames up to " + std::to_string(run_.range->last));
          }
          return false;
        }
        *read = true;
      }
    } else {
      *number = run_.frames[static_cast<std::size_t>(next_)];
      *input = ExpandFrame(run_.input, *number);
    }
    ++next_;
    return true;
  }

  // A worker: frames until there are none left to claim, or the run ends.
  void Work() {
    io::DepthMap depth;  // reused by this worker's frames
    while (RenderOne(depth)) {}
    std::lock_guard<std::mutex> lock(mutex_);
    --running_;
    changed_.notify_all();
  }

  // Claims, reads and renders one frame and leaves it for the writer; false when there was none
  // to render or the run ends.
  bool RenderOne(io::DepthMap& depth) {
    std::unique_ptr<io::VideoFrame> frame;
    if (toVideo_) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
      if (stopping_) return false;
      frame = std::move(free_.back());
      free_.pop_back();
    }
    int index = 0, number = 0;
    bool read = false;
    std::string input;
    try {
      if (!Claim(&index, &number, &input, depth, &read)) return false;
      if (!read) io::ReadDepthFile(input, run_.read, depth);
      if (toVideo_ && (depth.width != width_ || depth.height != height_)) {
        throw io::IoError(input, "the frame is " + Sides(depth.width, depth.height) +
                                     ", the video's frames " + Sides(width_, height_));
      }
      if (StopRequested()) return false;
      if (toVideo_) frame->Begin();
      const std::string output = toVideo_ ? run_.output + " frame " + std::to_string(number)
                                          : ExpandFrame(run_.output, number);
      if (run_.render(number, input, output, depth, frame.get()) == FrameResult::kStopped) return false;
      std::lock_guard<std::mutex> lock(mutex_);
      if (toVideo_) {
        finished_[index] = std::make_pair(number, std::move(frame));
      } else {
        ++done_;
      }
    } catch (const io::IoError& e) {
      if (StopRequested()) return false;
      if (toVideo_ || run_.videoInput) {
        // One frame short, the video would be wrong; a video's frames after an unreadable
        // one cannot be told apart.
        Fail(e.what(), number);
        if (toVideo_) return false;
        std::lock_guard<std::mutex> lock(claimMutex_);
        sourceEnded_ = true;
      } else {
        Report(e.what());
      }
      std::lock_guard<std::mutex> lock(mutex_);
      ++failed_;
    }
    changed_.notify_all();
    return true;
  }

  // The bar, at most five times a second: for a video the frames the encoder has given back
  // (it holds dozens while it looks ahead, and gives them back during its flush), else the
  // frames written or failed. Called with mutex_ held, or after the workers have ended.
  void DrawProgress(std::chrono::steady_clock::time_point start) {
    if (run_.quiet || !isatty(STDERR_FILENO)) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastBar_ < std::chrono::milliseconds(200)) return;
    lastBar_ = now;
    const int done = toVideo_ ? static_cast<int>(writer_->FramesOut()) : done_ + failed_;
    DrawBar(done, total_ > 0 ? std::max(total_, done) : -1,
            std::chrono::duration<double>(now - start).count());
  }

  // The finished frames into the video in order, and the progress bar, until the workers end.
  void WriteInOrder(std::chrono::steady_clock::time_point start) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      // Only what this loop acts on may end the wait: a failure of a run into images is not
      // (the workers finish their frames and end), and a wait that returns at once without
      // letting go of the lock would keep the workers from ever ending.
      // A worker that failed outright never counts itself out nor finishes its frame: the
      // team's stop ends the wait.
      changed_.wait_for(lock, std::chrono::milliseconds(200), [this] {
        return running_ == 0 || StopRequested() || team_.Stopping() ||
               (toVideo_ && (finished_.count(written_) != 0 || Failed()));
      });
      if (StopRequested() || team_.Stopping() || (toVideo_ && Failed())) return;
      if (toVideo_ && finished_.count(written_) != 0) {
        auto entry = finished_.find(written_);
        const int number = entry->second.first;
        std::unique_ptr<io::VideoFrame> frame = std::move(entry->second.second);
        finished_.erase(entry);
        lock.unlock();
        try {
          writer_->Write(*frame);
        } catch (const io::IoError& e) {
          Fail(e.what(), number);
          return;
        }
        lock.lock();
        free_.push_back(std::move(frame));
        ++written_;
        ++done_;
        changed_.notify_all();
        DrawProgress(start);
        continue;
      }
      if (running_ == 0) return;
      DrawProgress(start);
    }
  }

  int Conclude(std::chrono::steady_clock::time_point start, int workers) {
    const std::string where = run_.output == "-" ? "standard output" : run_.output;
    bool finished = false;
    if (!StopRequested() && failure_.empty() && toVideo_) {
      // The encoder's flush, under the bar and the stop signals like the frames before it.
      if (run_.videoOptions.verbose) {
        Report(run_.output + ": " + std::to_string(done_) + " frames rendered; the encoder is finishing the last " +
               std::to_string(done_ - writer_->FramesOut()));
      }
      try {
        finished = writer_->Finish([this, start] {
          DrawProgress(start);
          return !StopRequested();
        });
      } catch (const io::IoError& e) {
        ClearBar();
        Report(e.what());
        Report(where + ": not written");
        return kFailed;
      }
    }
    ClearBar();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (StopRequested() && finished) {
      Report("stopped; " + where + " was finished and written just before");
      return StoppedExitCode();
    }
    if (StopRequested()) {
      Report(toVideo_ ? "stopped; " + where + " not written"
                      : "stopped; " + std::to_string(done_) + " frames written, no partial file left");
      return StoppedExitCode();
    }
    if (!failure_.empty() && !toVideo_) {
      // A depth video into images: the frames before the failure stay, each whole.
      Report(failure_ + "; " + std::to_string(done_) + " frames written");
      return kFailed;
    }
    if (!failure_.empty()) {
      Report(failure_);
      if (toVideo_) {
        Report(where + ": not written" +
               (failedFrame_ >= 0 ? " (frame " + std::to_string(failedFrame_) + " failed)" : ""));
        return kFailed;
      }
    }
    if (failed_ > 0 && !toVideo_) {
      Report(std::to_string(failed_) + " of " + std::to_string(done_ + failed_) + " frames failed");
      return kFailed;
    }
    if (!run_.quiet) {
      char line[200];
      std::snprintf(line, sizeof line, "%d frames written%s%s in %.1f s (%.1f frames/s, %d jobs)",
                    done_, toVideo_ ? " to " : "", toVideo_ ? where.c_str() : "", seconds,
                    done_ / std::max(seconds, 1e-9), workers);
      Report(line);
    }
    return 0;
  }

  bool Failed() {
    std::lock_guard<std::mutex> lock(failureMutex_);
    return !failure_.empty();
  }

  void Fail(const std::string& message, int frame = -1) {
    {
      std::lock_guard<std::mutex> lock(failureMutex_);
      if (failure_.empty()) {
        failure_ = message;
        failedFrame_ = frame;
      }
    }
    changed_.notify_all();
  }

  const VideoRun& run_;
  const bool toVideo_;
  std::unique_ptr<io::VideoReader> reader_;
  std::unique_ptr<io::VideoWriter> writer_;
  int width_ = 0, height_ = 0;
  int limit_ = -1;  // frames to render; -1: a video's, to its end
  int total_ = -1;  // the same as far as known, for the bar; -1: unknown

  std::mutex claimMutex_;  // the source: next_, the reader, the first frame
  int next_ = 0;
  bool sourceEnded_ = false;
  io::DepthMap first_;
  bool haveFirst_ = false;

  std::mutex mutex_;  // the pool, the finished frames and the counts
  std::condition_variable changed_;
  std::vector<std::unique_ptr<io::VideoFrame>> free_;
  std::map<int, std::pair<int, std::unique_ptr<io::VideoFrame>>> finished_;  // index: number, frame
  int written_ = 0, done_ = 0, failed_ = 0, running_ = 0;
  bool stopping_ = false;
  std::chrono::steady_clock::time_point lastBar_{};

  std::mutex failureMutex_;
  std::string failure_;
  int failedFrame_ = -1;

  ThreadTeam team_;  // the workers; last, so that it ends before what they use
};

}  // namespace

int RunVideoFrames(const VideoRun& run) { return Pipeline(run).Run(); }

}  // namespace zavol::cli
