// OpenEXR depth: scanline, tiled, multi-part and deep parts through the library's C++ API. The
// frame is the display window; what lies outside the data window is background.
#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfDeepFrameBuffer.h>
#include <ImfDeepScanLineInputPart.h>
#include <ImfDeepTiledInputPart.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfThreading.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/error.h"
#include "io/files.h"
#include "io/formats.h"
#include "render/background.h"

namespace zavol::io {
namespace {

constexpr float kLargestHalf = 65504.0f;

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

std::string PartType(const Imf::Header& header) {
  if (header.hasType()) return header.type();
  return header.hasTileDescription() ? Imf::TILEDIMAGE : Imf::SCANLINEIMAGE;
}

// Where the data window lands in the frame: the part of it inside the display window.
struct Placement {
  Imath::Box2i display, data;
  int64_t width = 0, height = 0;      // of the display window
  int64_t dataWidth = 0, dataHeight = 0;
};

Placement Place(const std::string& path, const Imf::Header& header, DepthMap& map) {
  Placement p;
  p.display = header.displayWindow();
  p.data = header.dataWindow();
  p.width = int64_t{p.display.max.x} - p.display.min.x + 1;
  p.height = int64_t{p.display.max.y} - p.display.min.y + 1;
  p.dataWidth = int64_t{p.data.max.x} - p.data.min.x + 1;
  p.dataHeight = int64_t{p.data.max.y} - p.data.min.y + 1;
  if (p.dataWidth <= 0 || p.dataHeight <= 0) throw IoError(path, "empty data window");
  SizeDepthMap(path, p.width, p.height, map);
  if (!FitsInMemory(static_cast<uint64_t>(p.dataWidth) * static_cast<uint64_t>(p.dataHeight) * 8)) {
    throw IoError(path, "data window is too large for memory");
  }
  // Where the data window does not cover the frame, the rest is background.
  if (p.data != p.display) std::fill(map.depth.begin(), map.depth.end(), kBackgroundDepth);
  return p;
}

// Copies a data-window buffer (already in the engine's convention) into the frame, clipped.
void PlaceRows(const Placement& p, const float* data, DepthMap& map) {
  const int64_t x0 = std::max<int64_t>(p.data.min.x, p.display.min.x);
  const int64_t x1 = std::min<int64_t>(p.data.max.x, p.display.max.x);
  const int64_t y0 = std::max<int64_t>(p.data.min.y, p.display.min.y);
  const int64_t y1 = std::min<int64_t>(p.data.max.y, p.display.max.y);
  if (x0 > x1 || y0 > y1) return;
  for (int64_t y = y0; y <= y1; ++y) {
    const float* from = data + (y - p.data.min.y) * p.dataWidth + (x0 - p.data.min.x);
    float* to = map.depth.data() + (y - p.display.min.y) * p.width + (x0 - p.display.min.x);
    std::copy(from, from + (x1 - x0 + 1), to);
  }
}

// Scan lines the library decodes at a time, by compression.
uint64_t LinesPerChunk(Imf::Compression compression) {
  switch (compression) {
    case Imf::NO_COMPRESSION:
    case Imf::RLE_COMPRESSION:
    case Imf::ZIPS_COMPRESSION:
      return 1;
    case Imf::ZIP_COMPRESSION:
    case Imf::PXR24_COMPRESSION:
      return 16;
    case Imf::PIZ_COMPRESSION:
    case Imf::B44_COMPRESSION:
    case Imf::B44A_COMPRESSION:
    case Imf::DWAA_COMPRESSION:
      return 32;
    default:
      return 256;
  }
}

// The library holds a whole chunk (a block of scan lines or a tile, every channel of it; for
// deep parts, its table of sample counts too) twice over while decoding, sized from the header
// alone before any pixel is read; a damaged header could make that gigabytes for a file of a
// few hundred bytes.
void CheckChunkSize(const std::string& path, const Imf::Header& header) {
  uint64_t pixelBytes = 0;
  for (auto c = header.channels().begin(); c != header.channels().end(); ++c) {
    pixelBytes += c.channel().type == Imf::HALF ? 2 : 4;
  }
  uint64_t chunkPixels = 0;
  if (header.hasTileDescription()) {
    const Imf::TileDescription& tiles = header.tileDescription();
    chunkPixels = uint64_t{tiles.xSize} * uint64_t{tiles.ySize};
  } else {
    const Imath::Box2i& data = header.dataWindow();
    const int64_t width = int64_t{data.max.x} - data.min.x + 1;
    chunkPixels = static_cast<uint64_t>(std::max<int64_t>(width, 0)) * LinesPerChunk(header.compression());
  }
  const uint64_t perPixel = 2 * std::max<uint64_t>(pixelBytes, 1);
  if (chunkPixels > std::numeric_limits<uint64_t>::max() / perPixel || !FitsInMemory(chunkPixels * perPixel)) {
    throw IoError(path, "blocks of pixels too large for memory (" + std::to_string(chunkPixels) +
                            " pixels of " + std::to_string(pixelBytes) + " bytes)");
  }
}

void ReadFlatPart(const Placement& p, Imf::MultiPartInputFile& file, int partIndex,
                  const std::string& channel, DepthKind kind, float cutoff, DepthMap& map) {
  Imf::InputPart part(file, partIndex);
  // The usual case, data window = frame: decoded straight into the frame and converted there.
  const bool direct = p.data == p.display;
  LargeVector<float> data(direct ? 0 : static_cast<std::size_t>(p.dataWidth * p.dataHeight));
  float* target = direct ? map.depth.data() : data.data();
  Imf::FrameBuffer frameBuffer;
  frameBuffer.insert(channel, Imf::Slice::Make(Imf::FLOAT, target, p.data, sizeof(float),
                                               sizeof(float) * p.dataWidth, 1, 1,
                                               std::numeric_limits<float>::quiet_NaN()));
  part.setFrameBuffer(frameBuffer);
  part.readPixels(p.data.min.y, p.data.max.y);
  const std::size_t count = static_cast<std::size_t>(p.dataWidth * p.dataHeight);
  for (std::size_t i = 0; i < count; ++i) target[i] = ToEngineDepth(kind, target[i], cutoff);
  if (!direct) PlaceRows(p, data.data(), map);
}

void ReadCounts(Imf::DeepScanLineInputPart& part, const Placement& p) {
  part.readPixelSampleCounts(p.data.min.y, p.data.max.y);
}
void ReadSamples(Imf::DeepScanLineInputPart& part, const Placement& p) {
  part.readPixels(p.data.min.y, p.data.max.y);
}
void ReadCounts(Imf::DeepTiledInputPart& part, const Placement&) {
  part.readPixelSampleCounts(0, part.numXTiles(0) - 1, 0, part.numYTiles(0) - 1);
}
void ReadSamples(Imf::DeepTiledInputPart& part, const Placement&) {
  part.readTiles(0, part.numXTiles(0) - 1, 0, part.numYTiles(0) - 1);
}

// Deep parts: every pixel's samples of the channel; the nearest (largest engine depth) that is
// not background wins, a pixel without one is background.
template <class DeepPart>
void ReadDeepPart(const std::string& path, const Placement& p, DeepPart& part, const std::string& channel,
                  DepthKind kind, float cutoff, DepthMap& map) {
  const std::size_t pixels = static_cast<std::size_t>(p.dataWidth * p.dataHeight);
  std::vector<unsigned> counts(pixels);
  std::vector<float*> pointers(pixels, nullptr);
  Imf::DeepFrameBuffer frameBuffer;
  frameBuffer.insertSampleCountSlice(Imf::Slice::Make(Imf::UINT, counts.data(), p.data,
                                                      sizeof(unsigned),
                                                      sizeof(unsigned) * p.dataWidth));
  // DeepSlice has no Make; the base is computed in integers so that no out-of-range pointer is
  // ever formed by arithmetic on a real one.
  const intptr_t origin = reinterpret_cast<intptr_t>(pointers.data()) -
                          (static_cast<intptr_t>(p.data.min.x) +
                           static_cast<intptr_t>(p.data.min.y) * p.dataWidth) *
                              static_cast<intptr_t>(sizeof(float*));
  frameBuffer.insert(channel, Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char*>(origin),
                                             sizeof(float*), sizeof(float*) * p.dataWidth,
                                             sizeof(float)));
  part.setFrameBuffer(frameBuffer);
  ReadCounts(part, p);
  uint64_t total = 0;
  for (unsigned count : counts) total += count;
  if (!FitsInMemory(total * sizeof(float))) throw IoError(path, "deep samples are too large for memory");
  std::vector<float> samples(static_cast<std::size_t>(total));
  std::size_t offset = 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    pointers[i] = samples.data() + offset;
    offset += counts[i];
  }
  ReadSamples(part, p);
  std::vector<float> nearest(pixels, kBackgroundDepth);
  for (std::size_t i = 0; i < pixels; ++i) {
    for (unsigned k = 0; k < counts[i]; ++k) {
      const float depth = ToEngineDepth(kind, pointers[i][k], cutoff);
      if (depth > nearest[i] && depth > kBackgroundThreshold) nearest[i] = depth;
    }
  }
  PlaceRows(p, nearest.data(), map);
}

