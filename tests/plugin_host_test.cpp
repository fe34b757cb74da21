// zavolhost.exe run as a process: what it lists for zavol.dlf, and frames rendered from PFM
// files and compared with PAM files written here through the netpbm module, which the host
// program also uses (the module's own tests pin its bytes). Windows only.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/netpbm.h"
#include "tests/golden_cross_host.h"
#include "tests/plugin_scenes.h"
#include "tests/plugin_support.h"

namespace zavoltest {
namespace {

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string HostCommand(const std::string& arguments) {
  return Quote(BinDir() + "\\zavolhost.exe") + " " + arguments;
}

std::string PluginPath() { return Quote(BinDir() + "\\zavol.dlf"); }

std::string TempPath(const std::string& name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "zavol-plugin-host-" + std::to_string(GetCurrentProcessId()) +
         "-" + name;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  int c;
  while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  return bytes;
}

// Grey PFM, rows bottom-up, in the byte order the scale's sign announces.
std::vector<uint8_t> EncodePfm(int width, int height, const std::vector<float>& depth,
                               bool littleEndian) {
  zavol::netpbm::PfmImage image;
  image.width = width;
  image.height = height;
  image.values = depth;
  return zavol::netpbm::EncodePfm(image, littleEndian);
}

// The exact PAM the host must write for these pixels.
std::vector<uint8_t> ExpectedPam(int width, int height, const std::vector<zavol::Pixel64>& pixels) {
  return FramePamBytes(width, height, pixels);
}

// Whether anything the host may have left behind while writing path is still in its folder.
bool TemporaryLeftBeside(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  const std::string pattern = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".zavol-*";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

std::vector<uint8_t> SettingsBlock(const StereogramSettings& settings) {
  std::vector<uint8_t> block(kSettingsSize);
  SaveSettings(settings, block.data());
  return block;
}

bool HasLine(const std::string& output, const std::string& line) {
  return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

class HostProgram : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& path : files_) DeleteFileA(path.c_str());
  }
  std::string Temp(const std::string& name) {
    files_.push_back(TempPath(name));
    return files_.back();
  }
  std::vector<std::string> files_;
};

TEST_F(HostProgram, InfoListsTheClassSlotsAndTheFilter) {
  std::string out;
  ASSERT_EQ(RunProcess(HostCommand("info " + PluginPath()), &out), 0) << out;
  const char* lines[] = {
      "classes: 1",
      "version: 100",
      "class 0:",
      "  slot 0 public class: 1",
      "  slot 2 default: 0",
      "  slot 3 default: 0",
      "  slot 4 class name: Zavol",
      "  slot 5 super class code: 0x00000E00",
      "  slot 6 class code: 0x79505B18 0x1988198B",
      "  slot 7 category: Image Filter",
      "  slot 8 default: 1",
      "  slot 9 default: 0",
      "  slot 10 default: returned",
      "  slot 11 default: returned",
      "  slot 12 default: 0",
      "  slot 13 default: 0",
      "  slot 14 default: 0",
      "  slot 1 create instance: a filter",
      "  filter description: ZAVOL Generator",
      "  filter version: 100",
      "  filter capability flags: 14",
      "  filter settings size: 56",
      "  filter default settings: cdcccc3e 0000803f 0000803f e9030000 96000000 01000000 "
      "00007a44 00000000 00000000 ffffff00 ff030000 00000000 01000000 01000000",
      "  filter host yes query: 1",
  };
  for (const char* line : lines) EXPECT_TRUE(HasLine(out, line)) << "missing: " << line << "\n" << out;
  EXPECT_NE(out.find("description: "), std::string::npos);
  EXPECT_NE(out.find("  filter author: "), std::string::npos);
}

TEST_F(HostProgram, InfoOfAMissingLibraryFailsInOneLine) {
  std::string out;
  EXPECT_EQ(RunProcess(HostCommand("info " + Quote(TempPath("absent.dlf"))), &out), 2);
  EXPECT_EQ(out, "") << "errors go to standard error";
}

struct RenderCase {
  const char* name;
  int width, height;
  bool littleEndian;
  bool hsv;
};

class HostRender : public HostProgram, public ::testing::WithParamInterface<RenderCase> {};

TEST_P(HostRender, WritesExactlyTheEngineFrame) {
  const RenderCase& c = GetParam();
  StereogramSettings settings = FixedSeedSettings();
  if (c.hsv) {
    settings.RampMode = kRampHsv;
    settings.Color1 = 0x30C020;
    settings.Color2 = 0x2010E0;
  }
  const std::vector<float> depth = AsymmetricDepth(c.width, c.height);
  const std::string depthPath = Temp("depth.pfm"), settingsPath = Temp("settings.bin"),
                    outPath = Temp("out.pam");
  WriteBytes(depthPath, EncodePfm(c.width, c.height, depth, c.littleEndian));
  WriteBytes(settingsPath, SettingsBlock(settings));
  std::string out;
  const int code = RunProcess(HostCommand("render " + PluginPath() + " --depth " +
                                          Quote(depthPath) + " --settings " +
                                          Quote(settingsPath) + " -o " + Quote(outPath)),
                              &out);
  EXPECT_EQ(code, 0) << out;
  // zavolhost clears the frame to transparent black before the filter renders into it.
  const ReferenceFrame expected = RenderReference(settings, c.width, c.height, depth, nullptr, 0,
                                                  0, zavol::Pixel64{0, 0, 0, 0});
  ASSERT_EQ(expected.result, 1);
  EXPECT_TRUE(ReadBytes(outPath) == ExpectedPam(c.width, c.height, expected.pixels))
      << "the PAM differs from the engine's frame";
  char debug[64];
  std::snprintf(debug, sizeof debug, "debug: \\nminz=%f", expected.debugValue);
  EXPECT_TRUE(HasLine(out, debug)) << out;
  EXPECT_TRUE(HasLine(out, "result: 1")) << out;
  EXPECT_FALSE(TemporaryLeftBeside(outPath));
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostRender,
    ::testing::Values(RenderCase{"LittleEndianRgb", 37, 23, true, false},
                      RenderCase{"BigEndianRgb", 37, 23, false, false},
                      RenderCase{"LittleEndianHsv", 43, 19, true, true}),
    [](const ::testing::TestParamInfo<RenderCase>& param) { return std::string(param.param.name); });

TEST_F(HostProgram, EightBitPatternDotsAreWidenedBy256) {
  const int width = 23, height = 7;
  const std::vector<float> depth = AsymmetricDepth(width, height);
  zavol::netpbm::PamImage pam;
  pam.width = width, pam.height = height, pam.depth = 3, pam.maxval = 255, pam.tupleType = "RGB";
  std::vector<zavol::Pixel64> pattern;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t r = static_cast<uint8_t>(x * 11), g = static_cast<uint8_t>(y * 30 + 1),
                    b = static_cast<uint8_t>(255 - x);
      pam.samples.insert(pam.samples.end(), {r, g, b});
      pattern.push_back(zavol::Pixel64{static_cast<uint16_t>(r * 256), static_cast<uint16_t>(g * 256),
                                       static_cast<uint16_t>(b * 256), 65535});
    }
  }
  const std::string depthPath = Temp("p-depth.pfm"), patternPath = Temp("pattern.pam"),
                    settingsPath = Temp("p-settings.bin"), outPath = Temp("p-out.pam");
  WriteBytes(depthPath, EncodePfm(width, height, depth, true));
  WriteBytes(patternPath, zavol::netpbm::EncodePam(pam));
  WriteBytes(settingsPath, SettingsBlock(FixedSeedSettings()));
  std::string out;
  EXPECT_EQ(RunProcess(HostCommand("render " + PluginPath() + " --depth " + Quote(depthPath) +
                                   " --pattern " + Quote(patternPath) + " --settings " +
                                   Quote(settingsPath) + " -o " + Quote(outPath)),
                       &out),
            0)
      << out;
  const ReferenceFrame expected = RenderReference(FixedSeedSettings(), width, height, depth,
                                                  &pattern, width, height, zavol::Pixel64{});
  EXPECT_TRUE(ReadBytes(outPath) == ExpectedPam(width, height, expected.pixels));
}

