// `zavol render`'s drivers: a single frame, a numbered sequence on several frames at once, and
// frames into or out of one video; what the user is told about each frame.
#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/frame_checks.h"
#include "cli/frames.h"
#include "cli/render_job.h"
#include "cli/render_run.h"
#include "cli/settings_options.h"
#include "cli/tool.h"
#include "cli/video_render.h"
#include "cli/view_flags.h"
#include "io/error.h"
#include "io/formats.h"
#include "io/video_read.h"
#include "io/video_write.h"
#include "render/thread_team.h"

namespace zavol::cli {
namespace {

// Says what the user should know about a frame's depth, and renders it: into rows when given
// (a frame of a video), else into the file job.output.
FrameResult RenderDepth(const RenderOptions& o, const Prepared& p, FrameJob job,
                        const io::DepthMap& depth, io::RowWriter* rows) {
  const std::string name = Shown(job.input);
  WarnAboutInputOptions(o, p, name, depth);
  const DepthSpread spread = LookAtDepth(depth);
  if (!spread.scene) {
    ++p.emptyFrames;
    WarnOnce("empty", name + ": no pixel lies in front of the background (read as " +
                          io::DepthKindName(depth.kind) +
                          "), so the picture is flat; is --depth-kind right?");
  }
  if (o.fit) job.settings.CustomDpi = FitDpi(job.settings, depth.width);
  // One plan for the warnings, the --verbose line and the frame itself.
  const FramePlan plan = PlanJob(job, depth);
  WarnIfUnfusable(name, job.settings, plan, spread);
  if (o.verbose) {
    Report((job.output == "-" ? std::string("standard output") : job.output) + ": " +
           DescribeGeometry(job.settings, plan, spread, job.screenWidth, job.screenHeight));
  }
  return rows != nullptr ? RenderDepthToRows(job, depth, plan, *rows, StopFlag())
                         : RenderDepthToFile(job, depth, plan, StopFlag());
}

// Reads one frame, says what the user should know about it, and renders it.
FrameResult RenderOneFrame(const RenderOptions& o, const Prepared& p, FrameJob job,
                           io::DepthMap& depth) {
  io::ReadDepthFile(job.input, job.read, depth);
  if (StopRequested()) return FrameResult::kStopped;
  return RenderDepth(o, p, job, depth, nullptr);
}

}  // namespace

int RenderSingle(const RenderOptions& o, Prepared& p) {
  FrameJob job = p.base;
  job.input = o.input;
  job.output = o.output;
  job.pattern = o.pattern.empty() ? nullptr : &p.pattern;
  job.seed = FrameSeed(p.seedBase, 0, job.view.dots == DotSource::kStable);
  // One frame: its rows, decoding and compression may use every job slot.
  job.read.threads = o.jobs > 1 ? o.jobs : 0;
  job.write.threads = o.jobs;
  job.threads = o.threads > 0 ? o.threads : o.jobs;
  io::DepthMap depth;
  FrameResult result = FrameResult::kStopped;
  try {
    result = RenderOneFrame(o, p, job, depth);
  } catch (const io::IoError& e) {
    if (!StopRequested()) {
      Report(e.what());
      return kFailed;
    }
  }
  if (result == FrameResult::kStopped) {
    Report("stopped; no file written");
    return StoppedExitCode();
  }
  if (StopRequested()) {
    Report("stopped; the frame was finished and written just before");
    return StoppedExitCode();
  }
  return 0;
}

namespace {

// Missing inputs of a sequence, one line per run of them, at most a screenful.
int ReportMissingFrames(const RenderOptions& o, const Prepared& p) {
  constexpr std::size_t kLines = 10;
  const std::vector<FrameRange> runs = MissingRuns(p.frames, p.range);
  int missing = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    missing += runs[i].Count();
    if (i == kLines) continue;
    if (runs[i].Count() == 1) {
      Report(ExpandFrame(o.input, runs[i].first) + ": no such file");
    } else {
      Report("frames " + std::to_string(runs[i].first) + "-" + std::to_string(runs[i].last) +
             ": no such files (" + o.input + ")");
    }
  }
  if (runs.size() > kLines) {
    Report("and " + std::to_string(runs.size() - kLines) + " more runs of missing frames");
  }
  return missing;
}

}  // namespace

