// Test side of the command-line tool: scratch folders, files as bytes, running the built zavol
// program, PFM and PAM through the netpbm module and PNG through libpng (not through the tool's
// readers). Native only.
#pragma once

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "io/netpbm.h"
#include "render/frame.h"
#include "tests/recording_host.h"

namespace clitest {

namespace fs = std::filesystem;
using zavol::Pixel64;

// A sample file of tests/data; CTest says where that folder is (ZAVOL_DATA_DIR).
inline std::string DataFile(const std::string& name) {
  const char* dir = std::getenv("ZAVOL_DATA_DIR");
  if (dir == nullptr || *dir == '\0') {
    std::fprintf(stderr, "ZAVOL_DATA_DIR is not set: run the tests through ctest, or set it to "
                         "the repository's tests/data\n");
    std::abort();
  }
  return std::string(dir) + "/" + name;
}

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "zavol-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& Path() const { return path_; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A grey PFM: rows top to bottom in values, stored bottom-up.
inline std::vector<uint8_t> PfmBytes(int width, int height, const std::vector<float>& values,
                                     bool littleEndian) {
  zavol::netpbm::PfmImage image;
  image.width = width;
  image.height = height;
  image.values = values;
  return zavol::netpbm::EncodePfm(image, littleEndian);
}

struct ProcessResult {
  int exitCode = -1;
  std::string out, err;
};

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

#ifdef ZAVOL_BIN
// Runs the built zavol with args; stdout and stderr are captured through files.
inline ProcessResult RunZavol(const std::vector<std::string>& args) {
  static int counter = 0;
  const std::string base = (fs::temp_directory_path() / ("zavol-run-" + std::to_string(getpid()) +
                                                          "-" + std::to_string(counter++)))
                               .string();
  std::string command = Quote(ZAVOL_BIN);
  for (const std::string& a : args) command += " " + Quote(a);
  command += " </dev/null >" + Quote(base + ".out") + " 2>" + Quote(base + ".err");
  const int status = std::system(command.c_str());
  ProcessResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  result.out = slurp(base + ".out");
  result.err = slurp(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return result;
}
#endif

struct Image {
  int width = 0, height = 0;
  std::vector<Pixel64> pixels;
};

// A 16-bit RGBA PAM as the tool and the stand-in host write it, and nothing after it; empty
// image when it is not one.
inline Image DecodePam(const std::vector<uint8_t>& bytes) {
  zavol::netpbm::PamImage pam;
  std::string error;
  if (!zavol::netpbm::DecodePam(bytes.data(), bytes.size(), &pam, &error) || pam.depth != 4 ||
      pam.maxval != 65535 || pam.tupleType != "RGB_ALPHA" ||
      bytes.size() != zavol::netpbm::Rgba16PamHeader(pam.width, pam.height).size() +
                          pam.samples.size() * 2) {
    return Image{};
  }
  Image image;
  image.width = pam.width;
  image.height = pam.height;
  image.pixels.resize(pam.samples.size() / 4);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const uint16_t* s = &pam.samples[i * 4];
    image.pixels[i] = Pixel64{s[0], s[1], s[2], s[3]};
  }
  return image;
}

// An 8-bit RGB PAM of a pattern's pixels, each channel's high byte.
inline std::vector<uint8_t> RgbPamBytes(const Image& pattern) {
  zavol::netpbm::PamImage pam;
  pam.width = pattern.width;
  pam.height = pattern.height;
  pam.depth = 3;
  pam.maxval = 255;
  pam.tupleType = "RGB";
  for (const Pixel64& p : pattern.pixels) {
    for (uint16_t channel : {p.r, p.g, p.b}) pam.samples.push_back(static_cast<uint16_t>(channel >> 8));
  }
  return zavol::netpbm::EncodePam(pam);
}

// Any PNG through libpng's simplified API, as 16-bit linear-coded RGBA without conversions:
// 8-bit samples come back as sample * 257, so the high byte is the stored sample.
inline Image DecodePng(const std::string& path, bool* ok) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  Image image;
  *ok = false;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
  const bool sixteen = (png.format & PNG_FORMAT_FLAG_LINEAR) != 0;
  png.format = sixteen ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_RGBA;
  std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) return image;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    if (sixteen) {
      uint16_t s[4];
      std::memcpy(s, &bytes[i * 8], 8);
      image.pixels[i] = Pixel64{s[0], s[1], s[2], s[3]};
    } else {
      const uint8_t* p = &bytes[i * 4];
      image.pixels[i] = Pixel64{static_cast<uint16_t>(p[0] * 257), static_cast<uint16_t>(p[1] * 257),
                                static_cast<uint16_t>(p[2] * 257), static_cast<uint16_t>(p[3] * 257)};
    }
  }
  *ok = true;
  return image;
}

}  // namespace clitest
