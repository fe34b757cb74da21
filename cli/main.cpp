// The zavol command-line tool: renders depth files into stereogram images with the plug-in's
// engine, frames of a sequence in parallel. Native only; the engine is reached through
// FrameHost alone.
#include <CLI/CLI.hpp>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/frames.h"
#include "cli/render_job.h"
#include "cli/settings_options.h"
#include "io/error.h"
#include "io/formats.h"
#include "render/background.h"
#include "render/scene.h"
#include "render/version.h"

namespace {

using zavol::cli::FrameJob;
using zavol::cli::FrameRange;
using zavol::cli::FrameResult;
namespace io = zavol::io;

constexpr int kUsageError = 2;
constexpr int kFrameFailed = 1;
constexpr int kStopped = 130;  // the shell's code for a program ended by Ctrl-C

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int) { gStop.store(true); }

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// One line per message on stderr; the progress bar's line is cleared first.
std::mutex gOutputMutex;
bool gBarShown = false;

void Report(const std::string& message) {
  std::lock_guard<std::mutex> lock(gOutputMutex);
  if (gBarShown) std::fputs("\r\033[K", stderr);
  std::fprintf(stderr, "zavol: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
  Report(message);
  std::fputs("Run 'zavol --help' for the commands and options.\n", stderr);
  return kUsageError;
}

int DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

std::string FormatDuration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

// The bar on stderr: frames done, rate, time left.
void DrawBar(int done, int total, double seconds) {
  constexpr int kCells = 30;
  const int filled = total > 0 ? done * kCells / total : kCells;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kCells - filled), '.');
  const double rate = seconds > 0 ? done / seconds : 0;
  const std::string left = done > 0 ? FormatDuration((total - done) / rate) + " left" : "";
  std::lock_guard<std::mutex> lock(gOutputMutex);
  std::fprintf(stderr, "\r\033[K[%s] %d/%d frames  %.1f frames/s  %s", bar.c_str(), done, total,
               rate, left.c_str());
  std::fflush(stderr);
  gBarShown = true;
}

void ClearBar() {
  std::lock_guard<std::mutex> lock(gOutputMutex);
  if (gBarShown) std::fputs("\r\033[K", stderr);
  gBarShown = false;
}

struct RenderOptions {
  std::string input, output, settingsBlock, saveSettings, pattern, frames, screen = "1920x1080";
  std::string depthKind, channel;
  float farCutoff = 1e9f;
  int jobs = DefaultJobs();
  int64_t seed = -1;
  int bits = 8;
  int compression = 1;
  bool quiet = false, verbose = false;
};

// Everything a frame needs except its names and seed; checked once before any frame starts.
struct Prepared {
  FrameJob base;
  io::Image64 pattern;
  bool sequence = false;
  FrameRange range;
  uint32_t seedBase = 0;
};

// Returns 0 when ready, else the exit code (the reason already reported).
int Prepare(const RenderOptions& o, const zavol::cli::SettingsEdits& edits, Prepared& p) {
  if (!io::FormatForPath(o.output, &p.base.format)) {
    return UsageError(o.output + ": the output must end in .png, .pam or .exr");
  }
  if (!o.frames.empty()) {
    if (!zavol::cli::ParseFrameRange(o.frames, &p.range)) {
      return UsageError("--frames wants A-B (0 <= A <= B) or one frame number, not '" + o.frames + "'");
    }
    if (!zavol::cli::HasFrameField(o.output)) {
      return UsageError(o.output + ": a sequence's output needs # for the frame number, e.g. out_####.png");
    }
    p.sequence = true;
  } else if (zavol::cli::HasFrameField(o.input) || zavol::cli::HasFrameField(o.output)) {
    return UsageError("# in a file name stands for the frame number: give --frames A-B");
  }
  if (!zavol::cli::ParseSize(o.screen, &p.base.screenWidth, &p.base.screenHeight)) {
    return UsageError("--screen wants WxH, e.g. 1920x1080, not '" + o.screen + "'");
  }
  if (!o.depthKind.empty()) p.base.read.kind = io::ParseDepthKind(o.depthKind);
  p.base.read.channel = o.channel;
  p.base.read.farCutoff = o.farCutoff;
  p.base.write.pngBits = o.bits;
  p.base.write.compression = o.compression;
  p.base.verbose = o.verbose;
  try {
    p.base.settings =
        o.settingsBlock.empty() ? DefaultSettings() : zavol::cli::ReadSettingsBlock(o.settingsBlock);
    edits.Apply(p.base.settings);
    if (!o.saveSettings.empty()) zavol::cli::WriteSettingsBlock(o.saveSettings, p.base.settings);
    if (!o.pattern.empty()) p.pattern = io::ReadImage(o.pattern);
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFrameFailed;
  }
  p.seedBase = o.seed >= 0 ? static_cast<uint32_t>(o.seed) : static_cast<uint32_t>(std::time(nullptr));
  return 0;
}

