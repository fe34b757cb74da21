// The built zavol program against one table of command lines, as a careful user meets it: each
// row's exit code, the first line of its standard error and the files it leaves in its folder
// (never a hidden temporary), including runs stopped by SIGINT, SIGTERM and SIGHUP mid-frame.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/cli_support.h"

namespace {

using clitest::ScratchDir;
namespace fs = std::filesystem;

// Inputs shared by every row, made once with the tool itself (zavol scene) and written here.
void MakeSharedInputs(const ScratchDir& dir) {
  const std::vector<std::vector<std::string>> scenes = {
      {"scene", "--size", "320x180", "-o", dir / "small.pfm"},
      {"scene", "--size", "320x180", "-o", dir / "small.png"},
      {"scene", "--size", "320x180", "-o", dir / "small.exr"},
      {"scene", "--size", "320x180", "--frames", "1-3", "-o", dir / "seq_#.pfm"},
      {"scene", "--size", "3000x2000", "--frames", "1-3", "-o", dir / "big_#.pfm"}};
  for (const auto& args : scenes) {
    if (clitest::RunZavol(args).exitCode != 0) std::abort();
  }
  // Heights: a box (0.4) and a disc (0.8) on an empty background (0), and on a plane (0.2).
  for (const float floor : {0.0f, 0.2f}) {
    std::vector<float> heights(320 * 180, floor);
    for (int y = 0; y < 180; ++y) {
      for (int x = 0; x < 320; ++x) {
        if (x >= 40 && x < 120 && y >= 50 && y < 130) heights[y * 320 + x] = 0.4f;
        if ((x - 220) * (x - 220) + (y - 90) * (y - 90) < 45 * 45) heights[y * 320 + x] = 0.8f;
      }
    }
    clitest::WriteBytes(dir / (floor > 0.0f ? "levels_on_plane.pfm" : "levels_on_empty.pfm"),
                        clitest::PfmBytes(320, 180, heights, true));
  }
  clitest::WriteBytes(dir / "zero.block", std::vector<uint8_t>(56, 0x00));
  clitest::WriteBytes(dir / "ff.block", std::vector<uint8_t>(56, 0xFF));
  clitest::Image pattern;
  pattern.width = 50, pattern.height = 20;
  for (int i = 0; i < 50 * 20; ++i) {
    pattern.pixels.push_back({static_cast<uint16_t>(i * 97 << 8), static_cast<uint16_t>(i << 9), 0, 65535});
  }
  clitest::WriteBytes(dir / "pattern.pam", clitest::RgbPamBytes(pattern));
}

const ScratchDir& Shared() {
  static const ScratchDir dir;
  static const bool made = (MakeSharedInputs(dir), true);
  static_cast<void>(made);
  return dir;
}

struct Row {
  const char* name;
  // "@x" is x in the row's own folder, which starts with in.png and link.png (a hard link to
  // it); "%x" is a shared input.
  std::vector<std::string> args;
  int exitCode;
  std::string firstErrorLine;  // contained in the first line of stderr; "" when stderr is empty
  std::vector<std::string> newFiles;  // in the row's folder afterwards, beside in.png and link.png
  std::string stdinFrom = "";  // "<%x": redirected from x; "|%x": through a pipe from x
  int stopSignal = 0;          // sent once the run's first temporary exists
  std::string stdoutHas = "";
  std::vector<std::string> sameOutputAs = {};  // a run whose @ref.pam equals this run's @o.pam
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

std::string Expand(const std::string& text, const ScratchDir& dir) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool here = text[i] == '@', shared = text[i] == '%';
    if (!here && !shared) {
      out += text[i];
      continue;
    }
    std::size_t end = text.find_first_of(" :;,)'", i + 1);
    if (end == std::string::npos) end = text.size();
    out += (here ? dir : Shared()) / text.substr(i + 1, end - i - 1);
    i = end - 1;
  }
  return out;
}

bool HasTemporary(const ScratchDir& dir) {
  for (const std::string& name : dir.Names()) {
    if (name[0] == '.' && name.find(".zavol-") != std::string::npos) return true;
  }
  return false;
}

struct Outcome {
  int exitCode = -1;
  std::string out, err;
  bool signalled = false;  // the stop signal went to a run frozen with a temporary on disk
};

