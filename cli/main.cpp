// The zavol command-line tool: renders depth into stereogram images with the same engine as the
// plug-in. Native only. This first version renders the built-in demo scene and PFM depth maps.
#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/frame.h"
#include "render/scene.h"
#include "standin/hsv.h"

namespace {

struct Frame {
  int width = 0, height = 0;
  std::vector<float> depth;
};

// The frame's surroundings for the engine: an in-memory image, no pattern, no stop.
class ImageHost final : public zavol::FrameHost {
 public:
  ImageHost(const Frame& frame, int screenW, int screenH, uint32_t seed, bool verbose)
      : frame_(frame), screenW_(screenW), screenH_(screenH), seed_(seed), verbose_(verbose),
        pixels_(static_cast<std::size_t>(frame.width) * frame.height, zavol::Pixel64{0, 0, 0, 0}) {}

  const float* DepthChannel() override { return frame_.depth.data(); }
  int Height() override { return frame_.height; }
  int Width() override { return frame_.width; }
  void ScreenSize(int* w, int* h) override { *w = screenW_; *h = screenH_; }
  uint32_t CalendarTime() override { return seed_; }
  bool ProgressAndAbortQuery(int, int) override { return false; }
  bool HasPattern() override { return false; }
  void ReadPatternPixel(int, int, zavol::Pixel64*) override {}
  void PutPixels(int x, int y, int count, const zavol::Pixel64* run) override {
    if (y < 0 || y >= frame_.height || count <= 0) return;
    for (int i = 0; i < count; ++i) {
      const long long column = static_cast<long long>(x) + i;
      if (column >= 0 && column < frame_.width)
        pixels_[static_cast<std::size_t>(y) * frame_.width + column] = run[i];
    }
  }
  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override { zavol::RgbToHsv255(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) override { return zavol::HsvToRgb255(h, s, v); }
  void DebugLine(double farthest) override {
    if (verbose_) std::fprintf(stderr, "\nminz=%f\n", farthest);
  }

  const std::vector<zavol::Pixel64>& pixels() const { return pixels_; }

 private:
  const Frame& frame_;
  int screenW_, screenH_;
  uint32_t seed_;
  bool verbose_;
  std::vector<zavol::Pixel64> pixels_;
};

[[noreturn]] void Fail(int code, const std::string& message) {
  std::fprintf(stderr, "zavol: %s\n", message.c_str());
  std::exit(code);
}

bool EndsWith(const std::string& s, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// PFM: "Pf" grey or "PF" colour (first channel), rows stored bottom-up, negative scale means
// little-endian. Values are taken as they are (the host's depth convention).
Frame ReadPfm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(1, path + ": cannot open (" + std::strerror(errno) + ")");
  std::string magic;
  long long w = 0, h = 0;
  double scale = 0;
  in >> magic >> w >> h >> scale;
  if (!in || (magic != "Pf" && magic != "PF")) Fail(1, path + ": not a PFM file");
  in.get();
  if (w <= 0 || h <= 0) Fail(1, path + ": dimensions must be positive");
  if (w > 65535 || h > 65535) Fail(1, path + ": dimensions over 65535, the host's limit");
  if (!std::isfinite(scale) || scale == 0) Fail(1, path + ": bad scale");
  const int channels = magic == "PF" ? 3 : 1;
  const std::size_t count = static_cast<std::size_t>(w) * h * channels;
  std::vector<unsigned char> raw(count * 4);
  in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  if (static_cast<std::size_t>(in.gcount()) != raw.size()) Fail(1, path + ": truncated");
  const bool little = scale < 0;
  Frame f;
  f.width = static_cast<int>(w);
  f.height = static_cast<int>(h);
  f.depth.resize(static_cast<std::size_t>(w) * h);
  for (long long y = 0; y < h; ++y) {
    for (long long x = 0; x < w; ++x) {
      const unsigned char* b = raw.data() + ((static_cast<std::size_t>(y) * w + x) * channels) * 4;
      uint32_t bits = little ? (b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24)
                             : (b[3] | b[2] << 8 | b[1] << 16 | static_cast<uint32_t>(b[0]) << 24);
      float value;
      std::memcpy(&value, &bits, 4);
      f.depth[static_cast<std::size_t>(h - 1 - y) * w + x] = value;
    }
  }
  return f;
}

void WritePng(FILE* out, const std::string& path, const ImageHost& host, int w, int h) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) Fail(1, path + ": out of memory");
  if (setjmp(png_jmpbuf(png))) Fail(1, path + ": cannot write PNG");
  png_init_io(png, out);
  png_set_compression_level(png, 1);
  png_set_filter(png, 0, PNG_FILTER_NONE);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    const zavol::Pixel64* p = host.pixels().data() + static_cast<std::size_t>(y) * w;
    // Dots are 8-bit colours widened by 256: the high byte is the colour.
    for (int x = 0; x < w; ++x) {
      row[3 * x] = p[x].r >> 8;
      row[3 * x + 1] = p[x].g >> 8;
      row[3 * x + 2] = p[x].b >> 8;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

void WritePam(FILE* out, const ImageHost& host, int w, int h) {
  std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h);
  std::vector<unsigned char> row(static_cast<std::size_t>(w) * 8);
  for (int y = 0; y < h; ++y) {
    const zavol::Pixel64* p = host.pixels().data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const uint16_t c[4] = {p[x].r, p[x].g, p[x].b, p[x].a};
      for (int k = 0; k < 4; ++k) {
        row[8 * x + 2 * k] = c[k] >> 8;
        row[8 * x + 2 * k + 1] = c[k] & 0xFF;
      }
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
}

// Writes under a temporary name and renames, so the output only ever appears complete.
void WriteImage(const std::string& path, const ImageHost& host, int w, int h) {
  const bool png = EndsWith(path, ".png");
  if (!png && !EndsWith(path, ".pam")) Fail(2, path + ": output must end in .png or .pam");
  const std::string temp = path + ".part";
  FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) Fail(1, path + ": cannot create (" + std::strerror(errno) + ")");
  if (png) WritePng(out, path, host, w, h); else WritePam(out, host, w, h);
  const bool ok = std::ferror(out) == 0;
  if (std::fclose(out) != 0 || !ok) {
    std::remove(temp.c_str());
    Fail(1, path + ": write failed");
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    Fail(1, path + ": cannot rename into place (" + std::strerror(errno) + ")");
  }
}

StereogramSettings ReadSettingsBlock(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(1, path + ": cannot open settings block");
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != kSettingsSize) Fail(1, path + ": settings block is not 56 bytes");
  StereogramSettings s;
  LoadSettings(s, bytes.data());
  return s;
}

