// What the tool does to each kind of output when the output is not a plain file in a writable
// folder, the input ends early or a stop signal comes: one table of cases, each run as a real
// process under its own time limit (a hang fails the case instead of stopping the suite), each
// checked for its exit code, the message said once, and exactly which names are left in the
// output folder. Devices are made with mknod (root only); a read-only and a small full file
// system are tmpfs mounts (root only). Native only.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/cli_support.h"

namespace {

namespace fs = std::filesystem;
using clitest::ScratchDir;

enum class Setup { kNone, kFifoReader, kNullDevice, kFullDevice, kReadOnlyFs, kSmallFs };
// kMiddle: once the output has begun (a temporary counts); kAfterAFrame: once a frame of a
// sequence is in place under its own name, so that a frame is certain to be left.
enum class Trigger { kNone, kStart, kMiddle, kAfterAFrame, kFlush };

struct FaultCase {
  const char* name;
  // "@": the folder of inputs; "%": the output folder. With stdoutTo the output is "-".
  std::vector<std::string> args;
  Setup setup = Setup::kNone;
  const char* node = "";      // the name in the output folder the setup makes (FIFO, device)
  bool stdoutTo = false;      // standard output goes to the node instead of a file named by -o
  Trigger trigger = Trigger::kNone;
  int exitCode = 0;
  const char* message = "";   // said exactly once on stderr (empty: nothing but warnings)
  std::vector<std::string> left;  // the names left in the output folder, sorted; {"*"}: see below
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

// Inputs shared by every case: six frames of the scene, the same frames with the fourth cut
// short, a depth video of them cut to 60 %, and a long depth video for stopping mid-run.
class Inputs {
 public:
  static const Inputs& Get() {
    static Inputs inputs;
    return inputs;
  }
  const ScratchDir& Dir() const { return dir_; }

 private:
  Inputs() {
    Zavol({"scene", "--size", "97x41", "--frames", "1-6", "-o", dir_ / "d_#.pfm"});
    for (int i = 1; i <= 6; ++i) {
      std::vector<uint8_t> bytes = clitest::ReadBytes(dir_ / ("d_" + std::to_string(i) + ".pfm"));
      if (i == 4) bytes.resize(bytes.size() / 2);
      clitest::WriteBytes(dir_ / ("t_" + std::to_string(i) + ".pfm"), bytes);
    }
    Zavol({"render", dir_ / "d_#.pfm", "--frames", "1-6", "-q", "-o", dir_ / "six.mkv"});
    std::vector<uint8_t> video = clitest::ReadBytes(dir_ / "six.mkv");
    video.resize(video.size() * 6 / 10);
    clitest::WriteBytes(dir_ / "cut.mkv", video);
    const std::string ffmpeg = clitest::Quote(ZAVOL_FFMPEG) + " -v error -nostdin -y -f lavfi -i ";
    Shell(ffmpeg + "testsrc2=size=320x180:duration=30:rate=24 -pix_fmt gray -c:v ffv1 " +
          clitest::Quote(dir_ / "long.mkv"));
    Shell(ffmpeg + "testsrc2=size=640x360:duration=3:rate=24 -pix_fmt gray -c:v ffv1 " +
          clitest::Quote(dir_ / "flush.mkv"));
  }
  static void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) std::abort();
  }
  static void Zavol(const std::vector<std::string>& args) {
    if (clitest::RunZavol(args).exitCode != 0) std::abort();
  }
  ScratchDir dir_;
};

std::string Expand(const std::string& arg, const ScratchDir& in, const std::string& out) {
  if (!arg.empty() && arg[0] == '@') return in / arg.substr(1);
  if (!arg.empty() && arg[0] == '%') return out + "/" + arg.substr(1);
  return arg;
}

struct Outcome {
  int exitCode = -1;  // a death by a signal counts as a shell reports it, 128 + N
  bool hung = false;
  std::string err;
};

