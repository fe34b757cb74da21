// Test side of the command-line tool: scratch folders, files as bytes, running the built zavol
// program, decoding PAM and PNG independently of the tool's readers, and a plain frame host
// that renders through the engine directly. Native only.
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

#include "render/frame.h"
#include "render/hsv.h"

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

// A grey PFM built byte by byte: rows top to bottom in values, stored bottom-up.
inline std::vector<uint8_t> PfmBytes(int width, int height, const std::vector<float>& values,
                                     bool littleEndian) {
  std::string header = "Pf\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
                       (littleEndian ? "-1.0" : "1.0") + "\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      uint32_t word;
      std::memcpy(&word, &values[static_cast<std::size_t>(y) * width + x], 4);
      for (int k = 0; k < 4; ++k) {
        const int shift = littleEndian ? 8 * k : 24 - 8 * k;
        bytes.push_back(static_cast<uint8_t>(word >> shift));
      }
    }
  }
  return bytes;
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

// A 16-bit RGBA PAM as the tool and the stand-in host write it; empty image when it is not one.
inline Image DecodePam(const std::vector<uint8_t>& bytes) {
  Image image;
  const std::string text(bytes.begin(), bytes.end());
  const std::size_t end = text.find("ENDHDR\n");
  if (end == std::string::npos) return image;
  if (std::sscanf(text.c_str(), "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\n",
                  &image.width, &image.height) != 2) {
    return Image{};
  }
  const std::size_t start = end + 7;
  const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
  if (bytes.size() != start + count * 8) return Image{};
  image.pixels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* p = &bytes[start + i * 8];
    image.pixels[i] = Pixel64{static_cast<uint16_t>(p[0] << 8 | p[1]), static_cast<uint16_t>(p[2] << 8 | p[3]),
                              static_cast<uint16_t>(p[4] << 8 | p[5]), static_cast<uint16_t>(p[6] << 8 | p[7])};
  }
  return image;
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

// The engine's frame host at its plainest: the depth as given, the whole frame kept, runs
// clipped to the image.
class CanvasHost final : public zavol::FrameHost {
 public:
  CanvasHost(int width, int height, const std::vector<float>& depth)
      : canvas(static_cast<std::size_t>(width) * height, Pixel64{0, 0, 0, 0}),
        width_(width), height_(height), depth_(depth) {}
  uint32_t seed = 0;
  int screenWidth = 1920, screenHeight = 1080;
  const Image* pattern = nullptr;
  std::vector<Pixel64> canvas;

  const float* DepthChannel() override { return depth_.data(); }
  int Height() override { return height_; }
  int Width() override { return width_; }
  void ScreenSize(int* w, int* h) override { *w = screenWidth, *h = screenHeight; }
  uint32_t CalendarTime() override { return seed; }
  bool ProgressAndAbortQuery(int, int) override { return false; }
  bool HasPattern() override { return pattern != nullptr; }
  void ReadPatternPixel(int x, int y, Pixel64* slot) override {
    if (x < pattern->width && y < pattern->height) *slot = pattern->pixels[y * pattern->width + x];
  }
  void PutPixels(int x, int y, int count, const Pixel64* run) override {
    for (int i = 0; i < count; ++i) {
      const long long column = static_cast<long long>(x) + i;
      if (y >= 0 && y < height_ && column >= 0 && column < width_) {
        canvas[static_cast<std::size_t>(y) * width_ + column] = run[i];
      }
    }
  }
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override { zavol::RgbToHsv255(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) override { return zavol::HsvToRgb255(h, s, v); }
  void DebugLine(double) override {}

 private:
  int width_, height_;
  const std::vector<float>& depth_;
};

}  // namespace clitest

namespace zavol {
inline bool operator==(const Pixel64& a, const Pixel64& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}
}  // namespace zavol
