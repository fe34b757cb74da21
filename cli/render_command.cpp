// `zavol render`: a depth file, a numbered sequence or a depth video into stereogram images or
// one video. This file declares the command's options and runs the preparation
// (render_prepare.cpp) and the driver that fits the input (render_drivers.cpp).
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/render_run.h"
#include "cli/tool.h"

namespace zavol::cli {
namespace {

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