const char kUsage[] =
    "usage:\n"
    "  zavol demo [-o demo.png]\n"
    "      render the built-in scene (a sphere before a tilted plane) to a PNG or PAM image\n"
    "  zavol render DEPTH.pfm -o OUTPUT.png|.pam [--settings BLOCK] [--screen WxH] [--seed N]\n"
    "      [--verbose]\n"
    "      render a PFM depth map (host convention: negative in front, rows bottom-up)\n"
    "options:\n"
    "  --settings BLOCK  a 56-byte settings block as the plug-in's host stores it\n"
    "                    (default: the record's defaults)\n"
    "  --screen WxH      screen size for the monitor media (default 1920x1080)\n"
    "  --seed N          seed when the block asks for a randomized frame (default: the clock)\n"
    "  --verbose         print the engine's debug line to stderr\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  if (command != "demo" && command != "render") Fail(2, "unknown command '" + command + "'\n" + kUsage);
  std::string input, output = command == "demo" ? "demo.png" : "", settingsPath;
  int screenW = 1920, screenH = 1080;
  bool verbose = false, haveSeed = false;
  unsigned long seed = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail(2, a + " needs a value");
      return argv[++i];
    };
    if (a == "-o" || a == "--output") output = value();
    else if (a == "--settings") settingsPath = value();
    else if (a == "--screen") {
      const std::string v = value();
      if (std::sscanf(v.c_str(), "%dx%d", &screenW, &screenH) != 2 || screenW <= 0 || screenH <= 0)
        Fail(2, "--screen wants WxH, e.g. 1920x1080");
    } else if (a == "--seed") {
      char* end = nullptr;
      const std::string v = value();
      seed = std::strtoul(v.c_str(), &end, 10);
      if (v.empty() || *end) Fail(2, "--seed wants a number");
      haveSeed = true;
    } else if (a == "--verbose") verbose = true;
    else if (a == "--help" || a == "-h") { std::fputs(kUsage, stdout); return 0; }
    else if (!a.empty() && a[0] == '-') Fail(2, "unknown option '" + a + "'");
    else if (input.empty() && command == "render") input = a;
    else Fail(2, "unexpected argument '" + a + "'");
  }
  if (command == "render" && input.empty()) Fail(2, "render needs a depth file");
  if (output.empty()) Fail(2, "-o OUTPUT is required");

  StereogramSettings settings = settingsPath.empty() ? DefaultSettings() : ReadSettingsBlock(settingsPath);
  Frame frame;
  if (command == "demo") {
    frame.width = 800;
    frame.height = 480;
    frame.depth = zavol::MakeDemoScene(frame.width, frame.height);
  } else {
    frame = ReadPfm(input);
  }
  const uint32_t frameSeed = haveSeed ? static_cast<uint32_t>(seed) : static_cast<uint32_t>(std::time(nullptr));
  ImageHost host(frame, screenW, screenH, frameSeed, verbose);
  if (zavol::RenderStereogram(settings, host) != 1) Fail(1, (input.empty() ? "demo" : input) + ": frame did not render");
  WriteImage(output, host, frame.width, frame.height);
  if (command == "demo") std::printf("zavol: demo stereogram written to %s (%dx%d)\n", output.c_str(), frame.width, frame.height);
  return 0;
}
