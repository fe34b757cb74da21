// Fuzz target: the depth-video reader as `zavol render` calls it: the file is recognised, opened
// and read frame by frame (a few frames at most, each checked as every reader's maps are); then
// the same file through the tool's frame pipeline into numbered images (two workers, frames that
// fail as the input's bytes say), which must end whatever the video does: run with libFuzzer's
// -timeout, a pipeline that waits forever is a finding.
#include <cstddef>
#include <cstdint>

#include "cli/tool.h"
#include "cli/video_render.h"
#include "fuzz/reader_input.h"
#include "io/video_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  namespace io = zavol::io;
  namespace cli = zavol::cli;
  const std::string& path = zavol::fuzz::Input().Write(data, size);
  io::IsVideoInput(path);  // either answer is fine; it only must not fail
  io::DepthMap map;
  bool opened = false;
  try {
    io::VideoReader reader(path, 1);
    opened = true;
    for (int frame = 0; frame < 4 && reader.Read(zavol::fuzz::OptionsFor(size), map); ++frame) {
      zavol::fuzz::CheckDepthMap(map);
    }
  } catch (const io::IoError& error) {
    zavol::fuzz::CheckError(error, path);
  }
  if (!opened) return 0;
  // The frames into images, rendered by a stand-in that checks each map and fails the frame the
  // last byte names (none when it is past the video's end); nothing is written to disk.
  const int failing = size > 0 ? data[size - 1] % 8 : -1;
  cli::VideoRun run;
  run.input = path;
  run.videoInput = true;
  run.read = zavol::fuzz::OptionsFor(size);
  run.output = path + "_#.pam";
  run.jobs = 2;
  run.quiet = true;
  if (size > 1 && (data[size - 2] & 1) != 0) run.range = cli::FrameRange{1, 3};
  run.render = [failing](int frame, const std::string&, const std::string& output,
                         const io::DepthMap& depth, io::RowWriter*) {
    zavol::fuzz::CheckDepthMap(depth);
    if (frame == failing) throw io::IoError(output, "cannot write (a failure the input asked for)");
    return cli::FrameResult::kWritten;
  };
  const int code = cli::RunVideoFrames(run);
  if (code != 0 && code != cli::kFailed) __builtin_trap();  // no usage errors, no stop here
  return 0;
}
