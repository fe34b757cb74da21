// Writes the golden scenes as files for tests outside C++ (the Python module's): for each case
// NAME.pfm (depth), NAME.bin (its 56-byte settings block) and, when the case has one,
// NAME_pattern.pam; and prints one line per case: "NAME DIGEST PATTERN(0|1) SCREEN_W SCREEN_H".
// Portable: the golden scenes, the netpbm module and the standard library.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "io/netpbm.h"
#include "tests/golden_scenes.h"

namespace {

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: golden_scene_files FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  for (const golden::Case& c : golden::Cases()) {
    const golden::Scene scene = c.scene();
    const std::string stem = folder + "/" + c.name;
    unsigned char block[kSettingsSize];
    SaveSettings(c.settings, block);
    bool written = golden::WritePfm(scene, stem + ".pfm") && WriteFile(stem + ".bin", block, sizeof block);
    if (c.pattern) {
      std::vector<uint16_t> words;
      for (const golden::Rgba& p : golden::CoordinatePattern(scene.width, scene.height)) {
        words.insert(words.end(), {p.r, p.g, p.b, p.a});
      }
      const std::vector<uint8_t> pam = zavol::netpbm::EncodeRgba16Pam(scene.width, scene.height, words);
      written = written && WriteFile(stem + "_pattern.pam", pam.data(), pam.size());
    }
    if (!written) {
      std::fprintf(stderr, "golden_scene_files: cannot write %s.*\n", stem.c_str());
      return 1;
    }
    std::printf("%s %016" PRIx64 " %d %d %d\n", c.name, c.digest, c.pattern ? 1 : 0,
                golden::kScreenWidth, golden::kScreenHeight);
  }
  return 0;
}
