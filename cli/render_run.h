// `zavol render` in pieces: its options as given, what is worked out from them once before any
// frame (the checks made before anything is written: settings, inputs, the overwrite guard and
// outputs no file may replace), and the three drivers that render a single frame, a numbered
// sequence on several frames at once, or frames into or out of one video. The command's option
// declarations stay in render_command.cpp. Depends on the tool's other pieces and zavol_io.
#pragma once

#include <CLI/CLI.hpp>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/frames.h"
#include "cli/render_job.h"
#include "cli/settings_options.h"
#include "cli/view_flags.h"
#include "io/formats.h"
#include "io/video_write.h"

namespace zavol::cli {

// Frames rendered at once by default: one per core.
inline int DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores < 256u ? cores : 256u);
}

// The command line as given.
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
  // Frames found with no scene depth, counted by the frames as they render.
  mutable std::atomic<int> emptyFrames{0};
};

// Fills p from o, with every check made before anything is written. 0 when ready, else the exit
// code (the reason already reported).
int Prepare(const RenderOptions& o, Prepared& p);

// Options whose effect depends on what the input turned out to be, told once.
void WarnAboutInputOptions(const RenderOptions& o, const Prepared& p, const std::string& name,
                           const io::DepthMap& depth);

// A path as the user should read it ("-" is standard input).
std::string Shown(const std::string& path);

// The drivers, each returning the command's exit code.
int RenderSingle(const RenderOptions& o, Prepared& p);
int RenderSequence(const RenderOptions& o, Prepared& p);
int RenderVideo(const RenderOptions& o, Prepared& p);

}  // namespace zavol::cli