int RenderSingle(const RenderOptions& o, Prepared& p) {
  FrameJob job = p.base;
  job.input = o.input;
  job.output = o.output;
  job.pattern = o.pattern.empty() ? nullptr : &p.pattern;
  job.seed = p.seedBase;
  // One frame: its decoding and compression may use every job slot.
  job.read.threads = o.jobs > 1 ? o.jobs : 0;
  job.write.threads = o.jobs;
  io::SetExrThreads(job.read.threads);
  io::DepthMap depth;
  try {
    if (zavol::cli::RenderFrameFile(job, depth, gStop) == FrameResult::kStopped) {
      Report("stopped; no file written");
      return kStopped;
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFrameFailed;
  }
  return 0;
}

int RenderSequence(const RenderOptions& o, Prepared& p) {
  const int total = p.range.Count();
  const int workers = std::max(1, std::min(o.jobs, total));
  io::SetExrThreads(0);  // frames run in parallel; each decodes on its own thread
  std::atomic<int> next{0}, written{0}, failed{0};
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  int running = workers;
  auto work = [&] {
    io::DepthMap depth;  // reused by this worker's frames
    for (;;) {
      const int index = next.fetch_add(1);
      if (index >= total || gStop.load()) break;
      const int frame = p.range.first + index;
      FrameJob job = p.base;
      job.input = zavol::cli::ExpandFrame(o.input, frame);
      job.output = zavol::cli::ExpandFrame(o.output, frame);
      job.pattern = o.pattern.empty() ? nullptr : &p.pattern;
      // Frames rendered within the same second still get seeds of their own.
      job.seed = p.seedBase + static_cast<uint32_t>(frame);
      try {
        if (zavol::cli::RenderFrameFile(job, depth, gStop) == FrameResult::kWritten) ++written;
      } catch (const io::IoError& e) {
        Report(e.what());
        ++failed;
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
        DrawBar(written + failed, total, seconds);
      }
    }
  }
  for (std::thread& t : threads) t.join();
  ClearBar();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (gStop.load()) {
    Report("stopped; " + std::to_string(written.load()) + " of " + std::to_string(total) +
           " frames written, no partial file left");
    return kStopped;
  }
  if (failed > 0) {
    Report(std::to_string(failed.load()) + " of " + std::to_string(total) + " frames failed");
    return kFrameFailed;
  }
  if (!o.quiet) {
    char line[160];
    std::snprintf(line, sizeof line, "%d frames written in %.1f s (%.1f frames/s, %d jobs)", total,
                  seconds, total / std::max(seconds, 1e-9), workers);
    Report(line);
  }
  return 0;
}

int RunRender(const RenderOptions& o, const zavol::cli::SettingsEdits& edits) {
  Prepared p;
  if (const int code = Prepare(o, edits, p); code != 0) return code;
  CatchStopSignals();
  return p.sequence ? RenderSequence(o, p) : RenderSingle(o, p);
}

// The built-in scene: the same map for the demo and for the depth files of `zavol scene`,
// shifted left by 8 pixels per frame so that a sequence moves.
io::DepthMap SceneFrame(int width, int height, int frame) {
  const std::vector<float> scene = zavol::MakeDemoScene(width, height);
  io::DepthMap map;
  map.width = width;
  map.height = height;
  map.depth.resize(scene.size());
  const int shift = static_cast<int>((static_cast<int64_t>(frame) * 8) % width);
  for (int y = 0; y < height; ++y) {
    const float* from = scene.data() + static_cast<std::size_t>(y) * width;
    float* to = map.depth.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) to[x] = from[(x + shift) % width];
  }
  return map;
}

