// The cross-build golden check: every golden scene rendered by the native engine and by the
// Windows plug-in inside zavolhost.exe under Wine must give the same bytes, for the i686 build
// (the plug-in the host loads) and the x86_64 build. Native only; a build that does not exist,
// or an i686 build on a machine that cannot run 32-bit code, is skipped, a build tree older than
// its sources fails, and a run that compared nothing exits 77 (skipped), never 0.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include "tests/golden_cross_host.h"
#include "tests/golden_scenes.h"

namespace {

static_assert(golden::kScreenWidth == zavoltest::kHostScreenWidth &&
                  golden::kScreenHeight == zavoltest::kHostScreenHeight,
              "the native side renders for the screen Wine's null display reports");

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool IsFile(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

// 16-bit RGBA PAM, big-endian samples: the host program's output format.
std::string PamBytes(int width, int height, const std::vector<zavol::Pixel64>& pixels) {
  const std::vector<uint8_t> bytes = zavoltest::FramePamBytes(width, height, pixels);
  return std::string(bytes.begin(), bytes.end());
}

// Runs a shell command, returning its exit status and standard output.
int RunCommand(const std::string& command, std::string* output) {
  output->clear();
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  const int status = pclose(pipe);
  // A Windows console program ends its lines with a carriage return.
  std::string cleaned;
  for (char c : *output) {
    if (c != '\r') cleaned += c;
  }
  output->swap(cleaned);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first pixel at which two PAM files of the same header differ, for the failure message.
std::string FirstDifferentPixel(const std::string& actual, const std::string& expected,
                                int width) {
  const std::size_t header = expected.find("ENDHDR\n") + 7;
  if (actual.size() != expected.size() || actual.compare(0, header, expected, 0, header) != 0) {
    return "header or size differs";
  }
  for (std::size_t i = header; i < expected.size(); ++i) {
    if (actual[i] != expected[i]) {
      const std::size_t pixel = (i - header) / 8;
      return "pixel " + std::to_string(pixel % width) + "," + std::to_string(pixel / width);
    }
  }
  return "none";
}

// Which Windows build renders: its zavolhost.exe comes from the environment.
struct Build {
  const char* name;
  const char* hostVariable;
};
constexpr Build kBuilds[] = {{"win32", "ZAVOL_CROSS_HOST32"}, {"win64", "ZAVOL_CROSS_HOST"}};

// Cases whose frames were compared byte for byte; with none, the run counts as skipped.
int comparedCases = 0;

// Why the build tree whose bin/ holds the binaries cannot be trusted, or "" when it is up to
// date. The tree's own build tool decides: it knows every source, header and build file each
// binary is made from, so a dry run of the two targets the check runs (the DLLs they link come
// along) has work to do exactly when some input is newer than its output, or an output is
// missing.
std::string StaleTreeProblem(const std::string& tree) {
  if (!IsFile(tree + "/build.ninja")) {
    return "cannot tell whether the binaries in " + tree + "/bin are fresh: " + tree +
           " is not a Ninja build tree; point the cache variable into one";
  }
  std::string output;
  const std::string command = ShellQuote(Env("ZAVOL_CMAKE")) + " --build " + ShellQuote(tree) +
                              " --target zavolhost zavol_plugin -- -n 2>&1";
  const int status = RunCommand(command, &output);
  if (status == 0 && output.find("ninja: no work to do.") != std::string::npos) return "";
  return "the Windows build in " + tree + " is older than its sources: rebuild it (cmake --build " +
         tree + ") and run this check again\n" + command + "\n" + output.substr(0, 2000);
}

// Each tree is asked once; a stale one fails the first of its cases and skips the others.
struct TreeVerdict {
  std::string problem;
  bool reported = false;
};
std::map<std::string, TreeVerdict> verdicts;

class GoldenCross : public ::testing::TestWithParam<std::tuple<Build, golden::Case>> {
 protected:
  void SetUp() override {
    const Build& build = std::get<0>(GetParam());
    host_ = Env(build.hostVariable);
    wineRun_ = Env("ZAVOL_SOURCE_DIR") + "/scripts/wine-run";
    workDir_ = Env("ZAVOL_CROSS_WORKDIR") + "/" + build.name;
    const std::string bin = host_.substr(0, host_.find_last_of('/') + 1);
    plugin_ = bin + "zavol.dlf";
    const std::string tree = std::filesystem::path(host_).parent_path().parent_path().string();
    if (!IsFile(host_) && !IsFile(plugin_) && !IsFile(tree + "/build.ninja")) {
      GTEST_SKIP() << "no " << build.name << " build of zavolhost.exe and zavol.dlf at " << bin;
    }
    auto found = verdicts.find(tree);
    if (found == verdicts.end()) {
      found = verdicts.emplace(tree, TreeVerdict{StaleTreeProblem(tree)}).first;
    }
    TreeVerdict& verdict = found->second;
    if (!verdict.problem.empty()) {
      if (verdict.reported) GTEST_SKIP() << build.name << ": see the first failure of this build";
      verdict.reported = true;
      FAIL() << verdict.problem;
    }
    ASSERT_FALSE(Env("ZAVOL_CROSS_WORKDIR").empty());
    mkdir(Env("ZAVOL_CROSS_WORKDIR").c_str(), 0777);
    mkdir(workDir_.c_str(), 0777);
  }

  std::string host_, wineRun_, workDir_, plugin_;
};

TEST_P(GoldenCross, PluginUnderWineMatchesTheNativeEngine) {
  const golden::Case& c = std::get<1>(GetParam());
  const golden::Scene scene = c.scene();
  const std::string base = workDir_ + "/" + c.name;
  ASSERT_TRUE(golden::WritePfm(scene, base + ".pfm"));
  std::string block(kSettingsSize, '\0');
  SaveSettings(c.settings, &block[0]);
  ASSERT_TRUE(WriteBytes(base + ".settings", block));

  std::vector<zavol::Pixel64> pattern;
  std::string command = ShellQuote(wineRun_) + " " + ShellQuote(host_) + " render " +
                        ShellQuote(plugin_) + " --depth " + ShellQuote(base + ".pfm") +
                        " --settings " + ShellQuote(base + ".settings") + " -o " +
                        ShellQuote(base + ".pam");
  if (c.pattern) {
    for (const golden::Rgba& p : golden::CoordinatePattern(scene.width, scene.height)) {
      pattern.push_back(zavol::Pixel64{p.r, p.g, p.b, p.a});
    }
    ASSERT_TRUE(WriteBytes(base + ".pattern.pam", PamBytes(scene.width, scene.height, pattern)));
    command += " --pattern " + ShellQuote(base + ".pattern.pam");
  }

  // zavolhost starts every frame transparent black.
  const zavoltest::ReferenceFrame expected = zavoltest::RenderReference(
      c.settings, scene.width, scene.height, scene.depth, c.pattern ? &pattern : nullptr,
      scene.width, scene.height, zavol::Pixel64{0, 0, 0, 0});
  ASSERT_EQ(expected.result, 1);
  const std::string expectedPam = PamBytes(scene.width, scene.height, expected.pixels);

  std::remove((base + ".pam").c_str());
  std::string output;
  const int status = RunCommand(command, &output);
  if (status == 77) GTEST_SKIP() << "this machine cannot run the " << std::get<0>(GetParam()).name << " build";
  ASSERT_EQ(status, 0) << command << "\n" << output;
  const std::string actualPam = ReadBytes(base + ".pam");
  ++comparedCases;
  if (actualPam != expectedPam) {
    WriteBytes(base + ".expected.pam", expectedPam);
    ADD_FAILURE() << c.name << ": the plug-in's frame differs from the native engine's at "
                  << FirstDifferentPixel(actualPam, expectedPam, scene.width) << "; see "
                  << base << ".pam and " << base << ".expected.pam";
  }
  char debug[96];
  std::snprintf(debug, sizeof debug, "debug: \\nminz=%f\n", expected.debugValue);
  EXPECT_NE(output.find(debug), std::string::npos) << "expected " << debug << output;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, GoldenCross, ::testing::Combine(::testing::ValuesIn(kBuilds), ::testing::ValuesIn(golden::Cases())),
    [](const ::testing::TestParamInfo<std::tuple<Build, golden::Case>>& param) {
      return std::string(std::get<0>(param.param).name) + "_" + std::get<1>(param.param).name;
    });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int failed = RUN_ALL_TESTS();
  if (failed != 0) return failed;
  if (comparedCases == 0 && ::testing::UnitTest::GetInstance()->test_to_run_count() > 0) {
    std::printf("golden cross check: no Windows build could render, nothing was compared\n");
    return 77;  // CTest's SKIP_RETURN_CODE for this test
  }
  return 0;
}