Outcome RunRow(const Row& row, const ScratchDir& dir) {
  std::string command;
  for (const std::string& a : row.args) command += " " + clitest::Quote(Expand(a, dir));
  command = "exec " + clitest::Quote(ZAVOL_BIN) + command;
  if (!row.stdinFrom.empty()) {
    const std::string from = clitest::Quote(Expand(row.stdinFrom.substr(1), dir));
    command = row.stdinFrom[0] == '<' ? command + " <" + from : "cat " + from + " | " + command;
  } else {
    command += " </dev/null";
  }
  command += " >" + clitest::Quote(dir / ".out") + " 2>" + clitest::Quote(dir / ".err");
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Outcome outcome;
  if (row.stopSignal != 0) {
    // Frozen as soon as a temporary appears, the run is signalled with the temporary surely
    // on disk, then let go to clean up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!HasTemporary(dir) && std::chrono::steady_clock::now() < deadline &&
           waitpid(child, nullptr, WNOHANG) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(child, SIGSTOP);
    outcome.signalled = HasTemporary(dir);
    kill(child, row.stopSignal);
    kill(child, SIGCONT);
  }
  int status = 0;
  waitpid(child, &status, 0);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [&dir](const char* name) {
    const std::vector<uint8_t> bytes = clitest::ReadBytes(dir / name);
    fs::remove(dir / name);
    return std::string(bytes.begin(), bytes.end());
  };
  outcome.out = slurp(".out");
  outcome.err = slurp(".err");
  return outcome;
}

class CommandLine : public testing::TestWithParam<Row> {};