int RenderSequence(const RenderOptions& o, Prepared& p) {
  const int total = p.range.Count();
  const int missing = ReportMissingFrames(o, p);
  const int count = static_cast<int>(p.frames.size());
  const int workers = std::max(1, std::min(o.jobs, count));
  // Frames and rows never fight over the cores: the jobs are shared among the frames rendered
  // at once, so a long sequence renders one frame per job and a short one splits its frames'
  // reading, rows and compression too.
  const int frameJobs = std::max(1, o.jobs / workers);
  const int rowThreads = o.threads > 0 ? o.threads : frameJobs;
  std::atomic<int> next{0}, written{0}, failed{0};
  // An output that cannot be written (a full disk, a folder that refuses files) fails every
  // frame after it the same way: the first such error ends the run, said once.
  std::atomic<bool> outputFailed{false};
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  int running = 0;
  ThreadTeam team;
  const bool bar = !o.quiet && isatty(STDERR_FILENO);
  const auto start = std::chrono::steady_clock::now();
  auto drawBar = [&] {
    if (!bar) return;
    DrawBar(written + failed, count,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  };
  // Members 1 and on render frames on threads of their own while the calling thread draws the
  // bar; when the system starts none of them, the calling thread renders every frame itself
  // (member 0) and draws the bar between them.
  auto work = [&](int member) {
    io::DepthMap depth;  // reused by this member's frames
    for (;;) {
      const int index = next.fetch_add(1);
      if (index >= count || StopRequested() || outputFailed || team.Stopping()) break;
      const int frame = p.frames[static_cast<std::size_t>(index)];
      FrameJob job = p.base;
      job.input = ExpandFrame(o.input, frame);
      job.output = ExpandFrame(o.output, frame);
      job.pattern = o.pattern.empty() ? nullptr : &p.pattern;
      job.seed = FrameSeed(p.seedBase, frame, job.view.dots == DotSource::kStable);
      job.read.threads = frameJobs > 1 ? frameJobs : 0;
      job.write.threads = frameJobs;
      job.threads = rowThreads;
      try {
        if (RenderOneFrame(o, p, job, depth) == FrameResult::kWritten) ++written;
      } catch (const io::IoError& e) {
        if (!StopRequested()) {
          const bool outputFault = e.File() == job.output;
          if (!outputFault || !outputFailed.exchange(true)) Report(e.what());
          ++failed;
        }
      }
      if (member == 0) drawBar();
      doneSignal.notify_all();
    }
    if (member == 0) return;
    std::lock_guard<std::mutex> lock(doneMutex);
    --running;
    doneSignal.notify_all();
  };
  int started = 0;
  {
    // Under the lock: no member can count itself out before it was counted in.
    std::lock_guard<std::mutex> lock(doneMutex);
    running = started = team.Start(workers, work);
  }
  const int jobs = std::max(started, 1);
  if (started == 0) {
    team.TakePart(0, work);
  } else {
    std::unique_lock<std::mutex> lock(doneMutex);
    // A member that failed never counts itself out: the others end at their next frame.
    while (running > 0 && !team.Stopping()) {
      doneSignal.wait_for(lock, std::chrono::milliseconds(200));
      drawBar();
    }
  }
  team.Join();
  ClearBar();
  if (team.Failure() != nullptr) std::rethrow_exception(team.Failure());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (StopRequested()) {
    Report("stopped; " + std::to_string(written.load()) + " of " + std::to_string(total) +
           " frames written, no partial file left");
    return StoppedExitCode();
  }
  if (p.emptyFrames > 1) {
    Warn(std::to_string(p.emptyFrames.load()) + " of " + std::to_string(count) +
         " frames had no pixel in front of the background");
  }
  if (outputFailed) {
    Report("stopped at the first output that could not be written; " + std::to_string(written.load()) +
           " of " + std::to_string(total) + " frames written");
    return kFailed;
  }
  if (failed + missing > 0) {
    Report(std::to_string(failed + missing) + " of " + std::to_string(total) + " frames failed");
    return kFailed;
  }
  if (!o.quiet) {
    char line[160];
    std::snprintf(line, sizeof line, "%d frames written in %.1f s (%.1f frames/s, %d jobs)", total,
                  seconds, total / std::max(seconds, 1e-9), jobs);
    Report(line);
  }
  return 0;
}

// Into one video (from numbered files, one file or a depth video), or a depth video's frames
// into numbered images.
int RenderVideo(const RenderOptions& o, Prepared& p) {
  VideoRun run;
  run.input = o.input;
  run.videoInput = p.videoInput;
  if (p.videoInput) {
    if (p.sequence) run.range = p.range;
  } else if (p.sequence) {
    // A video with frames missing would be a wrong video: it is not started.
    if (ReportMissingFrames(o, p) > 0) {
      Report(o.output + ": not written, since frames are missing");
      return kFailed;
    }
    run.frames = p.frames;
  } else {
    run.frames = {0};  // one input: a one-frame video
  }
  run.read = p.base.read;
  run.output = o.output;
  run.video = p.video;
  run.videoOptions = p.videoOptions;
  run.videoOptions.threads = 0;
  run.rateGiven = !o.fps.empty();
  run.jobs = o.jobs;
  run.quiet = o.quiet;
  run.render = [&o, &p](int frame, const std::string& input, const std::string& output,
                        const io::DepthMap& depth, io::RowWriter* rows) {
    FrameJob job = p.base;
    job.input = input;
    job.output = output;
    job.pattern = o.pattern.empty() ? nullptr : &p.pattern;
    job.seed = FrameSeed(p.seedBase, frame, job.view.dots == DotSource::kStable);
    return RenderDepth(o, p, job, depth, rows);
  };
  return RunVideoFrames(run);
}

}  // namespace zavol::cli
