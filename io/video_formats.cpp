// Video formats by name and by file extension, apart from FFmpeg, so that choosing an output
// never loads the video module.
#include <algorithm>
#include <cctype>
#include <string>

#include "io/video_write.h"

namespace zavol::io {
namespace {

struct FormatName {
  VideoFormat format;
  const char* name;
  const char* extension;  // null: no file kind of its own
  bool stream;            // frames written one after another by us, not encoded
};

constexpr FormatName kNames[] = {
    {VideoFormat::kMp4, "mp4", ".mp4", false},      {VideoFormat::kMkv, "mkv", ".mkv", false},
    {VideoFormat::kWebm, "webm", ".webm", false},   {VideoFormat::kGif, "gif", ".gif", false},
    {VideoFormat::kY4m, "y4m", ".y4m", true},       {VideoFormat::kRgb48, "rgb48", nullptr, true},
};

const FormatName& NameOf(VideoFormat format) {
  for (const FormatName& entry : kNames) {
    if (entry.format == format) return entry;
  }
  return kNames[0];
}

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

}  // namespace

bool VideoFormatForPath(const std::string& path, VideoFormat* format) {
  const std::string extension = LowerExtension(path);
  for (const FormatName& entry : kNames) {
    if (entry.extension != nullptr && extension == entry.extension) {
      *format = entry.format;
      return true;
    }
  }
  return false;
}

bool VideoFormatForName(const std::string& name, VideoFormat* format) {
  for (const FormatName& entry : kNames) {
    if (name == entry.name) {
      *format = entry.format;
      return true;
    }
  }
  return false;
}

bool IsFrameStream(VideoFormat format) { return NameOf(format).stream; }

const char* VideoFormatName(VideoFormat format) { return NameOf(format).name; }

}  // namespace zavol::io
