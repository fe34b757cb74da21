// `zavol render`'s preparation: settings, inputs and outputs checked once, before any frame
// starts and before anything is written; the overwrite guard; warnings about idle options.
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
#include "cli/render_run.h"
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

// Whether --frames can pick frames out of the input: a file name whose # is the frame number,
// or a depth video, which holds its frames in one file.
bool InputHoldsFrames(const std::string& input, bool videoInput) {
  return HasFrameField(input) || videoInput;
}

bool IsMonitor(int32_t medium) {
  return medium >= kMedium14InchMonitor && medium <= kMedium21InchMonitor;
}

}  // namespace

std::string Shown(const std::string& path) { return path == "-" ? "standard input" : path; }

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace zavol::cli
