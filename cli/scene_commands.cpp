// `zavol demo` and `zavol scene`: the built-in scene as a stereogram, and as depth files to try
// the tool on. Depends on the tool's other pieces, zavol_io and the engine's scene.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/frames.h"
#include "cli/render_job.h"
#include "cli/tool.h"
#include "cli/view_flags.h"
#include "io/error.h"
#include "io/formats.h"
#include "render/background.h"
#include "render/scene.h"

namespace zavol::cli {
namespace {

// The built-in scene: the same map for the demo and for the depth files of `zavol scene`,
// moving left by kDemoScenePixelsPerFrame pixels per frame so that a sequence moves.
io::DepthMap SceneFrame(int width, int height, int frame) {
  const std::vector<float> scene = MakeDemoSceneFrame(width, height, frame);
  io::DepthMap map;
  map.width = width;
  map.height = height;
  map.depth.assign(scene.begin(), scene.end());
  return map;
}

struct DemoOptions {
  std::string output = "demo.png", size = "1280x720";
  int64_t seed = -1;
  ViewFlags view;
};

int RunDemo(const DemoOptions& o) {
  FrameJob job;
  if (!io::FormatForPath(o.output, &job.format)) {
    return UsageError(o.output + ": the output must end in .png, .pam, .exr or .pfm", "demo");
  }
  int width = 0, height = 0;
  if (!ParseSize(o.size, &width, &height)) {
    return UsageError("--size wants WxH, e.g. 1280x720, not '" + o.size + "'", "demo");
  }
  if (const std::string refusal = io::OutputRefusal(o.output, job.format == io::ImageFormat::kExr);
      !refusal.empty()) {
    return UsageError(refusal, "demo");
  }
  job.input = "demo scene";
  job.output = o.output;
  job.settings = DefaultSettings();
  job.view = o.view.Options();
  job.seed = o.seed >= 0 ? static_cast<uint32_t>(o.seed) : static_cast<uint32_t>(std::time(nullptr));
  const unsigned cores = std::thread::hardware_concurrency();
  job.write.threads = static_cast<int>(std::clamp(cores, 1u, 256u));
  job.threads = 0;  // every core, fewer for a small picture
  try {
    const io::DepthMap depth = SceneFrame(width, height, 0);
    if (RenderDepthToFile(job, depth, PlanJob(job, depth), StopFlag()) == FrameResult::kStopped) {
      Report("stopped; no file written");
      return StoppedExitCode();
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  std::error_code ignored;
  const std::string where = std::filesystem::absolute(o.output, ignored).lexically_normal().string();
  const bool cross = job.view.view == ViewDirection::kCross;
  std::printf("zavol: wrote %s (%dx%d), a stereogram of a sphere in front of a tilted plane.\n"
              "%s until the shapes stand out.\n",
              where.empty() ? o.output.c_str() : where.c_str(), width, height,
              cross ? "Cross your eyes, as if at something between you and the picture,"
                    : "Look through the picture, as if at something far behind it,");
  return 0;
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Depth files of the built-in scene: EXR distances (empty sky 1e10, as renderers write), PFM in
// the engine's convention, PNG 16-bit heights (white near, black background). False when a stop
// signal came first: then nothing is left behind.
bool WriteSceneFile(const io::DepthMap& map, const std::string& path) {
  const std::string lower = Lowercase(path);
  io::OutputFile out(path);
  if (EndsWith(lower, ".pfm")) {
    io::WritePfm(out.Stream(), path, map.width, map.height, map.depth.data(), true);
  } else if (EndsWith(lower, ".exr")) {
    io::LargeVector<float> distances(map.depth.size());
    for (std::size_t i = 0; i < distances.size(); ++i) {
      distances[i] = map.depth[i] <= kBackgroundThreshold ? 1e10f : -map.depth[i];
    }
    io::WriteExrDepth(out, map.width, map.height, distances.data());
  } else {
    float nearest = kEmptyDepth, farthest = -kEmptyDepth;
    for (float z : map.depth) {
      if (z > kBackgroundThreshold) nearest = std::max(nearest, z), farthest = std::min(farthest, z);
    }
    const float span = nearest > farthest ? nearest - farthest : 1.0f;
    io::WriteOptions options;
    options.pngBits = 16;
    options.grey = true;
    auto writer = io::MakeRowWriter(io::ImageFormat::kPng, out.Stream(), path, map.width,
                                    map.height, options);
    std::vector<Pixel64> row(static_cast<std::size_t>(map.width));
    for (int y = 0; y < map.height; ++y) {
      if (StopRequested()) return false;
      for (int x = 0; x < map.width; ++x) {
        const float z = map.depth[static_cast<std::size_t>(y) * map.width + x];
        // Codes 1..65535 for the scene, 0 for background.
        const uint16_t code = z <= kBackgroundThreshold ? 0
            : static_cast<uint16_t>(1.0f + std::min(1.0f, (z - farthest) / span) * 65534.0f + 0.5f);
        row[x] = Pixel64{code, code, code, 65535};
      }
      writer->WriteRow(row.data());
    }
    writer->Finish();
  }
  if (StopRequested()) return false;
  out.Commit();
  return true;
}

struct SceneOptions {
  std::string output, size = "1920x1080", frames;
};

int RunScene(const SceneOptions& o) {
  const std::string lower = Lowercase(o.output);
  if (!EndsWith(lower, ".exr") && !EndsWith(lower, ".pfm") && !EndsWith(lower, ".png")) {
    return UsageError(o.output + ": the depth file must end in .exr, .pfm or .png", "scene");
  }
  int width = 0, height = 0;
  if (!ParseSize(o.size, &width, &height)) {
    return UsageError("--size wants WxH, e.g. 1920x1080, not '" + o.size + "'", "scene");
  }
  FrameRange range;
  if (!o.frames.empty()) {
    if (!ParseFrameRange(o.frames, &range)) {
      return UsageError("--frames wants A-B (0 <= A <= B) or one frame number, not '" + o.frames + "'",
                        "scene");
    }
    if (!HasFrameField(o.output)) {
      return UsageError(o.output + ": a sequence's output needs # for the frame number", "scene");
    }
  } else if (HasFrameField(o.output)) {
    return UsageError("# in a file name stands for the frame number: give --frames A-B", "scene");
  }
  for (int frame = range.first; frame <= range.last && frame - range.first < 100000; ++frame) {
    const std::string refusal = io::OutputRefusal(ExpandFrame(o.output, frame), EndsWith(lower, ".exr"));
    if (!refusal.empty()) return UsageError(refusal, "scene");
  }
  int frame = range.first;
  try {
    for (; frame <= range.last; ++frame) {
      if (StopRequested()) break;
      if (!WriteSceneFile(SceneFrame(width, height, frame), ExpandFrame(o.output, frame))) break;
    }
  } catch (const io::IoError& e) {
    Report(e.what());
    return kFailed;
  }
  if (StopRequested()) {
    Report(frame == range.first ? std::string("stopped; no file written")
                                : "stopped; the files of frames " + std::to_string(range.first) +
                                      " to " + std::to_string(frame - 1) + " are written");
    return StoppedExitCode();
  }
  return 0;
}

}  // namespace

Command AddDemoCommand(CLI::App& app) {
  auto o = std::make_shared<DemoOptions>();
  CLI::App* demo = app.add_subcommand("demo", "Render the built-in scene (no input needed) and say "
                                              "where the image is");
  demo->add_option("-o,--output", o->output, "Output image, .png, .pam, .exr or .pfm")
      ->capture_default_str();
  demo->add_option("--size", o->size, "Image size")->type_name("WxH")->capture_default_str();
  demo->add_option("--seed", o->seed, "Seed instead of the current time")
      ->check(NumberWithin(0, 4294967295.0))
      ->type_name("N");
  AddViewFlags(*demo, o->view);
  return {demo, [o] { return RunDemo(*o); }};
}

Command AddSceneCommand(CLI::App& app) {
  auto o = std::make_shared<SceneOptions>();
  CLI::App* scene = app.add_subcommand(
      "scene", "Write the built-in scene as a depth file to try the tool on: .exr (distance, sky "
               "1e10), .pfm (engine convention) or .png (16-bit height); in a sequence the scene "
               "moves 8 pixels per frame");
  scene->add_option("-o,--output", o->output, "Depth file; # is the frame number")->required();
  scene->add_option("--size", o->size, "Image size")->type_name("WxH")->capture_default_str();
  scene->add_option("--frames", o->frames, "Write the frames A to B")->type_name("A-B");
  return {scene, [o] { return RunScene(*o); }};
}

}  // namespace zavol::cli
