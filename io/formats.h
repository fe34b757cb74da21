// The depth readers and image readers and writers of the command-line tool, one entry per file
// format. Depends on libpng, zlib and OpenEXR; never on the engine beyond its pixel type.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "io/atomic_file.h"
#include "io/depth_map.h"
#include "render/frame.h"

namespace zavol::io {

// ---- Depth readers. Each throws IoError ("file: reason") and fills map in the engine's
// convention (io/depth_map.h). map's buffer is reused when it is large enough.

// By the file's first bytes (PFM, PNG or EXR); the extension only names the format in messages.
// "-" is standard input; it, pipes and devices are read into memory first. map.format and
// map.kind tell what was read.
void ReadDepthFile(const std::string& path, const DepthReadOptions& options, DepthMap& map);

// PFM: "Pf" grey or "PF" colour (first channel); rows stored bottom-up; a negative scale means
// little-endian samples. Default kind: host.
void ReadPfmDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map);

// PNG 1..16-bit grey, grey+alpha, RGB(A) or palette; the red channel (grey) is the sample, as
// a raw code over its maximum (no gamma); alpha 0 is background. Default kind: height.
void ReadPngDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map);

// OpenEXR scanline, tiled, multi-part and deep files, half or float channels. The frame is the
// display window; pixels outside the data window or without deep samples are background, a deep
// pixel takes its nearest sample. Default kind: distance; half channels also count their largest
// value (65504) as empty sky.
void ReadExrDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map);

// The EXR depth channel the reader would choose: options.channel if given, else Z, else one
// ending in .Depth.Z (.Mist.Z first for the mist kind), else one ending in .Z. Throws when
// there is none, listing the channels found.
std::string ChooseExrChannel(const std::string& path, const std::vector<std::string>& channels,
                             const DepthReadOptions& options);

// ---- Depth writers, for the built-in scene and the tests. values are in the file's own
// convention (PFM: as given; EXR: a float channel Z; PNG: 16-bit grey codes).
void WritePfm(FILE* out, const std::string& path, int width, int height, const float* values,
              bool littleEndian);
class OutputFile;
void WriteExrDepth(OutputFile& out, int width, int height, const float* distances);
// One float channel of any name (the decoder's height maps and separations).
void WriteExrChannel(OutputFile& out, int width, int height, const float* values,
                     const std::string& channel);

// ---- Colour images (patterns): 16-bit RGBA pixels; 8-bit samples are widened by 256 as the
// host widens its colours, a missing alpha is full.
struct Image64 {
  int width = 0;
  int height = 0;
  std::vector<Pixel64> pixels;
};
// PNG (any colour type and depth) or PAM (RGB, RGB_ALPHA, GRAYSCALE, GRAYSCALE_ALPHA; MAXVAL
// 255 or 65535), by the first bytes; pipes and devices are read into memory first.
Image64 ReadImage(const std::string& path);
// The same, a binary PPM or PGM (any maxval), or a JPEG picture (8-bit grey or colour, as
// RGB): the decoder's inputs.
Image64 ReadPicture(const std::string& path);

// ---- Writers that take a frame row by row, top to bottom.
enum class ImageFormat { kPng, kPam, kExr, kPfm };
// By the extension (case-insensitive); false when the tool does not write that kind.
bool FormatForPath(const std::string& path, ImageFormat* format);
// By the format's name ("png", "pam", "exr", "pfm"); false for any other.
bool FormatForName(const std::string& name, ImageFormat* format);

struct WriteOptions {
  int pngBits = 8;         // 8: the high byte of every 16-bit channel; 16: the channels as they are
  int compression = 1;     // deflate level 0..9
  int threads = 1;         // compressing threads, the caller's included
  bool grey = false;       // PNG: one grey sample per pixel, the red channel
  // PNG: every band through zlib's sync flush, the path a band takes when its libdeflate stream
  // cannot be joined (which libdeflate's streams never give); for the tests that prove it.
  bool zlibBands = false;
};

class RowWriter {
 public:
  virtual ~RowWriter() = default;
  // The next row, width pixels. Throws IoError when the file cannot take it.
  virtual void WriteRow(const Pixel64* row) = 0;
  // After the last row: the file's tail. Throws IoError.
  virtual void Finish() = 0;
};

// Writes to out, which stays open; path names the file in messages. PNG: RGB (or grey), 8 or 16
// bits; PAM: 16-bit RGBA, exact; EXR: half RGBA, each channel over 65535 (out must seek); PFM:
// float RGB, each channel over 65535, alpha dropped (the frame is held until Finish, since PFM
// stores its rows bottom-up).
std::unique_ptr<RowWriter> MakeRowWriter(ImageFormat format, FILE* out, const std::string& path,
                                         int width, int height, const WriteOptions& options);

// An output file that only ever appears complete: written under a temporary name in the same
// folder, renamed into place by Commit. Destroyed uncommitted, it leaves nothing behind.
// "-" is standard output: written directly, Commit flushes it, and nothing can be taken back;
// so is a character device, FIFO or socket named as the output (see io/atomic_file.h).
class OutputFile {
 public:
  explicit OutputFile(const std::string& path);  // throws IoError
  FILE* Stream();
  const std::string& Path() const { return path_; }
  // For libraries that open files by name (OpenEXR); write through this or Stream(), not both.
  const std::string& TemporaryPath() const { return file_.TemporaryPath(); }
  void Commit();  // throws IoError; the temporary is removed on failure
  // Removes the temporary now (also safe from a signal-free context at any time).
  void Abandon() noexcept { file_.Abandon(); }
  // Written directly (standard output, a device, FIFO or socket) rather than renamed into place.
  bool InPlace() const { return path_ == "-" || file_.InPlace(); }

 private:
  std::string path_;
  files::AtomicFile file_;
};

// Why no output may be written to path ("o.png: is a folder; ..."), or empty: the checks made
// before any work. seeks: the output's writer must seek (OpenEXR, the video containers), which
// a FIFO, a socket or standard output cannot.
std::string OutputRefusal(const std::string& path, bool seeks);

// Reads a whole small file (a settings block). Throws IoError.
std::vector<uint8_t> ReadSmallFile(const std::string& path, std::size_t limit);

}  // namespace zavol::io