TEST_F(HostProgram, AStoppedFrameIsWrittenButReportedAsNotRendered) {
  const int width = 31, height = 12, stopRow = 4;
  const std::vector<float> depth = AsymmetricDepth(width, height);
  const std::string depthPath = Temp("s-depth.pfm"), settingsPath = Temp("s-settings.bin"),
                    outPath = Temp("s-out.pam");
  WriteBytes(depthPath, EncodePfm(width, height, depth, true));
  WriteBytes(settingsPath, SettingsBlock(FixedSeedSettings()));
  std::string out;
  EXPECT_EQ(RunProcess(HostCommand("render " + PluginPath() + " --depth " + Quote(depthPath) +
                                   " --settings " + Quote(settingsPath) + " --stop-after-row " +
                                   std::to_string(stopRow) + " -o " + Quote(outPath)),
                       &out),
            1)
      << out;
  EXPECT_TRUE(HasLine(out, "result: 0")) << out;
  EXPECT_TRUE(HasLine(out, "progress reports: 5, abort queries: 5")) << out;
  const ReferenceFrame expected = RenderReference(FixedSeedSettings(), width, height, depth,
                                                  nullptr, 0, 0, zavol::Pixel64{}, stopRow);
  EXPECT_TRUE(ReadBytes(outPath) == ExpectedPam(width, height, expected.pixels));
}