int RunDemo(const std::string& output, const std::string& size, int64_t seed) {
  FrameJob job;
  if (!io::FormatForPath(output, &job.format)) {
    return UsageError(output + ": the output must end in .png, .pam or .exr");
  }
  int width = 0, height = 0;
  if (!zavol::cli::ParseSize(size, &width, &height)) {
    return UsageError("--size wants WxH, e.g. 1280x720, not '" + size + "'");
  }
  job.input = "demo scene";
  job.output = output;
  job.settings = DefaultSettings();
  job.seed = seed >= 0 ? static_cast<uint32_t>(seed) : static_cast<uint32_t>(std::time(nullptr));
  job.write.threads = DefaultJobs();
  CatchStopSignals();
  try {
    const io::DepthMap depth = SceneFrame(width, height, 0);
    if (zavol::cli::RenderDepthToFile(job, depth, gStop) == FrameResult::kStopped) {
      Report("stopped; no file written");
      return kStopped;
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFrameFailed;
  }
  std::error_code ignored;
  const std::string where = std::filesystem::absolute(output, ignored).lexically_normal().string();
  std::printf("zavol: wrote %s (%dx%d), a stereogram of a sphere in front of a tilted plane.\n"
              "Look through the picture, as if at something far behind it, until the shapes "
              "stand out.\n",
              where.empty() ? output.c_str() : where.c_str(), width, height);
  return 0;
}

// Depth files of the built-in scene: EXR distances (empty sky 1e10, as renderers write), PFM in
// the engine's convention, PNG 16-bit heights (white near, black background).
void WriteSceneFile(const io::DepthMap& map, const std::string& path) {
  std::string lower = path;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto endsWith = [&lower](const char* suffix) {
    const std::string s = suffix;
    return lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
  };
  io::OutputFile out(path);
  if (endsWith(".pfm")) {
    io::WritePfm(out.Stream(), path, map.width, map.height, map.depth.data(), true);
  } else if (endsWith(".exr")) {
    io::LargeVector<float> distances(map.depth.size());
    for (std::size_t i = 0; i < distances.size(); ++i) {
      distances[i] = map.depth[i] <= zavol::kBackgroundThreshold ? 1e10f : -map.depth[i];
    }
    io::WriteExrDepth(out, map.width, map.height, distances.data());
  } else {
    float nearest = zavol::kEmptyDepth, farthest = -zavol::kEmptyDepth;
    for (float z : map.depth) {
      if (z > zavol::kBackgroundThreshold) nearest = std::max(nearest, z), farthest = std::min(farthest, z);
    }
    const float span = nearest > farthest ? nearest - farthest : 1.0f;
    io::WriteOptions options;
    options.pngBits = 16;
    options.grey = true;
    auto writer = io::MakeRowWriter(io::ImageFormat::kPng, out.Stream(), path, map.width,
                                    map.height, options);
    std::vector<zavol::Pixel64> row(static_cast<std::size_t>(map.width));
    for (int y = 0; y < map.height; ++y) {
      for (int x = 0; x < map.width; ++x) {
        const float z = map.depth[static_cast<std::size_t>(y) * map.width + x];
        // Codes 1..65535 for the scene, 0 for background.
        const uint16_t code = z <= zavol::kBackgroundThreshold ? 0
            : static_cast<uint16_t>(1.0f + std::min(1.0f, (z - farthest) / span) * 65534.0f + 0.5f);
        row[x] = zavol::Pixel64{code, code, code, 65535};
      }
      writer->WriteRow(row.data());
    }
    writer->Finish();
  }
  out.Commit();
}

int RunScene(const std::string& output, const std::string& size, const std::string& frames) {
  std::string lower = output;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t dot = lower.find_last_of('.');
  const std::string extension = dot == std::string::npos ? "" : lower.substr(dot);
  if (extension != ".exr" && extension != ".pfm" && extension != ".png") {
    return UsageError(output + ": the depth file must end in .exr, .pfm or .png");
  }
  int width = 0, height = 0;
  if (!zavol::cli::ParseSize(size, &width, &height)) {
    return UsageError("--size wants WxH, e.g. 1920x1080, not '" + size + "'");
  }
  FrameRange range;
  if (!frames.empty()) {
    if (!zavol::cli::ParseFrameRange(frames, &range)) {
      return UsageError("--frames wants A-B (0 <= A <= B) or one frame number, not '" + frames + "'");
    }
    if (!zavol::cli::HasFrameField(output)) {
      return UsageError(output + ": a sequence's output needs # for the frame number");
    }
  } else if (zavol::cli::HasFrameField(output)) {
    return UsageError("# in a file name stands for the frame number: give --frames A-B");
  }
  CatchStopSignals();
  try {
    for (int frame = range.first; frame <= range.last; ++frame) {
      if (gStop.load()) {
        Report("stopped; the files of frames " + std::to_string(range.first) + " to " +
               std::to_string(frame - 1) + " are written");
        return kStopped;
      }
      WriteSceneFile(SceneFrame(width, height, frame), zavol::cli::ExpandFrame(output, frame));
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFrameFailed;
  }
  return 0;
}

int RunSettings(const std::string& from, const std::string& output,
                const zavol::cli::SettingsEdits& edits) {
  try {
    StereogramSettings settings = from.empty() ? DefaultSettings() : zavol::cli::ReadSettingsBlock(from);
    edits.Apply(settings);
    std::fputs(zavol::cli::DescribeSettings(settings).c_str(), stdout);
    if (!output.empty()) zavol::cli::WriteSettingsBlock(output, settings);
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFrameFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "zavol renders depth maps into random-dot autostereograms with the same engine as the\n"
      "zavol.dlf plug-in: identical pixels for identical depth and settings."};
  app.set_version_flag("--version", "zavol " ZAVOL_VERSION_TEXT);
  app.require_subcommand(1, 1);
  app.footer("Exit codes: 0 done, 1 a bad input file or a failed frame, 2 a usage error, "
             "130 stopped by Ctrl-C.\nSee the README's \"Command-line tool\" section.");

  RenderOptions ro;
  zavol::cli::SettingsEdits edits;
  CLI::App* render = app.add_subcommand(
      "render", "Render a depth file, or a numbered sequence of them, into stereogram images");
  render->add_option("INPUT", ro.input,
                     "Depth file: OpenEXR, PFM or PNG height map; in a sequence, a run of # is "
                     "the zero-padded frame number (depth_####.exr)")
      ->required();
  render->add_option("-o,--output", ro.output,
                     "Output image: .png (8-bit RGB), .pam (16-bit RGBA, exact) or .exr (half RGBA); # as in INPUT")
      ->required();
  render->add_option("--frames", ro.frames, "Render the frames A to B of a sequence")->type_name("A-B");
  render->add_option("-j,--jobs", ro.jobs, "Frames rendered in parallel (one frame: threads for "
                                           "decoding and compressing); default: all cores")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  render->add_flag("-q,--quiet", ro.quiet, "No progress bar and no summary line");
  render->add_flag("-v,--verbose", ro.verbose, "Print the engine's debug line (minz) for each frame");
  render->add_option("--seed", ro.seed,
                     "Seed for randomized frames instead of the start time; in a sequence frame F gets N + F")
      ->check(CLI::Range(int64_t{0}, int64_t{4294967295}))
      ->type_name("N");
  render->add_option("--depth-kind", ro.depthKind,
                     "What the input's numbers mean: host (engine convention), distance, "
                     "disparity (bigger is nearer), height (1 nearest), mist (0 nearest); default "
                     "EXR distance, PFM host, PNG height")
      ->check(CLI::IsMember({"host", "distance", "disparity", "height", "mist"}))
      ->type_name("KIND");
  render->add_option("--channel", ro.channel,
                     "EXR depth channel; default Z, else one ending in .Depth.Z, else in .Z")
      ->type_name("NAME");
  render->add_option("--far-cutoff", ro.farCutoff,
                     "Distances at or above this are empty background (renderers write 1e10 for "
                     "sky; half-float files also 65504)")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  render->add_option("--pattern", ro.pattern,
                     "PNG or PAM image whose pixel (x, y) is the dot at (x, y), not tiled")
      ->type_name("IMAGE");
  render->add_option("--screen", ro.screen, "Screen size for the monitor media")
      ->type_name("WxH")
      ->capture_default_str();
  render->add_option("--bits", ro.bits, "PNG bits per channel: 8 (the dots' colours) or 16")
      ->check(CLI::IsMember({8, 16}))
      ->capture_default_str();
  render->add_option("--compression", ro.compression, "PNG deflate level, 0 (none) to 9 (smallest)")
      ->check(CLI::Range(0, 9))
      ->capture_default_str();
  render->add_option("--settings", ro.settingsBlock,
                     "56-byte settings block, as the plug-in's host stores it (default: the "
                     "record's defaults)")
      ->type_name("BLOCK");
  render->add_option("--save-settings", ro.saveSettings, "Also write the settings in effect as a block")
      ->type_name("BLOCK");
  zavol::cli::AddSettingsOptions(*render, edits);

  std::string demoOutput = "demo.png", demoSize = "1280x720";
  int64_t demoSeed = -1;
  CLI::App* demo = app.add_subcommand("demo", "Render the built-in scene (no input needed) and say "
                                              "where the image is");
  demo->add_option("-o,--output", demoOutput, "Output image, .png, .pam or .exr")->capture_default_str();
  demo->add_option("--size", demoSize, "Image size")->type_name("WxH")->capture_default_str();
  demo->add_option("--seed", demoSeed, "Seed instead of the current time")
      ->check(CLI::Range(int64_t{0}, int64_t{4294967295}))
      ->type_name("N");

  std::string settingsFrom, settingsOutput;
  zavol::cli::SettingsEdits settingsEdits;
  CLI::App* settings = app.add_subcommand(
      "settings", "Print the fourteen fields of a 56-byte settings block by name, edit them, "
                  "write a block");
  settings->add_option("--from,--settings", settingsFrom, "Block to start from (default: the "
                                                          "record's defaults)")
      ->type_name("BLOCK");
  settings->add_option("-o,--output", settingsOutput, "Write the edited block")->type_name("BLOCK");
  zavol::cli::AddSettingsOptions(*settings, settingsEdits);

  std::string sceneOutput, sceneSize = "1920x1080", sceneFrames;
  CLI::App* scene = app.add_subcommand(
      "scene", "Write the built-in scene as a depth file to try the tool on: .exr (distance, sky "
               "1e10), .pfm (engine convention) or .png (16-bit height); in a sequence the scene "
               "moves 8 pixels per frame");
  scene->add_option("-o,--output", sceneOutput, "Depth file; # is the frame number")->required();
  scene->add_option("--size", sceneSize, "Image size")->type_name("WxH")->capture_default_str();
  scene->add_option("--frames", sceneFrames, "Write the frames A to B")->type_name("A-B");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    return UsageError(e.what());
  }
  if (*render) return RunRender(ro, edits);
  if (*demo) return RunDemo(demoOutput, demoSize, demoSeed);
  if (*settings) return RunSettings(settingsFrom, settingsOutput, settingsEdits);
  return RunScene(sceneOutput, sceneSize, sceneFrames);
}