TEST_P(CommandLine, ExitCodeFirstErrorLineAndFilesLeft) {
  const Row& row = GetParam();
  ScratchDir dir;
  fs::copy_file(Shared() / "small.png", dir / "in.png");
  fs::create_hard_link(dir / "in.png", dir / "link.png");
  const std::vector<uint8_t> input = clitest::ReadBytes(dir / "in.png");

  const Outcome run = RunRow(row, dir);
  if (row.stopSignal != 0) {
    EXPECT_TRUE(run.signalled) << "the run ended before a temporary appeared";
  }
  EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
  const std::string firstLine = run.err.substr(0, run.err.find('\n'));
  if (row.firstErrorLine.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(firstLine.find(Expand(row.firstErrorLine, dir)), std::string::npos) << run.err;
    EXPECT_EQ(firstLine.rfind("zavol: ", 0), 0u) << run.err;
  }
  if (!row.stdoutHas.empty()) {
    EXPECT_NE(run.out.find(row.stdoutHas), std::string::npos) << run.out;
  }
  if (row.args[0] == "settings") {
    EXPECT_EQ(run.out.find("nan"), std::string::npos) << run.out;
  }

  std::vector<std::string> expected = row.newFiles;
  expected.insert(expected.end(), {"in.png", "link.png"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Names(), expected);
  EXPECT_TRUE(clitest::ReadBytes(dir / "in.png") == input) << "an input was overwritten";

  if (!row.sameOutputAs.empty()) {
    Row reference = row;
    reference.args = row.sameOutputAs;
    reference.stdinFrom.clear();
    ASSERT_EQ(RunRow(reference, dir).exitCode, 0);
    EXPECT_TRUE(clitest::ReadBytes(dir / "o.pam") == clitest::ReadBytes(dir / "ref.pam"));
  }
}

// render of the small scene with more options, into @o.png unless they name an output.
std::vector<std::string> Small(std::vector<std::string> more) {
  more.insert(more.begin(), {"render", "%small.pfm"});
  if (std::find(more.begin(), more.end(), "-o") == more.end()) more.insert(more.end(), {"-o", "@o.png"});
  return more;
}

// The long runs that signals stop: each makes its first temporary within a second.
const std::vector<std::string> kSingle = {"render", "%big_1.pfm", "-o", "@o.exr", "--jobs", "1"};
const std::vector<std::string> kSequence = {"render", "%big_#.pfm", "--frames", "1-3", "-o", "@o_#.exr", "--jobs", "1"};
const std::vector<std::string> kDemo = {"demo", "--size", "4000x3000", "-o", "@demo.exr"};
const std::vector<std::string> kScene = {"scene", "--size", "5000x4000", "-o", "@depth.png"};

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    testing::Values(
        // The medium sets the separations: small monitor pictures are warned about; --fit fixes them.
        Row{"small_monitor_picture_warns", Small({}), 0,
            "warning: %small.pfm: the background repeats every 201 px, only 1.6 times across 320 px", {"o.png"}},
        Row{"fit_picks_a_dpi_and_says_nothing", Small({"--fit"}), 0, "", {"o.png"}},
        Row{"fit_tells_its_dpi", Small({"--fit", "--verbose"}), 0, "29 pixels per inch (custom dpi)", {"o.png"}},
        Row{"fit_with_a_medium_refused", Small({"--fit", "--medium", "a4"}), 2, "--fit chooses the dpi itself", {}},
        Row{"paper_needs_no_warning", Small({"--medium", "a4"}), 0, "", {"o.png"}},
        // An output that is an input is refused before anything is written.
        Row{"output_is_the_input", {"render", "@in.png", "-o", "@in.png"}, 2,
            "@in.png: is the same file as the input @in.png", {}},
        Row{"output_is_a_link_to_the_input", {"render", "@in.png", "-o", "@link.png"}, 2,
            "@link.png: is the same file as the input @in.png", {}},
        Row{"output_is_the_pattern", Small({"--pattern", "@in.png", "-o", "@in.png"}), 2, "same file as the input @in.png", {}},
        // Options that matter only with others: implied where plain, else warned about.
        Row{"near_distance_implies_a_fixed_range", Small({"--medium", "a4", "--near-distance", "5", "--far-distance", "20", "-v"}),
            0, "depth -20 (far) to -5 (near) from the distances", {"o.png"}},
        Row{"dpi_implies_the_custom_medium", Small({"--dpi", "20", "-v"}), 0, "20 pixels per inch (custom dpi)", {"o.png"}},
        Row{"distance_with_auto_distance_warns", Small({"--medium", "a4", "--auto-distance", "--near-distance", "5"}),
            0, "warning: --near-distance and --far-distance have no effect with --auto-distance", {"o.png"}},
        Row{"dpi_with_another_medium_warns", Small({"--medium", "a4", "--dpi", "300"}), 0,
            "warning: --dpi has no effect with --medium a4", {"o.png"}},
        Row{"channel_on_a_png_warns", {"render", "%small.png", "--channel", "Z", "--medium", "a4", "-o", "@o.png"}, 0,
            "warning: --channel has no effect on %small.png", {"o.png"}},
        Row{"seed_without_randomizing_warns", Small({"--medium", "a4", "--no-randomize", "--seed", "3"}), 0,
            "warning: --seed has no effect", {"o.png"}},
        Row{"pattern_smaller_than_the_picture_warns", Small({"--medium", "a4", "--pattern", "%pattern.pam"}), 0,
            "warning: %pattern.pam: the pattern (50x20) is smaller than the picture (320x180)", {"o.png"}},
        Row{"pattern_tiled_says_nothing", Small({"--medium", "a4", "--pattern", "%pattern.pam", "--pattern-tile"}), 0, "",
            {"o.png"}},
        // The farthest level at the background's separation merges with it, unless lifted off.
        Row{"level_on_an_empty_background_warns",
            {"render", "%levels_on_empty.pfm", "--depth-kind", "height", "--medium", "a4", "-o", "@o.png"}, 0,
            "warning: %levels_on_empty.pfm: the farthest level of the depth (6400 pixels) gets the background's "
            "separation, 35 px, and merges with the background; set --far-object-depth below 1", {"o.png"}},
        Row{"level_lifted_off_the_background_says_nothing",
            {"render", "%levels_on_empty.pfm", "--depth-kind", "height", "--medium", "a4", "--far-object-depth", "0.9",
             "-o", "@o.png"}, 0, "", {"o.png"}},
        Row{"levels_on_a_plane_say_nothing",
            {"render", "%levels_on_plane.pfm", "--depth-kind", "height", "--medium", "a4", "-o", "@o.png"}, 0, "",
            {"o.png"}},
        Row{"level_beyond_the_far_distance_warns",
            {"render", "%levels_on_empty.pfm", "--depth-kind", "height", "--medium", "a4", "--near-distance", "0.1",
             "--far-distance", "0.5", "--far-object-depth", "0.9", "-o", "@o.png"}, 0,
            "and merges with the background; raise --far-distance beyond it (it lies at 0.6)", {"o.png"}},
        // Settings that cannot make a picture are named, field by field.
        Row{"near_beyond_far_refused", Small({"--near-distance", "50", "--far-distance", "10"}), 2,
            "NearDistance (--near-distance) 50 is not nearer than FarDistance (--far-distance) 10", {}},
        Row{"block_of_zeros_refused", Small({"--settings", "%zero.block"}), 1,
            "%zero.block: BackgroundDepth (--background-depth) is 0, which makes every separation 0 px", {}},
        Row{"block_of_ones_refused", Small({"--settings", "%ff.block"}), 1,
            "%ff.block: NearObjectDepth (--near-object-depth) is invalid (0xffffffff: not a number)", {}},
        Row{"settings_shows_invalid_fields_with_their_bits", {"settings", "--from", "%ff.block", "-o", "@b.block"}, 1,
            "%ff.block: NearObjectDepth", {}, "", 0, "NearObjectDepth     invalid (0xffffffff: not a number)"},
        Row{"settings_block_repaired_by_options",
            {"settings", "--from", "%zero.block", "--background-depth", "1", "--auto-distance", "-o", "@b.block"}, 0, "", {"b.block"}},
        Row{"no_pixel_in_front_of_the_background_warns",
            {"render", "%small.exr", "--depth-kind", "mist", "--medium", "a4", "-o", "@o.png"}, 0,
            "warning: %small.exr: no pixel lies in front of the background (read as mist)", {"o.png"}},
        // Sequences.
        Row{"frames_without_a_numbered_input_refused", Small({"--frames", "1-3", "-o", "@o_#.png"}), 2,
            "%small.pfm: --frames needs # for the frame number in the input's name", {}},
        Row{"missing_frames_one_line_for_the_run",
            {"render", "%seq_#.pfm", "--frames", "1-1000000", "--medium", "a4", "-q", "-o", "@o_#.pam"}, 1,
            "frames 4-1000000: no such files", {"o_1.pam", "o_2.pam", "o_3.pam"}},
        // Messages a person can act on.
        Row{"misspelt_option_gets_a_suggestion", Small({"--depht-kind", "height"}), 2,
            "render: unknown option --depht-kind; did you mean --depth-kind?", {}},
        Row{"misspelt_command_gets_a_suggestion", {"rendr", "%small.pfm"}, 2, "unknown command 'rendr'; did you mean render?", {}},
        Row{"help_for_a_command", {"help", "render"}, 0, "", {}, "", 0, "Usage: zavol render"},
        Row{"option_before_the_command", {"--seed", "3", "demo"}, 2, "options go after the command: zavol demo --seed 3", {}},
        Row{"range_in_short_numbers", Small({"--far-distance", "1e31"}), 2, "--far-distance: 1e31 is not within 0 to 1e30", {}},
        // Pipes.
        Row{"png_from_standard_input", {"render", "-", "--medium", "a4", "--seed", "5", "-o", "@o.pam"}, 0, "", {"o.pam"},
            "<%small.png", 0, "", {"render", "%small.png", "--medium", "a4", "--seed", "5", "-o", "@ref.pam"}},
        Row{"exr_through_a_pipe_on_dev_stdin", {"render", "/dev/stdin", "--medium", "a4", "--seed", "5", "-o", "@o.pam"}, 0, "",
            {"o.pam"}, "|%small.exr", 0, "", {"render", "%small.exr", "--medium", "a4", "--seed", "5", "-o", "@ref.pam"}},
        Row{"pfm_to_standard_output", Small({"--medium", "a4", "-o", "-", "--format", "pfm"}), 0, "", {}, "", 0, "PF\n320 180\n"},
        Row{"standard_output_needs_a_format", Small({"-o", "-"}), 2, "-o - writes the picture to standard output", {}},
        Row{"exr_cannot_go_to_standard_output", Small({"-o", "-", "--format", "exr"}), 2, "OpenEXR cannot go to standard output", {}},
        // Stopped mid-frame: every temporary removed, exit 128 + the signal.
        Row{"single_frame_sigint", kSingle, 130, "stopped; no file written", {}, "", SIGINT},
        Row{"single_frame_sigterm", kSingle, 143, "stopped; no file written", {}, "", SIGTERM},
        Row{"single_frame_sighup", kSingle, 129, "stopped; no file written", {}, "", SIGHUP},
        Row{"sequence_sigint", kSequence, 130, "stopped; 0 of 3 frames written", {}, "", SIGINT},
        Row{"sequence_sigterm", kSequence, 143, "stopped; 0 of 3 frames written", {}, "", SIGTERM},
        Row{"sequence_sighup", kSequence, 129, "stopped; 0 of 3 frames written", {}, "", SIGHUP},
        Row{"demo_sigint", kDemo, 130, "stopped; no file written", {}, "", SIGINT},
        Row{"demo_sigterm", kDemo, 143, "stopped; no file written", {}, "", SIGTERM},
        Row{"demo_sighup", kDemo, 129, "stopped; no file written", {}, "", SIGHUP},
        Row{"scene_sigint", kScene, 130, "stopped; no file written", {}, "", SIGINT},
        Row{"scene_sigterm", kScene, 143, "stopped; no file written", {}, "", SIGTERM},
        Row{"scene_sighup", kScene, 129, "stopped; no file written", {}, "", SIGHUP}),
    [](const testing::TestParamInfo<Row>& p) { return p.param.name; });

}  // namespace
