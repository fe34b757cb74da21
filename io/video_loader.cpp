// The tool's side of the video module: the public video functions, answering what needs no
// FFmpeg here and opening libzavol_video.so (beside the program, or in the installed library
// folder) the first time a video is read or written.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "io/depth_map.h"
#include "io/error.h"
#include "io/files.h"
#include "io/video_module.h"
#include "io/video_streams.h"

#ifndef ZAVOL_VIDEO_MODULE_INSTALL_DIR
#error "ZAVOL_VIDEO_MODULE_INSTALL_DIR: the module's folder relative to the program's, from CMake"
#endif

namespace zavol::io {
namespace {

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  std::string path(buffer.data(), static_cast<std::size_t>(length));
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The folder of the file this code was loaded from: the program itself, or a shared object
// such as the Python module, whose host program (python3, a 3D application) lives elsewhere.
std::string ObjectFolder() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&ObjectFolder), &info) == 0 || info.dli_fname == nullptr) {
    return ProgramFolder();
  }
  const std::string path = info.dli_fname;
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The module, or null with the loader's reason. Looked for beside the file holding this code
// (the program, or the Python module), beside the program (the build tree) and then where
// `cmake --install` puts it; never on the library search path, so that a module from another
// build cannot stand in.
const VideoModule* Load(std::string* reason) {
  const std::string folder = ProgramFolder();
  const std::string candidates[] = {
      ObjectFolder() + "/" + kVideoModuleFile,
      folder + "/" + kVideoModuleFile,
      folder + "/" + ZAVOL_VIDEO_MODULE_INSTALL_DIR + "/" + kVideoModuleFile,
  };
  std::string reasons;
  for (const std::string& candidate : candidates) {
    struct stat info;
    if (stat(candidate.c_str(), &info) != 0) continue;
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* error = dlerror();
      reasons = error != nullptr ? error : candidate + " does not load";
      continue;
    }
    using Entry = const VideoModule* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, kVideoModuleEntry));
    const VideoModule* module = entry != nullptr ? entry() : nullptr;
    if (module == nullptr || module->version != kVideoModuleVersion) {
      reasons = candidate + " is from another version of zavol";
      dlclose(handle);
      continue;
    }
    return module;  // kept loaded for the life of the process
  }
  *reason = reasons.empty() ? std::string("no ") + kVideoModuleFile + " beside the zavol program"
                            : reasons;
  return nullptr;
}

// The module, loaded once; throws IoError naming file when it cannot be had.
const VideoModule& Module(const std::string& file) {
  static std::once_flag once;
  static const VideoModule* module = nullptr;
  static std::string reason;
  std::call_once(once, [] { module = Load(&reason); });
  if (module == nullptr) throw IoError(file, "videos cannot be read or written here (" + reason + ")");
  // A fuzzer or a host may have capped memory since; the module's readers keep the same cap.
  module->setMemoryBudget(MemoryBudget());
  return *module;
}

bool IsDepthImage(const std::vector<uint8_t>& head) {
  static const unsigned char kPng[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  static const unsigned char kExr[4] = {0x76, 0x2f, 0x31, 0x01};
  return (head.size() >= 2 && head[0] == 'P' && (head[1] == 'f' || head[1] == 'F')) ||
         (head.size() >= 8 && std::memcmp(head.data(), kPng, 8) == 0) ||
         (head.size() >= 4 && std::memcmp(head.data(), kExr, 4) == 0);
}

}  // namespace

bool IsVideoInput(const std::string& path) {
  std::vector<uint8_t> head;
  // Looking into a pipe would take its bytes from the image readers (and opening one waits for
  // its writer): videos are files.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  try {
    FILE* file = OpenInput(path);
    FileCloser closer{file};
    head = ReadPrefix(file, kVideoProbeBytes, path);
  } catch (const IoError&) {
    return false;  // the image readers say why
  }
  if (head.empty() || IsDepthImage(head)) return false;
  return Module(path).isVideoHead(head, path);
}

struct VideoReader::State {
  const VideoModule* module = nullptr;
  DecodedVideo* video = nullptr;
  ~State() {
    if (video != nullptr) module->closeReader(video);
  }
};

VideoReader::VideoReader(const std::string& path, int threads) : state_(std::make_unique<State>()) {
  state_->module = &Module(path);
  state_->video = state_->module->openReader(path, threads);
}

VideoReader::~VideoReader() = default;

const VideoInfo& VideoReader::Info() const { return state_->module->info(*state_->video); }

int64_t VideoReader::FramesRead() const { return state_->module->framesRead(*state_->video); }

bool VideoReader::Read(const DepthReadOptions& options, DepthMap& map) {
  return state_->module->read(*state_->video, options, map);
}

std::unique_ptr<VideoWriter> OpenVideoWriter(VideoFormat format, const std::string& path,
                                             int width, int height,
                                             const VideoWriteOptions& options) {
  if (IsFrameStream(format)) return OpenFrameStream(format, path, width, height, options.rate);
  return Module(path == "-" ? "standard output" : path).openWriter(format, path, width, height, options);
}

std::string VideoOptionsProblem(VideoFormat format, const VideoWriteOptions& options,
                                std::string* warning) {
  if (IsFrameStream(format)) return FrameStreamProblem(format, options);
  return Module(std::string(".") + VideoFormatName(format) + " output").encoderProblem(format, options, warning);
}

bool ParseVideoRate(const std::string& text, VideoRate* rate) {
  // Digits and ratios of digits are read here; other spellings ("29.97", "ntsc") by FFmpeg.
  bool plain = false;
  const bool parsed = ParsePlainRate(text, rate, &plain);
  if (plain) return parsed;
  return Module("--fps").parseRate(text, rate);
}

}  // namespace zavol::io
