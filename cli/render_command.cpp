// `zavol render`: a depth file, a numbered sequence or a depth video into stereogram images or
// one video; the checks made before anything is written and what the user is told about each
// frame. Depends on the tool's other pieces, zavol_io, zavol_video and the engine's interface.
#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/frame_checks.h"
#include "cli/frames.h"
#include "cli/render_job.h"
#include "cli/settings_options.h"
#include "cli/tool.h"
#include "cli/video_render.h"
#include "cli/view_flags.h"
#include "io/error.h"
#include "io/formats.h"
#include "io/video_read.h"
#include "io/video_write.h"

namespace zavol::cli {
namespace {

int DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

struct RenderOptions {
  std::string input, output, format, settingsBlock, saveSettings, pattern, frames;
  std::string screen = "1920x1080", depthKind, channel;
  float farCutoff = 1e9f;
  int jobs = DefaultJobs();
  int threads = 0;  // per frame; 0: the jobs shared among the frames rendered at once
  int64_t seed = -1;
  int bits = 8;
  int compression = 1;
  std::string codec, fps, preset;  // video output
  int crf = -1;
  bool quiet = false, verbose = false, fit = false, patternTile = false;
  SettingsEdits edits;
  ViewFlags view;
  CLI::App* app = nullptr;
  bool Given(const char* option) const { return app->count(option) > 0; }
};

// Everything a frame needs except its names and seed; checked once before any frame starts.
struct Prepared {
  FrameJob base;
  io::Image64 pattern;
  bool sequence = false;
  FrameRange range;
  std::vector<int> frames;  // of a sequence, those whose input exists
  uint32_t seedBase = 0;
  bool videoInput = false;              // the input is one depth video
  std::optional<io::VideoFormat> video;  // the output is one video (or frame stream)
  io::VideoWriteOptions videoOptions;
};

// Whether --frames can pick frames out of the input: a file name whose # is the frame number,
// or a depth video, which holds its frames in one file.
bool InputHoldsFrames(const std::string& input, bool videoInput) {
  return HasFrameField(input) || videoInput;
}

bool IsMonitor(int32_t medium) {
  return medium >= kMedium14InchMonitor && medium <= kMedium21InchMonitor;
}

std::string Shown(const std::string& path) { return path == "-" ? "standard input" : path; }

// ---- An output must not be one of the inputs: writing it would replace the input. Files are
// told apart by device and inode, so another spelling or a link of the same file counts too.
using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> IdOf(const std::string& path) {
  struct stat info;
  if (path.empty() || path == "-" || stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{info.st_dev, info.st_ino};
}

int RefuseOverwritingInputs(const RenderOptions& o, const Prepared& p) {
  struct Named {
    FileId id;
    std::string path;
  };
  std::vector<Named> inputs;
  auto addInput = [&inputs](const std::string& path) {
    if (const auto id = IdOf(path)) inputs.push_back({*id, path});
  };
  std::vector<std::string> outputs;
  if (p.sequence && !p.videoInput) {
    for (int frame : p.frames) {
      addInput(ExpandFrame(o.input, frame));
      outputs.push_back(ExpandFrame(o.output, frame));
    }
  } else {
    addInput(o.input);
    outputs.push_back(o.output);
  }
  addInput(o.pattern);
  // The saved settings may replace the block they were read from; the images may not.
  outputs.push_back(o.saveSettings);
  addInput(o.settingsBlock);
  for (const std::string& output : outputs) {
    const auto id = IdOf(output);
    if (!id) continue;
    const bool settingsOut = &output == &outputs.back();
    for (const Named& input : inputs) {
      if (input.id != *id || (settingsOut && input.path == o.settingsBlock)) continue;
      return UsageError(output + ": is the same file as the input " + input.path +
                            ", which it would replace; choose another output name",
                        "render");
    }
  }
  return 0;
}

// Every name the run will write that is a folder, a block device or some other node no output
// may replace, or a FIFO given a format that seeks: refused before any work (a device, FIFO or
// socket is otherwise written in place). The names of a depth video's frames are checked as
// each is written when --frames does not say which they are.
int RefuseUnwritableOutputs(const RenderOptions& o, const Prepared& p) {
  const bool seeks = p.video ? !io::IsFrameStream(*p.video) : p.base.format == io::ImageFormat::kExr;
  std::vector<std::string> outputs;
  if (p.sequence && !p.video) {
    if (p.videoInput) {
      for (int frame = p.range.first; frame <= p.range.last && outputs.size() < 100000; ++frame) {
        outputs.push_back(ExpandFrame(o.output, frame));
      }
    } else {
      for (int frame : p.frames) outputs.push_back(ExpandFrame(o.output, frame));
    }
  } else if (!HasFrameField(o.output)) {
    outputs.push_back(o.output);
  }
  for (const std::string& output : outputs) {
    if (const std::string refusal = io::OutputRefusal(output, seeks); !refusal.empty()) {
      return UsageError(refusal, "render");
    }
  }
  if (!o.saveSettings.empty() && o.saveSettings != "-") {
    if (const std::string refusal = io::OutputRefusal(o.saveSettings, false); !refusal.empty()) {
      return UsageError(refusal, "render");
    }
  }
  return 0;
}

// Options that do nothing with the settings and output as they stand.
void WarnAboutIdleOptions(const RenderOptions& o, const Prepared& p) {
  const StereogramSettings& s = p.base.settings;
  if (o.Given("--seed") && s.RandomizeEachFrame == 0) {
    Warn("--seed has no effect: frames are not randomized (each starts from seed 0); add --randomize");
  }
  if (o.Given("--screen") && !IsMonitor(s.ViewingMedium)) {
    Warn("--screen has no effect: only the monitor media (--medium 14in to 21in) use the screen size");
  }
  if ((o.Given("--bits") || o.Given("--compression")) && (p.video || p.base.format != io::ImageFormat::kPng)) {
    Warn("--bits and --compression have no effect: they apply to PNG output only");
  }
  if (o.patternTile && o.pattern.empty()) Warn("--pattern-tile has no effect without --pattern");
  if (!p.video && (o.Given("--codec") || o.Given("--fps") || o.Given("--crf") || o.Given("--preset"))) {
    Warn("--codec, --fps, --crf and --preset have no effect: they apply to video output");
  }
}

// The same for options whose effect depends on what the input turned out to be.
void WarnAboutInputOptions(const RenderOptions& o, const Prepared& p, const std::string& name,
                           const io::DepthMap& depth) {
  if (o.Given("--channel") && depth.format != io::DepthFormat::kExr) {
    WarnOnce("channel", "--channel has no effect on " + name + ": only OpenEXR files have channels");
  }
  if (o.Given("--far-cutoff") && depth.kind != io::DepthKind::kDistance) {
    WarnOnce("far-cutoff", "--far-cutoff has no effect on " + name + ", read as " +
                               io::DepthKindName(depth.kind) + ": it applies to distances");
  }
  if (!o.pattern.empty() && !o.patternTile &&
      (p.pattern.width < depth.width || p.pattern.height < depth.height)) {
    WarnOnce("pattern", o.pattern + ": the pattern (" + std::to_string(p.pattern.width) + "x" +
                            std::to_string(p.pattern.height) + ") is smaller than the picture (" +
                            std::to_string(depth.width) + "x" + std::to_string(depth.height) +
                            "), where new dots beyond it keep the colour of the row above; "
                            "--pattern-tile repeats it");
  }
}

// The video side of the command line: a depth video in, a video out, their options. Returns 0
// when ready, else the exit code (the reason already reported).
int PrepareVideo(const RenderOptions& o, Prepared& p) {
  p.videoInput = o.input != "-" && !HasFrameField(o.input) && io::IsVideoInput(o.input);
  if (p.video && HasFrameField(o.output)) {
    return UsageError(o.output + ": a video is one file, with no # for frame numbers in its name", "render");
  }
  if (p.videoInput && !p.video && !HasFrameField(o.output)) {
    return UsageError(o.output + ": a video's frames as images need # for the frame number, e.g. "
                                 "out_####.png; or write a video (.mp4, .mkv, .webm, .gif)",
                      "render");
  }
  if (!p.video) return 0;
  p.videoOptions.codec = o.codec;
  p.videoOptions.crf = o.crf;
  p.videoOptions.preset = o.preset;
  p.videoOptions.verbose = o.verbose;
  if (!o.fps.empty() && !io::ParseVideoRate(o.fps, &p.videoOptions.rate)) {
    return UsageError("--fps wants frames per second above 0 and up to 1000, such as 24, 29.97 or "
                      "30000/1001, not '" + o.fps + "'",
                      "render");
  }
  std::string warning;
  if (const std::string problem = io::VideoOptionsProblem(*p.video, p.videoOptions, &warning);
      !problem.empty()) {
    return UsageError(problem, "render");
  }
  if (!warning.empty()) Warn(warning);
  return 0;
}

// Returns 0 when ready, else the exit code (the reason already reported).
int Prepare(const RenderOptions& o, Prepared& p) {
  io::VideoFormat video;
  if (!o.format.empty()) {
    if (io::VideoFormatForName(o.format, &video)) {
      p.video = video;
    } else {
      io::FormatForName(o.format, &p.base.format);
    }
  } else if (o.output == "-") {
    return UsageError("-o - writes the picture to standard output: give its --format (png, pam or "
                      "pfm; y4m or rgb48 for a video's frames)",
                      "render");
  } else if (io::VideoFormatForPath(o.output, &video)) {
    p.video = video;
  } else if (!io::FormatForPath(o.output, &p.base.format)) {
    return UsageError(o.output + ": the output must end in .png, .pam or .exr (or .pfm: float "
                                 "RGB), a video's in .mp4, .mkv, .webm or .gif, or give --format",
                      "render");
  }
  try {
    if (const int code = PrepareVideo(o, p); code != 0) return code;
  } catch (const io::IoError& e) {
    Report(e.what());  // the video module is missing or does not load
    return kFailed;
  }
  if (o.output == "-") {
    if (o.saveSettings == "-") {
      return UsageError("the picture and the settings cannot both go to standard output", "render");
    }
    if (p.video && !io::IsFrameStream(*p.video)) {
      return UsageError("a video file cannot go to standard output (its writer seeks): give --format "
                        "y4m or rgb48",
                        "render");
    }
    if (!p.video && p.base.format == io::ImageFormat::kExr) {
      return UsageError("OpenEXR cannot go to standard output (its writer seeks): give --format "
                        "png, pam or pfm",
                        "render");
    }
    if (isatty(STDOUT_FILENO)) {
      return UsageError("standard output is a terminal: send it to a file or a program, or give -o FILE",
                        "render");
    }
  }
  if (!o.frames.empty()) {
    if (!ParseFrameRange(o.frames, &p.range)) {
      return UsageError("--frames wants A-B (0 <= A <= B) or one frame number, not '" + o.frames + "'",
                        "render");
    }
    if (!InputHoldsFrames(o.input, p.videoInput)) {
      return UsageError(Shown(o.input) + ": --frames needs # for the frame number in the input's "
                                         "name too, e.g. depth_####.exr",
                        "render");
    }
    if (!HasFrameField(o.output) && !p.video) {
      return UsageError(o.output + ": a sequence's output needs # for the frame number, e.g. out_####.png",
                        "render");
    }
    p.sequence = true;
  } else if (HasFrameField(o.input) || (HasFrameField(o.output) && !p.videoInput)) {
    return UsageError("# in a file name stands for the frame number: give --frames A-B", "render");
  }
  if (!ParseSize(o.screen, &p.base.screenWidth, &p.base.screenHeight)) {
    return UsageError("--screen wants WxH, e.g. 1920x1080, not '" + o.screen + "'", "render");
  }
  if (o.fit && (o.Given("--medium") || o.Given("--dpi"))) {
    return UsageError("--fit chooses the dpi itself: give either --fit or --medium/--dpi", "render");
  }
  if (o.fit && !o.saveSettings.empty()) {
    return UsageError("--fit chooses each frame's dpi from its width, which --save-settings cannot "
                      "know beforehand: see the dpi with --verbose and save it with --dpi",
                      "render");
  }
  if (!o.depthKind.empty()) p.base.read.kind = io::ParseDepthKind(o.depthKind);
  p.base.read.channel = o.channel;
  p.base.read.farCutoff = o.farCutoff;
  p.base.write.pngBits = o.bits;
  p.base.write.compression = o.compression;
  p.base.verbose = o.verbose;
  p.base.tilePattern = o.patternTile;
  p.base.view = o.view.Options();
  try {
    p.base.settings = o.settingsBlock.empty() ? DefaultSettings() : ReadSettingsBlock(o.settingsBlock);
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  for (const std::string& warning : o.edits.Apply(p.base.settings)) Warn(warning);
  if (o.fit) {
    // The dpi itself is chosen for each frame's width.
    p.base.settings.ViewingMedium = kMediumCustomDpi;
    p.base.settings.CustomDpi = 1;
  }
  if (const int code = ReportUnusableSettings(p.base.settings, o.edits, o.settingsBlock, "render")) {
    return code;
  }
  WarnAboutIdleOptions(o, p);
  if (p.sequence && !p.videoInput) p.frames = ExistingFrames(o.input, p.range);
  if (const int code = RefuseOverwritingInputs(o, p); code != 0) return code;
  if (const int code = RefuseUnwritableOutputs(o, p); code != 0) return code;
  try {
    if (!o.saveSettings.empty()) WriteSettingsBlock(o.saveSettings, p.base.settings);
    if (!o.pattern.empty()) p.pattern = io::ReadImage(o.pattern);
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  p.seedBase = o.seed >= 0 ? static_cast<uint32_t>(o.seed) : static_cast<uint32_t>(std::time(nullptr));
  return 0;
}

std::atomic<int> gEmptyFrames{0};

// Says what the user should know about a frame's depth, and renders it: into rows when given
// (a frame of a video), else into the file job.output.
FrameResult RenderDepth(const RenderOptions& o, const Prepared& p, FrameJob job,
                        const io::DepthMap& depth, io::RowWriter* rows) {
  const std::string name = Shown(job.input);
  WarnAboutInputOptions(o, p, name, depth);
  const DepthSpread spread = LookAtDepth(depth);
  if (!spread.scene) {
    ++gEmptyFrames;
    WarnOnce("empty", name + ": no pixel lies in front of the background (read as " +
                          io::DepthKindName(depth.kind) +
                          "), so the picture is flat; is --depth-kind right?");
  }
  if (o.fit) job.settings.CustomDpi = FitDpi(job.settings, depth.width);
  WarnIfUnfusable(name, job.settings, depth, spread, job.screenWidth, job.screenHeight);
  if (o.verbose) {
    Report((job.output == "-" ? std::string("standard output") : job.output) + ": " +
           DescribeGeometry(job.settings, depth, job.screenWidth, job.screenHeight));
  }
  return rows != nullptr ? RenderDepthToRows(job, depth, *rows, StopFlag())
                         : RenderDepthToFile(job, depth, StopFlag());
}

// Reads one frame, says what the user should know about it, and renders it.
FrameResult RenderOneFrame(const RenderOptions& o, const Prepared& p, FrameJob job,
                           io::DepthMap& depth) {
  io::ReadDepthFile(job.input, job.read, depth);
  if (StopRequested()) return FrameResult::kStopped;
  return RenderDepth(o, p, job, depth, nullptr);
}

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
  io::SetExrThreads(job.read.threads);
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

int RenderSequence(const RenderOptions& o, Prepared& p) {
  const int total = p.range.Count();
  const int missing = ReportMissingFrames(o, p);
  const int count = static_cast<int>(p.frames.size());
  const int workers = std::max(1, std::min(o.jobs, count));
  io::SetExrThreads(0);  // frames run in parallel; each decodes on its own thread
  // Frames and rows never fight over the cores: the jobs are shared among the frames rendered
  // at once, so a long sequence renders one frame per job and a short one splits its frames'
  // rows too.
  const int rowThreads = o.threads > 0 ? o.threads : std::max(1, o.jobs / workers);
  std::atomic<int> next{0}, written{0}, failed{0};
  // An output that cannot be written (a full disk, a folder that refuses files) fails every
  // frame after it the same way: the first such error ends the run, said once.
  std::atomic<bool> outputFailed{false};
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  int running = workers;
  auto work = [&] {
    io::DepthMap depth;  // reused by this worker's frames
    for (;;) {
      const int index = next.fetch_add(1);
      if (index >= count || StopRequested() || outputFailed) break;
      const int frame = p.frames[static_cast<std::size_t>(index)];
      FrameJob job = p.base;
      job.input = ExpandFrame(o.input, frame);
      job.output = ExpandFrame(o.output, frame);
      job.pattern = o.pattern.empty() ? nullptr : &p.pattern;
      job.seed = FrameSeed(p.seedBase, frame, job.view.dots == DotSource::kStable);
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
      doneSignal.notify_all();
    }
    std::lock_guard<std::mutex> lock(doneMutex);
    --running;
    doneSignal.notify_all();
  };
  const bool bar = !o.quiet && isatty(STDERR_FILENO);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < workers; ++i) threads.emplace_back(work);
  {
    std::unique_lock<std::mutex> lock(doneMutex);
    while (running > 0) {
      doneSignal.wait_for(lock, std::chrono::milliseconds(200));
      if (bar) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        DrawBar(written + failed, count, seconds);
      }
    }
  }
  for (std::thread& t : threads) t.join();
  ClearBar();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (StopRequested()) {
    Report("stopped; " + std::to_string(written.load()) + " of " + std::to_string(total) +
           " frames written, no partial file left");
    return StoppedExitCode();
  }
  if (gEmptyFrames > 1) {
    Warn(std::to_string(gEmptyFrames.load()) + " of " + std::to_string(count) +
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
                  seconds, total / std::max(seconds, 1e-9), workers);
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
  io::SetExrThreads(0);  // frames run in parallel; each decodes on its own thread
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

int RunRender(const RenderOptions& o) {
  Prepared p;
  if (const int code = Prepare(o, p); code != 0) return code;
  if (p.video || p.videoInput) return RenderVideo(o, p);
  return p.sequence ? RenderSequence(o, p) : RenderSingle(o, p);
}

}  // namespace

Command AddRenderCommand(CLI::App& app) {
  auto o = std::make_shared<RenderOptions>();
  CLI::App* render = app.add_subcommand(
      "render", "Render a depth file, a numbered sequence of them or a depth video into stereogram "
                "images, or into one video");
  o->app = render;
  render->add_option("INPUT", o->input,
                     "Depth file: OpenEXR, PFM or PNG height map, or - for standard input; in a "
                     "sequence, a run of # is the zero-padded frame number (depth_####.exr); or a "
                     "depth video (any FFmpeg decodes; its luma is the height, brighter nearer)")
      ->required();
  render->add_option("-o,--output", o->output,
                     "Output image: .png (8-bit RGB), .pam (16-bit RGBA, exact), .exr (half RGBA) "
                     "or .pfm (float RGB); or one video of all the frames: .mp4 (H.264), .mkv "
                     "(FFV1, lossless), .webm (VP9), .gif; - for standard output (with --format); "
                     "# as in INPUT")
      ->required();
  render->add_option("--format", o->format,
                     "Output format instead of the extension's; needed for -o -, where a video's "
                     "frames go as y4m (8-bit 4:4:4) or rgb48 (raw 16-bit little-endian RGB)")
      ->check(CLI::IsMember({"png", "pam", "exr", "pfm", "mp4", "mkv", "webm", "gif", "y4m", "rgb48"}))
      ->type_name("FORMAT");
  render->add_option("--frames", o->frames,
                     "Render the frames A to B of a sequence, or of a depth video (counted from "
                     "0); inputs missing in the range are reported, one line per run")
      ->type_name("A-B");
  render->add_option("--codec", o->codec,
                     "Video encoder instead of the container's own (libx264, ffv1, libvpx-vp9, "
                     "gif), by FFmpeg's name")
      ->type_name("NAME");
  render->add_option("--fps", o->fps,
                     "Video frames per second, e.g. 24, 29.97 or 30000/1001; default: a depth "
                     "video's own rate, else 24 (GIF stores delays in 1/100 s)")
      ->type_name("RATE");
  render->add_option("--crf", o->crf,
                     "The video encoder's constant quality (lower is better): libx264 0-51 (its "
                     "default 23), libvpx-vp9 0-63 (default here 31)")
      ->check(NumberWithin(0, 63))
      ->type_name("N");
  render->add_option("--preset", o->preset,
                     "The video encoder's speed preset, e.g. libx264's ultrafast ... veryfast ... "
                     "medium (its default) ... veryslow")
      ->type_name("NAME");
  render->add_option("-j,--jobs", o->jobs, "Frames rendered in parallel (one frame: threads for "
                                           "its rows, decoding and compressing); default: all cores")
      ->check(NumberWithin(1, 256))
      ->capture_default_str();
  render->add_option("--threads", o->threads,
                     "Threads for each frame's rows (the pixels are the same for any number); "
                     "default: the jobs shared among the frames rendered at once")
      ->check(NumberWithin(1, 64))
      ->type_name("N");
  render->add_flag("-q,--quiet", o->quiet, "No progress bar and no summary line");
  render->add_flag("-v,--verbose", o->verbose,
                   "For each frame: the depth range used, the separations of the nearest and "
                   "farthest depths and of the background, the medium's pixels per inch, and the "
                   "engine's debug line (minz)");
  render->add_option("--seed", o->seed,
                     "Seed for randomized frames instead of the start time; in a sequence frame F gets N + F "
                     "(with --dots stable every frame gets N)")
      ->check(NumberWithin(0, 4294967295.0))
      ->type_name("N");
  render->add_option("--depth-kind", o->depthKind,
                     "What the input's numbers mean: host (engine convention), distance, "
                     "disparity (bigger is nearer), height (1 nearest), mist (0 nearest); default "
                     "EXR distance, PFM host, PNG height")
      ->check(CLI::IsMember({"host", "distance", "disparity", "height", "mist"}))
      ->type_name("KIND");
  render->add_option("--channel", o->channel,
                     "EXR depth channel; default Z, else one ending in .Depth.Z, else in .Z")
      ->type_name("NAME");
  render->add_option("--far-cutoff", o->farCutoff,
                     "Distances at or above this are empty background (renderers write 1e10 for "
                     "sky; half-float files also 65504)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  render->add_option("--pattern", o->pattern,
                     "PNG or PAM image whose pixel (x, y) is the dot at (x, y); not tiled "
                     "without --pattern-tile")
      ->type_name("IMAGE");
  render->add_flag("--pattern-tile", o->patternTile,
                   "Repeat the --pattern image across and down the picture");
  render->add_flag("--fit", o->fit,
                   "Choose the dpi (custom medium) so that the background repeats " +
                       std::to_string(kFitRepeats) +
                       " times across the width: for pictures whose viewing medium is unknown, "
                       "or too small for the one set");
  render->add_option("--screen", o->screen,
                     "Screen size in pixels of the monitor media: with the monitor's diagonal it "
                     "gives the pixels per inch")
      ->type_name("WxH")
      ->capture_default_str();
  render->add_option("--bits", o->bits, "PNG bits per channel: 8 (the dots' colours) or 16")
      ->check(CLI::IsMember({8, 16}))
      ->capture_default_str();
  render->add_option("--compression", o->compression, "PNG deflate level, 0 (none) to 9 (smallest)")
      ->check(NumberWithin(0, 9))
      ->capture_default_str();
  render->add_option("--settings", o->settingsBlock,
                     "56-byte settings block, as the plug-in's host stores it (default: the "
                     "record's defaults)")
      ->type_name("BLOCK");
  render->add_option("--save-settings", o->saveSettings, "Also write the settings in effect as a block")
      ->type_name("BLOCK");
  AddSettingsOptions(*render, o->edits);
  AddViewFlags(*render, o->view);
  return {render, [o] { return RunRender(*o); }};
}

}  // namespace zavol::cli