// Runs zavol with args, stdout to stdoutPath, under a time limit; sends SIGINT once trigger
// says so. stderr is read as it comes (kFlush waits for the line that starts the flush).
Outcome RunTool(const std::vector<std::string>& args, const std::string& stdoutPath, Trigger trigger,
            const std::string& outFolder) {
  const std::string errPath = outFolder + ".err";
  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(ZAVOL_BIN)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ZAVOL_BIN, argv.data());
    _exit(127);
  }
  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  bool signalled = trigger == Trigger::kNone;
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, WNOHANG) == child) break;
    if (!signalled) {
      bool now = trigger == Trigger::kStart;
      if (trigger == Trigger::kMiddle || trigger == Trigger::kAfterAFrame) {
        // Once the output has begun: a temporary (its name starts with a dot), a frame or the
        // stream has some size.
        // A temporary may be renamed or removed while it is looked at: such an entry is skipped.
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(outFolder, ignored)) {
          const bool placed = entry.path().filename().string()[0] != '.';
          std::error_code gone;
          const bool file = entry.is_regular_file(gone);
          const std::uintmax_t size = file && !gone ? entry.file_size(gone) : 0;
          if (!gone && size > 4096 && size != static_cast<std::uintmax_t>(-1) &&
              (placed || trigger == Trigger::kMiddle)) {
            now = true;
          }
        }
      } else if (trigger == Trigger::kFlush) {
        const std::vector<uint8_t> err = clitest::ReadBytes(errPath);
        now = std::string(err.begin(), err.end()).find("the encoder is finishing") != std::string::npos;
      }
      if (now) {
        kill(child, SIGINT);
        signalled = true;
      }
    }
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(90)) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      outcome.hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  const std::vector<uint8_t> err = clitest::ReadBytes(errPath);
  outcome.err.assign(err.begin(), err.end());
  std::remove(errPath.c_str());
  return outcome;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Unmounts on scope exit.
struct Mounted {
  std::string where;
  ~Mounted() {
    if (!where.empty()) umount(where.c_str());
  }
};

class OutputFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(OutputFaults, ExitCodeOneMessageAndExactlyTheFilesLeft) {
  const FaultCase& c = GetParam();
  const bool root = geteuid() == 0;
  if (!root && (c.setup == Setup::kNullDevice || c.setup == Setup::kFullDevice ||
                c.setup == Setup::kSmallFs || c.setup == Setup::kReadOnlyFs)) {
    GTEST_SKIP() << "mknod and tmpfs mounts need root";
  }
  const Inputs& inputs = Inputs::Get();
  ScratchDir scratch;
  const std::string out = scratch / "out";
  fs::create_directory(out);
  Mounted mounted;
  if (c.setup == Setup::kSmallFs || c.setup == Setup::kReadOnlyFs) {
    const char* options = "size=1m";
    ASSERT_EQ(mount("tmpfs", out.c_str(), "tmpfs", c.setup == Setup::kReadOnlyFs ? MS_RDONLY : 0, options), 0)
        << "cannot mount a tmpfs at " << out << ": " << std::strerror(errno);
    mounted.where = out;
  }
  const std::string node = out + "/" + c.node;
  if (c.setup == Setup::kNullDevice || c.setup == Setup::kFullDevice) {
    // The system's null and full devices, major 1, minors 3 and 7.
    ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, c.setup == Setup::kNullDevice ? 3 : 7)), 0);
  }
  std::future<std::vector<uint8_t>> received;
  if (c.setup == Setup::kFifoReader) {
    ASSERT_EQ(mkfifo(node.c_str(), 0644), 0);
    received = std::async(std::launch::async, [node] { return clitest::ReadBytes(node); });
  }
  std::vector<std::string> args;
  for (const std::string& a : c.args) args.push_back(Expand(a, inputs.Dir(), out));
  const std::string stdoutPath = c.stdoutTo ? node : scratch / "stdout";

  const Outcome outcome = RunTool(args, stdoutPath, c.trigger, out);
  ASSERT_FALSE(outcome.hung) << "no end within the time limit; stderr so far:\n" << outcome.err;
  EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
  if (*c.message != '\0') {
    EXPECT_EQ(Count(outcome.err, c.message), 1u) << outcome.err;
  }
  // Every line is the tool's own (no library talking), and a run that went well says nothing
  // but warnings and its summary.
  std::istringstream lines(outcome.err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Run 'zavol help ", 0) == 0) continue;
    EXPECT_EQ(line.rfind("zavol: ", 0), 0u) << outcome.err;
    if (c.exitCode == 0 && line.rfind("zavol: warning: ", 0) != 0) {
      EXPECT_NE(line.find(" frames written"), std::string::npos) << outcome.err;
    }
  }

  if (c.setup == Setup::kFifoReader) {
    // A refused run never opened the FIFO: opening it here lets the reader end.
    if (outcome.exitCode != 0) close(open(node.c_str(), O_WRONLY | O_NONBLOCK));
    const std::vector<uint8_t> bytes = received.get();
    struct stat info;
    ASSERT_EQ(lstat(node.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO was replaced";
    if (outcome.exitCode == 0) {
      // The reader got exactly the file a run into a regular file writes.
      ScratchDir reference;
      std::vector<std::string> again;
      for (const std::string& a : c.args) {
        again.push_back(Expand(a, inputs.Dir(), reference.Path().string()));
      }
      const std::string refOut = reference / "stdout";
      ASSERT_EQ(RunTool(again, refOut, Trigger::kNone, reference.Path().string()).exitCode, 0);
      const std::string refFile = c.stdoutTo ? refOut : reference / c.node;
      EXPECT_EQ(bytes, clitest::ReadBytes(refFile)) << "the FIFO's reader got other bytes";
    }
  }
  if (c.setup == Setup::kNullDevice || c.setup == Setup::kFullDevice) {
    struct stat info;
    ASSERT_EQ(lstat(node.c_str(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device node was replaced";
  }

  const std::vector<std::string> names = Names(out);
  for (const std::string& name : names) EXPECT_NE(name[0], '.') << "temporary left behind: " << name;
  if (c.left == std::vector<std::string>{"*"}) {
    // The frames before the fault: at least one, each a whole PNG.
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names) {
      bool ok = false;
      clitest::DecodePng(out + "/" + name, &ok);
      EXPECT_TRUE(ok) << name << " is not a whole PNG";
    }
  } else {
    EXPECT_EQ(names, c.left);
  }
}

const std::vector<std::string> kSix = {"--frames", "1-6", "--seed", "7", "--jobs", "1"};

std::vector<std::string> Args(std::vector<std::string> head, const std::vector<std::string>& tail = {}) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutputFaults,
    testing::Values(
        // A FIFO with a reader: stream formats are streamed to it, formats that seek refused.
        FaultCase{"png_to_fifo", {"render", "@d_1.pfm", "--seed", "7", "-o", "%o.png"}, Setup::kFifoReader, "o.png",
                  false, Trigger::kNone, 0, "", {"o.png"}},
        FaultCase{"pam_to_fifo", {"render", "@d_1.pfm", "--seed", "7", "-o", "%o.pam"}, Setup::kFifoReader, "o.pam",
                  false, Trigger::kNone, 0, "", {"o.pam"}},
        FaultCase{"pfm_to_fifo", {"render", "@d_1.pfm", "--seed", "7", "-o", "%o.pfm"}, Setup::kFifoReader, "o.pfm",
                  false, Trigger::kNone, 0, "", {"o.pfm"}},
        FaultCase{"exr_to_fifo", {"render", "@d_1.pfm", "-o", "%o.exr"}, Setup::kFifoReader, "o.exr", false,
                  Trigger::kNone, 2, "is a FIFO or socket", {"o.exr"}},
        FaultCase{"sequence_frame_to_fifo", Args({"render", "@d_#.pfm", "-o", "%o_#.png"}, kSix), Setup::kFifoReader,
                  "o_2.png", false, Trigger::kNone, 0, "",
                  {"o_1.png", "o_2.png", "o_3.png", "o_4.png", "o_5.png", "o_6.png"}},
        FaultCase{"mp4_to_fifo", Args({"render", "@d_#.pfm", "-o", "%o.mp4"}, kSix), Setup::kFifoReader, "o.mp4",
                  false, Trigger::kNone, 2, "is a FIFO or socket", {"o.mp4"}},
        FaultCase{"mkv_to_fifo", Args({"render", "@d_#.pfm", "-o", "%o.mkv"}, kSix), Setup::kFifoReader, "o.mkv",
                  false, Trigger::kNone, 2, "is a FIFO or socket", {"o.mkv"}},
        FaultCase{"gif_to_fifo", Args({"render", "@d_#.pfm", "-o", "%o.gif"}, kSix), Setup::kFifoReader, "o.gif",
                  false, Trigger::kNone, 2, "is a FIFO or socket", {"o.gif"}},
        FaultCase{"y4m_stdout_to_fifo", Args({"render", "@d_#.pfm", "-o", "-", "--format", "y4m"}, kSix),
                  Setup::kFifoReader, "stream", true, Trigger::kNone, 0, "", {"stream"}},
        // The null device: everything is written to it and discarded; the node stays.
        FaultCase{"png_to_null", {"render", "@d_1.pfm", "-o", "%nul", "--format", "png"}, Setup::kNullDevice, "nul",
                  false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"pam_to_null", {"render", "@d_1.pfm", "-o", "%nul", "--format", "pam"}, Setup::kNullDevice, "nul",
                  false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"pfm_to_null", {"render", "@d_1.pfm", "-o", "%nul", "--format", "pfm"}, Setup::kNullDevice, "nul",
                  false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"exr_to_null", {"render", "@d_1.pfm", "-o", "%nul", "--format", "exr"}, Setup::kNullDevice, "nul",
                  false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"sequence_frame_to_null", Args({"render", "@d_#.pfm", "-o", "%o_#.png"}, kSix), Setup::kNullDevice,
                  "o_3.png", false, Trigger::kNone, 0, "",
                  {"o_1.png", "o_2.png", "o_3.png", "o_4.png", "o_5.png", "o_6.png"}},
        FaultCase{"mp4_to_null", Args({"render", "@d_#.pfm", "-o", "%nul", "--format", "mp4"}, kSix),
                  Setup::kNullDevice, "nul", false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"mkv_to_null", Args({"render", "@d_#.pfm", "-o", "%nul", "--format", "mkv"}, kSix),
                  Setup::kNullDevice, "nul", false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"gif_to_null", Args({"render", "@d_#.pfm", "-o", "%nul", "--format", "gif"}, kSix),
                  Setup::kNullDevice, "nul", false, Trigger::kNone, 0, "", {"nul"}},
        FaultCase{"y4m_stdout_to_null", Args({"render", "@d_#.pfm", "-o", "-", "--format", "y4m"}, kSix),
                  Setup::kNullDevice, "nul", true, Trigger::kNone, 0, "", {"nul"}},
        // A full device: the one "no space" line, exit 1, the node stays.
        FaultCase{"png_to_full", {"render", "@d_1.pfm", "-o", "%full", "--format", "png"}, Setup::kFullDevice, "full",
                  false, Trigger::kNone, 1, "No space left on device", {"full"}},
        FaultCase{"pam_to_full", {"render", "@d_1.pfm", "-o", "%full", "--format", "pam"}, Setup::kFullDevice, "full",
                  false, Trigger::kNone, 1, "No space left on device", {"full"}},
        FaultCase{"pfm_to_full", {"render", "@d_1.pfm", "-o", "%full", "--format", "pfm"}, Setup::kFullDevice, "full",
                  false, Trigger::kNone, 1, "No space left on device", {"full"}},
        FaultCase{"exr_to_full", {"render", "@d_1.pfm", "-o", "%full", "--format", "exr"}, Setup::kFullDevice, "full",
                  false, Trigger::kNone, 1, "full: ", {"full"}},
        FaultCase{"sequence_frame_to_full", Args({"render", "@d_#.pfm", "-o", "%o_#.png"}, kSix), Setup::kFullDevice,
                  "o_2.png", false, Trigger::kNone, 1, "No space left on device", {"o_1.png", "o_2.png"}},
        FaultCase{"mp4_to_full", Args({"render", "@d_#.pfm", "-o", "%full", "--format", "mp4"}, kSix),
                  Setup::kFullDevice, "full", false, Trigger::kNone, 1, "No space left on device", {"full"}},
        FaultCase{"mkv_to_full", Args({"render", "@d_#.pfm", "-o", "%full", "--format", "mkv"}, kSix),
                  Setup::kFullDevice, "full", false, Trigger::kNone, 1, "No space left on device", {"full"}},
        FaultCase{"gif_to_full", Args({"render", "@d_#.pfm", "-o", "%full", "--format", "gif"}, kSix),
                  Setup::kFullDevice, "full", false, Trigger::kNone, 1, "No space left on device", {"full"}},
        FaultCase{"y4m_stdout_to_full", Args({"render", "@d_#.pfm", "-o", "-", "--format", "y4m"}, kSix),
                  Setup::kFullDevice, "full", true, Trigger::kNone, 1, "No space left on device", {"full"}},
        // A folder that takes no files: one line, nothing left.
        FaultCase{"png_read_only", {"render", "@d_1.pfm", "-o", "%o.png"}, Setup::kReadOnlyFs, "", false,
                  Trigger::kNone, 1, "Read-only file system", {}},
        FaultCase{"exr_read_only", {"render", "@d_1.pfm", "-o", "%o.exr"}, Setup::kReadOnlyFs, "", false,
                  Trigger::kNone, 1, "Read-only file system", {}},
        FaultCase{"sequence_read_only", Args({"render", "@d_#.pfm", "-o", "%o_#.png"}, kSix), Setup::kReadOnlyFs, "",
                  false, Trigger::kNone, 1, "Read-only file system", {}},
        FaultCase{"mp4_read_only", Args({"render", "@d_#.pfm", "-o", "%o.mp4"}, kSix), Setup::kReadOnlyFs, "", false,
                  Trigger::kNone, 1, "Read-only file system", {}},
        // A small file system that fills up: a sequence stops at the first "no space", the
        // frames before it whole; a video leaves nothing.
        FaultCase{"sequence_fills_the_disk", {"render", "@long.mkv", "-o", "%o_##.png", "--frames", "0-40", "--jobs", "1"},
                  Setup::kSmallFs, "", false, Trigger::kNone, 1, "No space left on device", {"*"}},
        FaultCase{"mkv_fills_the_disk", Args({"render", "@long.mkv", "-o", "%o.mkv", "--frames", "0-40"}),
                  Setup::kSmallFs, "", false, Trigger::kNone, 1, "No space left on device", {}},
        // Inputs that end early: the frames before kept whole, a video not written.
        FaultCase{"truncated_video_to_sequence", {"render", "@cut.mkv", "-o", "%o_#.png", "--jobs", "2"},
                  Setup::kNone, "", false, Trigger::kNone, 1, "cut.mkv: ends after", {"*"}},
        FaultCase{"truncated_video_to_mp4", {"render", "@cut.mkv", "-o", "%o.mp4"}, Setup::kNone, "", false,
                  Trigger::kNone, 1, "cut.mkv: ends after", {}},
        FaultCase{"truncated_video_to_gif", {"render", "@cut.mkv", "-o", "%o.gif"}, Setup::kNone, "", false,
                  Trigger::kNone, 1, "cut.mkv: ends after", {}},
        FaultCase{"truncated_sequence_to_sequence", Args({"render", "@t_#.pfm", "-o", "%o_#.png"}, kSix),
                  Setup::kNone, "", false, Trigger::kNone, 1, "t_4.pfm: ",
                  {"o_1.png", "o_2.png", "o_3.png", "o_5.png", "o_6.png"}},
        FaultCase{"truncated_sequence_to_mkv", Args({"render", "@t_#.pfm", "-o", "%o.mkv"}, kSix), Setup::kNone, "",
                  false, Trigger::kNone, 1, "t_4.pfm: ", {}},
        // A stop signal at the start, in the middle and during the encoder's flush.
        FaultCase{"signal_at_start_sequence", Args({"render", "@d_#.pfm", "-o", "%o_#.png"}, kSix), Setup::kNone, "",
                  false, Trigger::kStart, 130, "", {}},
        FaultCase{"signal_mid_sequence", {"render", "@long.mkv", "-o", "%o_###.png", "--jobs", "2"}, Setup::kNone, "",
                  false, Trigger::kAfterAFrame, 130, "stopped; ", {"*"}},
        FaultCase{"signal_mid_mp4", {"render", "@long.mkv", "-o", "%o.mp4", "--jobs", "2"}, Setup::kNone, "", false,
                  Trigger::kMiddle, 130, "stopped; ", {}},
        FaultCase{"signal_in_the_flush", {"render", "@flush.mkv", "-o", "%o.mp4", "--verbose", "--preset", "slower"},
                  Setup::kNone, "", false, Trigger::kFlush, 130, "o.mp4 not written", {}}),
    [](const testing::TestParamInfo<FaultCase>& p) { return p.param.name; });

}  // namespace