// A library message as one line: its line breaks and runs of blanks become single spaces, other
// control characters (the message may quote the file) are shown as codes.
std::string OneLine(const char* message) {
  std::string line;
  for (const char* c = message; *c != '\0'; ++c) {
    const bool blank = *c == '\n' || *c == '\r' || *c == '\t' || *c == ' ';
    if (!blank) {
      line.push_back(*c);
    } else if (!line.empty() && line.back() != ' ') {
      line.push_back(' ');
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return Printable(line, 400);
}

// The library reads most attribute types by their own layout, not by the size the file declares
// for them, so a declared size that disagrees with the value would make it read the rest of the
// header out of step. These are the types of fixed size.
struct FixedSize {
  const char* type;
  uint32_t size;
};
constexpr FixedSize kFixedSizes[] = {
    {"box2i", 16},       {"box2f", 16},    {"int", 4},          {"float", 4},
    {"double", 8},       {"v2i", 8},       {"v2f", 8},          {"v2d", 16},
    {"v3i", 12},         {"v3f", 12},      {"v3d", 24},         {"m33f", 36},
    {"m33d", 72},        {"m44f", 64},     {"m44d", 128},       {"compression", 1},
    {"lineOrder", 1},    {"envmap", 1},    {"deepImageState", 1}, {"chromaticities", 32},
    {"keycode", 28},     {"timecode", 8},  {"rational", 8},     {"tiledesc", 9},
};

uint32_t Little32(const unsigned char* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

// Whether a value of a variable-size type fills exactly the size declared for it: a channel
// list (zero-terminated names, 16 bytes each, an empty name at the end), a string vector
// (each string's length before it) or a preview (width, height, then 4 bytes a pixel).
bool FillsItsSize(const std::string& type, const std::vector<unsigned char>& value) {
  const std::size_t size = value.size();
  if (type == "chlist") {
    std::size_t at = 0;
    for (;;) {
      const std::size_t name = at;
      while (at < size && value[at] != 0) ++at;
      if (at == size || at - name > 255) return false;
      ++at;
      if (at - name == 1) return at == size;  // the empty name ends the list
      if (size - at < 16) return false;
      at += 16;
    }
  }
  if (type == "stringvector") {
    std::size_t at = 0;
    while (at < size) {
      if (size - at < 4) return false;
      const uint32_t length = Little32(&value[at]);
      at += 4;
      if (length > size - at) return false;
      at += length;
    }
    return true;
  }
  if (type == "preview") {
    if (size < 8) return false;
    const uint64_t pixels = uint64_t{Little32(&value[0])} * Little32(&value[4]);
    return pixels <= (size - 8) / 4 && 8 + pixels * 4 == size;
  }
  return true;
}

// Walks the header(s) before the library sees them: every attribute must fit in the file and
// fill exactly the size it declares. The library allocates what a value claims before reading
// it, so a few damaged bytes would otherwise ask for gigabytes.
void CheckHeaders(const std::string& path, FILE* file, uint64_t fileSize) {
  unsigned char version[4];
  if (std::fread(version, 1, 4, file) != 4) throw IoError(path, "truncated OpenEXR header");
  const bool multiPart = (version[1] & 0x10) != 0;
  auto damaged = [&path](const std::string& what) {
    return IoError(path, "damaged OpenEXR header (" + what + ")");
  };
  // A zero-terminated name or type of at most 255 characters; empty at the end of a header.
  auto readName = [&](const char* what) {
    std::string name;
    for (;;) {
      const int c = std::fgetc(file);
      if (c == EOF) throw damaged(std::string("ends inside an attribute ") + what);
      if (c == 0) return name;
      if (name.size() == 255) throw damaged(std::string("attribute ") + what + " is too long");
      name.push_back(static_cast<char>(c));
    }
  };
  std::vector<unsigned char> value;
  for (int headers = 0;; ++headers) {
    if (headers > 0) {
      if (!multiPart) return;
      // In a multi-part file an empty name right after a header ends the list of headers.
      const int c = std::fgetc(file);
      if (c == EOF) throw damaged("ends after a header");
      if (c == 0) return;
      std::ungetc(c, file);
    }
    for (;;) {
      const std::string name = readName("name");
      if (name.empty()) break;
      const std::string type = readName("type");
      const std::string shown = "attribute '" + Printable(name) + "'";
      unsigned char bytes[4];
      if (std::fread(bytes, 1, 4, file) != 4) throw damaged("ends inside " + shown);
      const int32_t length = static_cast<int32_t>(Little32(bytes));
      const long at = std::ftell(file);
      if (length < 0 || at < 0 || static_cast<uint64_t>(at) + static_cast<uint64_t>(length) > fileSize) {
        throw damaged(shown + " claims " + std::to_string(length) + " bytes, more than the file holds");
      }
      for (const FixedSize& fixed : kFixedSizes) {
        if (type == fixed.type && static_cast<uint32_t>(length) != fixed.size) {
          throw damaged(shown + " of type " + type + " declares " + std::to_string(length) +
                        " bytes, not " + std::to_string(fixed.size));
        }
      }
      if (type == "chlist" || type == "stringvector" || type == "preview") {
        value.resize(static_cast<std::size_t>(length));
        if (std::fread(value.data(), 1, value.size(), file) != value.size()) {
          throw damaged("ends inside " + shown);
        }
        if (!FillsItsSize(type, value)) {
          throw damaged(shown + " of type " + type + " does not fill the " + std::to_string(length) +
                        " bytes it declares");
        }
      } else if (std::fseek(file, length, SEEK_CUR) != 0) {
        throw damaged("cannot seek past " + shown);
      }
    }
  }
}

// OpenEXR's input stream over bytes in memory (standard input, a pipe).
class MemoryIStream final : public Imf::IStream {
 public:
  MemoryIStream(const std::vector<uint8_t>& bytes, const std::string& name)
      : Imf::IStream(name.c_str()), bytes_(bytes) {}
  bool isMemoryMapped() const override { return true; }
  bool read(char c[], int n) override {
    std::memcpy(c, Take(n), static_cast<std::size_t>(n));
    return position_ < bytes_.size();
  }
  char* readMemoryMapped(int n) override {
    // The library only reads through the pointer it is given.
    return const_cast<char*>(reinterpret_cast<const char*>(Take(n)));
  }
  uint64_t tellg() override { return position_; }
  void seekg(uint64_t position) override { position_ = position; }

 private:
  const uint8_t* Take(int n) {
    if (n < 0 || position_ > bytes_.size() || static_cast<uint64_t>(n) > bytes_.size() - position_) {
      throw std::runtime_error("unexpected end of file");
    }
    const uint8_t* at = bytes_.data() + position_;
    position_ += static_cast<uint64_t>(n);
    return at;
  }
  const std::vector<uint8_t>& bytes_;
  uint64_t position_ = 0;
};

// The threads a file is opened with are how many blocks it keeps in flight; the blocks are
// decompressed by the library's one process-wide pool, and with no thread in the pool (its
// default) everything happens on the calling thread whatever the file was given. So the pool
// is grown here, and only here, to the largest count any read has asked for: a read given N
// threads then finds at least N in the pool, and a read given none decodes a block at a time.
// The pool is never shrunk (that would stop and restart its threads under reads running on other
// threads). A thread the system refuses leaves the pool smaller: the reads still finish, with
// fewer threads.
void ProvideLibraryThreads(int threads) {
  static std::mutex mutex;
  static int largest = 0;
  std::lock_guard<std::mutex> lock(mutex);
  if (threads <= largest) return;
  largest = threads;
  try {
    Imf::setGlobalThreadCount(threads);
  } catch (const std::exception&) {
  }
}

}  // namespace

std::string ChooseExrChannel(const std::string& path, const std::vector<std::string>& channels,
                             const DepthReadOptions& options) {
  auto has = [&](const std::string& name) {
    return std::find(channels.begin(), channels.end(), name) != channels.end();
  };
  auto firstEndingIn = [&](const char* suffix) -> std::string {
    for (const std::string& name : channels) {
      if (EndsWith(name, suffix)) return name;
    }
    return {};
  };
  std::string chosen;
  if (!options.channel.empty()) {
    if (has(options.channel)) chosen = options.channel;
  } else if (options.kind == DepthKind::kMist && !firstEndingIn(".Mist.Z").empty()) {
    chosen = firstEndingIn(".Mist.Z");
  } else if (has("Z")) {
    chosen = "Z";
  } else if (!firstEndingIn(".Depth.Z").empty()) {
    chosen = firstEndingIn(".Depth.Z");
  } else {
    chosen = firstEndingIn(".Z");
  }
  if (chosen.empty()) {
    std::string found;
    // A damaged file may name thousands of channels; the first few make the point.
    constexpr std::size_t kListed = 16;
    for (std::size_t i = 0; i < channels.size() && i < kListed; ++i) {
      found += (found.empty() ? "" : ", ") + Printable(channels[i]);
    }
    if (channels.size() > kListed) found += ", ... (" + std::to_string(channels.size()) + " in all)";
    const std::string wanted =
        options.channel.empty() ? std::string("no depth channel (Z, *.Depth.Z or *.Z)")
                                : "no channel '" + Printable(options.channel) + "'";
    throw IoError(path, wanted + "; channels found: " + (found.empty() ? "none" : found));
  }
  return chosen;
}

void ReadExrDepth(const std::string& path, const DepthReadOptions& options, DepthMap& map) {
  InputSource input(path);
  ReadExrDepth(input, options, map);
}

void ReadExrDepth(InputSource& input, const DepthReadOptions& options, DepthMap& map) {
  const std::string& path = input.Name();
  {
    FILE* file = input.Stream();
    unsigned char magic[4] = {};
    if (std::fread(magic, 1, 4, file) != 4 || magic[0] != 0x76 || magic[1] != 0x2f ||
        magic[2] != 0x31 || magic[3] != 0x01) {
      throw IoError(path, "not an OpenEXR file");
    }
    CheckHeaders(path, file, input.Size());
  }
  try {
    // A file on disk is opened by name, so the library reads it with its own stream; bytes in
    // memory are handed over through a stream of ours.
    std::unique_ptr<MemoryIStream> memory;
    std::unique_ptr<Imf::MultiPartInputFile> opened;
    const int threads = std::max(0, options.threads);
    ProvideLibraryThreads(threads);
    if (input.DiskPath().empty()) {
      memory = std::make_unique<MemoryIStream>(input.Memory(), path);
      opened = std::make_unique<Imf::MultiPartInputFile>(*memory, threads);
    } else {
      opened = std::make_unique<Imf::MultiPartInputFile>(input.DiskPath().c_str(), threads);
    }
    Imf::MultiPartInputFile& file = *opened;
    // Channel names of every part, in part order, each once.
    std::vector<std::string> names;
    for (int i = 0; i < file.parts(); ++i) {
      const Imf::ChannelList& channels = file.header(i).channels();
      for (auto c = channels.begin(); c != channels.end(); ++c) {
        if (std::find(names.begin(), names.end(), c.name()) == names.end()) names.push_back(c.name());
      }
    }
    const std::string channel = ChooseExrChannel(path, names, options);
    int partIndex = 0;
    while (file.header(partIndex).channels().findChannel(channel) == nullptr) ++partIndex;
    const Imf::Header& header = file.header(partIndex);
    const Imf::Channel& info = *header.channels().findChannel(channel);
    if (info.xSampling != 1 || info.ySampling != 1) {
      throw IoError(path, "channel '" + Printable(channel) + "' is subsampled; only full-resolution depth is read");
    }
    const DepthKind kind = options.kind.value_or(DepthKind::kDistance);
    map.format = DepthFormat::kExr;
    map.kind = kind;
    // Renderers that store depth as half write the largest half for empty sky.
    const float cutoff =
        info.type == Imf::HALF ? std::min(options.farCutoff, kLargestHalf) : options.farCutoff;
    const std::string type = PartType(header);
    // Sizes first: opening a part makes the library allocate by the header.
    CheckChunkSize(path, header);
    const Placement placement = Place(path, header, map);
    if (type == Imf::DEEPSCANLINE) {
      Imf::DeepScanLineInputPart part(file, partIndex);
      ReadDeepPart(path, placement, part, channel, kind, cutoff, map);
    } else if (type == Imf::DEEPTILE) {
      Imf::DeepTiledInputPart part(file, partIndex);
      ReadDeepPart(path, placement, part, channel, kind, cutoff, map);
    } else {
      ReadFlatPart(placement, file, partIndex, channel, kind, cutoff, map);
    }
  } catch (const IoError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw IoError(path, "too large for memory");
  } catch (const std::exception& e) {
    throw IoError(path, "truncated or damaged OpenEXR file (" + OneLine(e.what()) + ")");
  }
}

void WriteExrDepth(OutputFile& out, int width, int height, const float* distances) {
  WriteExrChannel(out, width, height, distances, "Z");
}

void WriteExrChannel(OutputFile& out, int width, int height, const float* values,
                     const std::string& channel) {
  try {
    Imf::Header header(width, height);
    header.channels().insert(channel, Imf::Channel(Imf::FLOAT));
    header.compression() = Imf::ZIP_COMPRESSION;
    Imf::OutputFile file(out.TemporaryPath().c_str(), header, 0);
    Imf::FrameBuffer frameBuffer;
    frameBuffer.insert(channel, Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(const_cast<float*>(values)),
                                           sizeof(float), sizeof(float) * width));
    file.setFrameBuffer(frameBuffer);
    file.writePixels(height);
  } catch (const std::exception& e) {
    throw IoError(out.Path(), std::string("cannot write OpenEXR (") + e.what() + ")");
  }
}

}  // namespace zavol::io
