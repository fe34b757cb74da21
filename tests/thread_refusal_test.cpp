// The tool on a system that refuses threads: every team (the depth reader's, OpenEXR's pool, the
// engine's rows, the PNG writer's, the decoder's, the frames of a sequence or a video) gets its
// work done with the threads it has, down to none but the calling one, and the files are the
// bytes of a run that had them all. The refusals come from a preloaded pthread_create
// (thread_refuser.c) that counts what it refused, so a run that never met one cannot pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli_support.h"

namespace {

using clitest::ScratchDir;

struct RefusalCase {
  const char* name;
  // '@' names a file in the scratch folder. Renders give a seed: without one the dots come from
  // the clock, and runs a second apart differ.
  std::vector<std::string> args;
  std::vector<std::string> outputs;  // compared byte for byte; "-" is standard output
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

std::vector<std::string> InDir(const ScratchDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> out;
  for (const std::string& a : args) out.push_back(a[0] == '@' ? dir / a.substr(1) : a);
  return out;
}

// The outputs of one run, in order, standard output included where named.
std::vector<std::vector<uint8_t>> Outputs(const ScratchDir& dir, const RefusalCase& c, int* exitCode,
                                      std::string* err) {
  const clitest::ProcessResult run = clitest::RunZavol(InDir(dir, c.args));
  *exitCode = run.exitCode;
  *err = run.err;
  std::vector<std::vector<uint8_t>> outputs;
  for (const std::string& name : c.outputs) {
    outputs.push_back(name == "-" ? std::vector<uint8_t>(run.out.begin(), run.out.end())
                                  : clitest::ReadBytes(dir / name));
    if (name != "-") std::remove((dir / name).c_str());
  }
  return outputs;
}

class ThreadsRefused : public testing::TestWithParam<RefusalCase> {};

TEST_P(ThreadsRefused, SameBytesAsWithEveryThread) {
  const RefusalCase& c = GetParam();
  ScratchDir dir;
  ASSERT_EQ(clitest::RunZavol({"scene", "--size", "640x400", "-o", dir / "d.png"}).exitCode, 0);
  ASSERT_EQ(clitest::RunZavol({"scene", "--size", "640x400", "-o", dir / "d.exr"}).exitCode, 0);
  ASSERT_EQ(clitest::RunZavol({"scene", "--size", "97x41", "--frames", "1-4", "-o", dir / "d_#.pfm"}).exitCode, 0);
  ASSERT_EQ(clitest::RunZavol({"render", dir / "d.png", "--seed", "5", "-q", "-o", dir / "picture.png"}).exitCode, 0);

  int exitCode = -1;
  std::string err;
  const std::vector<std::vector<uint8_t>> expected = Outputs(dir, c, &exitCode, &err);
  ASSERT_EQ(exitCode, 0) << err;
  for (const std::vector<uint8_t>& bytes : expected) ASSERT_FALSE(bytes.empty());

  // None but the calling thread, then one thread more than that for the whole run.
  for (const char* allowed : {"0", "1"}) {
    const std::string refusals = dir / "refusals";
    setenv("LD_PRELOAD", ZAVOL_THREAD_REFUSER, 1);
    setenv("ZAVOL_TEST_THREADS_ALLOWED", allowed, 1);
    setenv("ZAVOL_TEST_REFUSALS", refusals.c_str(), 1);
    // A sanitized zavol asks that its runtime comes first; the refuser goes before it here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanBefore = asan != nullptr ? asan : "";
    setenv("ASAN_OPTIONS", (asanBefore + (asanBefore.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
    const std::vector<std::vector<uint8_t>> got = Outputs(dir, c, &exitCode, &err);
    unsetenv("LD_PRELOAD");
    unsetenv("ZAVOL_TEST_THREADS_ALLOWED");
    unsetenv("ZAVOL_TEST_REFUSALS");
    if (asan != nullptr) setenv("ASAN_OPTIONS", asanBefore.c_str(), 1);
    else unsetenv("ASAN_OPTIONS");

    EXPECT_EQ(exitCode, 0) << allowed << " threads allowed: " << err;
    int refused = 0;
    std::ifstream(refusals) >> refused;
    EXPECT_GT(refused, 0) << allowed << " threads allowed: the run never met a refusal";
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i] == expected[i]) << allowed << " threads allowed: " << c.outputs[i] << " differs";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThreadsRefused,
    testing::Values(
        RefusalCase{"png_frame", {"render", "@d.png", "-o", "@o.png", "--jobs", "4", "-q", "--seed", "5"}, {"o.png"}},
        RefusalCase{"exr_frame", {"render", "@d.exr", "-o", "@o.png", "--jobs", "4", "-q", "--seed", "5"}, {"o.png"}},
        RefusalCase{"sequence",
                    {"render", "@d_#.pfm", "--frames", "1-4", "-o", "@s_#.png", "--jobs", "3", "-q",
                     "--medium", "dpi", "--dpi", "8", "--seed", "5"},
                    {"s_1.png", "s_2.png", "s_3.png", "s_4.png"}},
        RefusalCase{"short_sequence_shares_jobs",
                    {"render", "@d_#.pfm", "--frames", "1-2", "-o", "@s_#.png", "--jobs", "5", "-q",
                     "--medium", "dpi", "--dpi", "8", "--seed", "5"},
                    {"s_1.png", "s_2.png"}},
        RefusalCase{"video_stream",
                    {"render", "@d_#.pfm", "--frames", "1-4", "-o", "-", "--format", "y4m", "--fps", "25",
                     "--jobs", "3", "-q", "--medium", "dpi", "--dpi", "8", "--seed", "5"},
                    {"-"}},
        RefusalCase{"decode", {"decode", "@picture.png", "-o", "@h.pfm", "--jobs", "3", "-q"}, {"h.pfm"}}),
    [](const testing::TestParamInfo<RefusalCase>& p) { return p.param.name; });

}  // namespace