// Skipped while the plug-in carries no dialog templates.
bool PluginHasDialogs() {
  HMODULE module = LoadLibraryExA((BinDir() + "\\zavol.dlf").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return false;
  const bool found =
      FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)) != nullptr &&
      FindResourceA(module, MAKEINTRESOURCEA(102), MAKEINTRESOURCEA(5)) != nullptr;
  FreeLibrary(module);
  return found;
}

TEST_F(HostProgram, SetupConfirmedSavesTheBlockAndCancelSavesNothing) {
  if (!PluginHasDialogs()) GTEST_SKIP() << "zavol.dlf has no dialog templates yet";
  const std::string settingsPath = Temp("d-settings.bin"), savedPath = Temp("d-saved.bin"),
                    cancelledPath = Temp("d-cancelled.bin");
  StereogramSettings settings = FixedSeedSettings();
  settings.CustomDpi = 300;
  WriteBytes(settingsPath, SettingsBlock(settings));
  std::string out;
  EXPECT_EQ(RunProcess(HostCommand("setup " + PluginPath() + " --settings " + Quote(settingsPath) +
                                   " --save " + Quote(cancelledPath) + " --press cancel"),
                       &out),
            0)
      << out;
  EXPECT_TRUE(HasLine(out, "setup dialog result: 0")) << out;
  EXPECT_EQ(GetFileAttributesA(cancelledPath.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(RunProcess(HostCommand("setup " + PluginPath() + " --settings " + Quote(settingsPath) +
                                   " --save " + Quote(savedPath) + " --press ok"),
                       &out),
            0)
      << out;
  EXPECT_TRUE(HasLine(out, "setup dialog result: 1")) << out;
  const std::vector<uint8_t> saved = ReadBytes(savedPath);
  ASSERT_EQ(saved.size(), kSettingsSize);
  StereogramSettings reread;
  LoadSettings(reread, saved.data());
  EXPECT_EQ(reread.CustomDpi, 300) << "the loaded block was the one the dialog edited";
}

TEST_F(HostProgram, AboutBoxResultIsPrinted) {
  if (!PluginHasDialogs()) GTEST_SKIP() << "zavol.dlf has no dialog templates yet";
  std::string out;
  EXPECT_EQ(RunProcess(HostCommand("about " + PluginPath() + " --press ok"), &out), 0) << out;
  EXPECT_TRUE(HasLine(out, "about box result: 1")) << out;
}

struct BadInput {
  const char* name;
  std::string depthBytes;
  std::size_t settingsBytes;
};

class HostRejects : public HostProgram, public ::testing::WithParamInterface<BadInput> {};

TEST_P(HostRejects, BadInputFailsWithoutOutput) {
  const BadInput& c = GetParam();
  const std::string depthPath = Temp("b-depth.pfm"), settingsPath = Temp("b-settings.bin"),
                    outPath = Temp("b-out.pam");
  WriteBytes(depthPath, std::vector<uint8_t>(c.depthBytes.begin(), c.depthBytes.end()));
  WriteBytes(settingsPath, std::vector<uint8_t>(c.settingsBytes, 0));
  std::string out;
  EXPECT_EQ(RunProcess(HostCommand("render " + PluginPath() + " --depth " + Quote(depthPath) +
                                   " --settings " + Quote(settingsPath) + " -o " + Quote(outPath)),
                       &out),
            2);
  EXPECT_EQ(GetFileAttributesA(outPath.c_str()), INVALID_FILE_ATTRIBUTES) << "no output file";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, HostRejects,
    ::testing::Values(BadInput{"NotAPfm", "P5\n1 1\n255\n\x01", 56},
                      BadInput{"TruncatedData", std::string("Pf\n2 2\n-1.0\n") + std::string(15, '\0'), 56},
                      BadInput{"ZeroScale", std::string("Pf\n1 1\n0\n") + std::string(4, '\0'), 56},
                      BadInput{"SideBeyondTheHost", "Pf\n70000 1\n-1.0\n", 56},
                      BadInput{"SettingsBlockTooShort", std::string("Pf\n1 1\n-1.0\n") + std::string(4, '\0'), 55}),
    [](const ::testing::TestParamInfo<BadInput>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zavoltest
