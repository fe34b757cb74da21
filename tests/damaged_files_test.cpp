// Damaged files, one table per reader: cut short at every header field, wrong signatures, sides
// of 0 and over 65535, sides whose product overflows, NaN scales. Each must fail with one
// printable line that names the file and says why; none may be read as a frame.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfTiledOutputFile.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "cli/settings_options.h"
#include "fuzz/exr_every_attribute.h"
#include "io/depth_map.h"
#include "io/error.h"
#include "io/formats.h"
#include "tests/cli_support.h"
#include "fuzz/exr_every_attribute.h"
#include "tests/netpbm_cases.h"

namespace {

using Bytes = std::vector<uint8_t>;
using clitest::ScratchDir;
using zavol::io::IoError;

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Cut(Bytes bytes, std::size_t keep) {
  bytes.resize(keep);
  return bytes;
}

void PutBigEndian(Bytes& bytes, std::size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(value >> (24 - 8 * k));
}

struct DamagedCase {
  std::string name;
  Bytes bytes;
  std::string reason;  // a part of the message; empty: any reason will do
};

using Reader = std::function<void(const std::string& path)>;

// Every case must fail with IoError("path: reason"), one line of printable text.
void ExpectEachFails(const Reader& read, const std::vector<DamagedCase>& cases) {
  ScratchDir dir;
  for (const DamagedCase& c : cases) {
    const std::string path = dir / "damaged";
    clitest::WriteBytes(path, c.bytes);
    try {
      read(path);
      ADD_FAILURE() << c.name << ": read as a frame";
      continue;
    } catch (const IoError& error) {
      const std::string what = error.what();
      EXPECT_EQ(what.rfind(path + ": ", 0), 0u) << c.name << ": " << what;
      for (unsigned char ch : what) {
        if (ch < 0x20 || ch == 0x7f) {
          ADD_FAILURE() << c.name << ": control character in: " << what;
          break;
        }
      }
      EXPECT_NE(what.find(c.reason), std::string::npos) << c.name << ": " << what;
    }
  }
}

// Every prefix of a good file that ends before the byte limit (all of them by default).
void AddPrefixes(std::vector<DamagedCase>& cases, const std::string& name, const Bytes& good,
                 std::size_t limit = std::numeric_limits<std::size_t>::max()) {
  for (std::size_t keep = 0; keep < good.size() && keep < limit; ++keep) {
    cases.push_back({name + " cut to " + std::to_string(keep) + " bytes", Cut(good, keep), ""});
  }
}

Reader DepthReader(void (*read)(const std::string&, const zavol::io::DepthReadOptions&,
                                zavol::io::DepthMap&)) {
  return [read](const std::string& path) {
    zavol::io::DepthMap map;
    read(path, {}, map);
  };
}

// ---- PFM
std::vector<DamagedCase> PfmCases() {
  const Bytes good = clitest::PfmBytes(3, 2, {1, 2, 3, 4, 5, 6}, true);
  std::vector<DamagedCase> cases;
  AddPrefixes(cases, "good PFM", good);  // every header field, and the samples
  for (const netpbmcases::BadHeader& row : netpbmcases::kBadPfmHeaders) {
    cases.push_back({row.text, netpbmcases::PfmWithSamples(row.text), row.reason});
  }
  return cases;
}

TEST(DamagedPfm, EveryCaseFailsWithItsReason) {
  ExpectEachFails(DepthReader(zavol::io::ReadPfmDepth), PfmCases());
}

// ---- PNG, built chunk by chunk so that any header can be written, with correct checksums.
Bytes Chunk(const char* type, const Bytes& data) {
  Bytes chunk(8 + data.size());
  PutBigEndian(chunk, 0, static_cast<uint32_t>(data.size()));
  std::memcpy(chunk.data() + 4, type, 4);
  std::copy(data.begin(), data.end(), chunk.begin() + 8);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));  // null data restarts
  chunk.resize(chunk.size() + 4);
  PutBigEndian(chunk, chunk.size() - 4, static_cast<uint32_t>(crc));
  return chunk;
}

// An 8-bit grey PNG whose header says width x height; the image data holds rows rows of
// dataWidth bytes each.
Bytes Png(uint32_t width, uint32_t height, int rows, int dataWidth, int bitDepth = 8, int colourType = 0) {
  Bytes png = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};
  Bytes ihdr(13);
  PutBigEndian(ihdr, 0, width);
  PutBigEndian(ihdr, 4, height);
  ihdr[8] = static_cast<uint8_t>(bitDepth);
  ihdr[9] = static_cast<uint8_t>(colourType);
  const Bytes head = Chunk("IHDR", ihdr);
  png.insert(png.end(), head.begin(), head.end());
  Bytes raw;
  for (int y = 0; y < rows; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < dataWidth; ++x) raw.push_back(static_cast<uint8_t>(x * 40 + y));
  }
  uLongf packedSize = compressBound(raw.size());
  Bytes packed(packedSize);
  compress(packed.data(), &packedSize, raw.data(), raw.size());
  packed.resize(packedSize);
  const Bytes idat = Chunk("IDAT", packed);
  const Bytes iend = Chunk("IEND", {});
  png.insert(png.end(), idat.begin(), idat.end());
  png.insert(png.end(), iend.begin(), iend.end());
  return png;
}

TEST(DamagedPng, EveryCaseFailsWithItsReason) {
  const Bytes good = Png(5, 3, 3, 5);
  {
    // The builder itself makes a file the reader takes.
    ScratchDir dir;
    clitest::WriteBytes(dir / "good.png", good);
    zavol::io::DepthMap map;
    ASSERT_NO_THROW(zavol::io::ReadPngDepth(dir / "good.png", {}, map));
    ASSERT_EQ(map.width, 5);
  }
  std::vector<DamagedCase> cases;
  AddPrefixes(cases, "good PNG", good);  // signature, every IHDR field, the data, the end
  Bytes magic = good;
  magic[1] = 'Q';
  cases.push_back({"wrong signature", magic, "not a PNG file"});
  Bytes crc = good;
  crc[16 + 4] ^= 1;  // a header byte under an unchanged checksum
  cases.push_back({"header checksum", crc, "damaged PNG"});
  cases.push_back({"width 0", Png(0, 3, 3, 5), "damaged PNG"});
  cases.push_back({"height 0", Png(5, 0, 3, 5), "damaged PNG"});
  cases.push_back({"width 65536", Png(65536, 1, 1, 4), "over 65535"});
  cases.push_back({"height 65536", Png(1, 65536, 1, 1), "over 65535"});
  // Sides at the format's own limit: their product overflows 32 bits many times over.
  cases.push_back({"sides 2^31-1", Png(0x7fffffff, 0x7fffffff, 1, 4), "over 65535"});
  cases.push_back({"sides 2^31", Png(0x80000000u, 1, 1, 4), "damaged PNG"});
  cases.push_back({"too few rows", Png(5, 3, 2, 5), "damaged PNG"});
  cases.push_back({"bit depth 3", Png(5, 3, 3, 5, 3), "damaged PNG"});
  cases.push_back({"colour type 5", Png(5, 3, 3, 5, 8, 5), "damaged PNG"});
  ExpectEachFails(DepthReader(zavol::io::ReadPngDepth), cases);
}

TEST(DamagedPng, FramesLargerThanTheMemoryBudgetAreTurnedDown) {
  // 65535 x 65535 at 16 bytes a pixel needs 64 GiB; a budget makes the outcome the same on
  // every machine.
  zavol::io::SetMemoryBudget(uint64_t{64} << 20);
  ExpectEachFails(DepthReader(zavol::io::ReadPngDepth),
                  {{"65535 x 65535", Png(65535, 65535, 1, 16), "too large for memory"},
                   {"3000 x 3000", Png(3000, 3000, 1, 16), "too large for memory"}});
  zavol::io::SetMemoryBudget(0);
}

// ---- OpenEXR: a small file written by the library, then its header bytes edited in place.
Bytes GoodExr(bool tiled, bool everyType = false) {
  ScratchDir dir;
  const int width = 6, height = 4;
  Imf::Header header(width, height);
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  header.compression() = Imf::ZIP_COMPRESSION;
  if (everyType) exrtest::AddEveryAttributeType(header);
  std::vector<float> values(width * height);
  for (int i = 0; i < width * height; ++i) values[i] = 1.0f + i;
  Imf::FrameBuffer frameBuffer;
  frameBuffer.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(values.data()), sizeof(float),
                                     sizeof(float) * width));
  if (tiled) {
    header.setTileDescription(Imf::TileDescription(4, 2, Imf::ONE_LEVEL));
    Imf::TiledOutputFile file((dir / "z.exr").c_str(), header);
    file.setFrameBuffer(frameBuffer);
    file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
  } else {
    Imf::OutputFile file((dir / "z.exr").c_str(), header);
    file.setFrameBuffer(frameBuffer);
    file.writePixels(height);
  }
  return clitest::ReadBytes(dir / "z.exr");
}

struct Attribute {
  std::string name;
  std::size_t start;  // of its name
  std::size_t value;  // of its value
  int32_t size;
};

// The attributes of a single-part header, in file order, and where the header ends.
std::vector<Attribute> Attributes(const Bytes& exr, std::size_t* end) {
  std::vector<Attribute> attributes;
  std::size_t at = 8;
  while (exr.at(at) != 0) {
    Attribute a;
    a.start = at;
    while (exr.at(at) != 0) a.name.push_back(static_cast<char>(exr[at++]));
    ++at;
    while (exr.at(at) != 0) ++at;
    ++at;
    std::memcpy(&a.size, &exr.at(at), 4);
    a.value = at + 4;
    at = a.value + a.size;
    attributes.push_back(a);
  }
  *end = at + 1;
  return attributes;
}

Bytes Patched(Bytes exr, const std::string& name, const std::vector<int32_t>& words) {
  std::size_t end = 0;
  for (const Attribute& a : Attributes(exr, &end)) {
    if (a.name == name) {
      std::memcpy(&exr[a.value], words.data(), words.size() * 4);
      return exr;
    }
  }
  ADD_FAILURE() << "no attribute " << name;
  return exr;
}

int32_t FloatBits(float value) {
  int32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

TEST(ExrHeaderWalk, TakesEveryAttributeTypeTheLibraryWrites) {
  ScratchDir dir;
  for (const bool tiled : {false, true}) {
    clitest::WriteBytes(dir / "every.exr", GoodExr(tiled, true));
    zavol::io::DepthMap map;
    ASSERT_NO_THROW(zavol::io::ReadExrDepth(dir / "every.exr", {}, map)) << (tiled ? "tiled" : "scanline");
    ASSERT_EQ(map.width, 6);
    ASSERT_EQ(map.height, 4);
    for (int i = 0; i < 24; ++i) ASSERT_EQ(map.depth[i], -1.0f - i) << i;
  }
}

TEST(DamagedExr, EveryCaseFailsWithItsReason) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  std::vector<DamagedCase> cases;
  for (const bool tiled : {false, true}) {
    const Bytes good = GoodExr(tiled, !tiled);  // the scanline file has one attribute of every type
    const std::string kind = tiled ? "tiled EXR" : "scanline EXR";
    std::size_t headerEnd = 0;
    const std::vector<Attribute> attributes = Attributes(good, &headerEnd);
    ASSERT_GT(attributes.size(), 6u);
    // Cut inside and at the end of every attribute's name, type, size and value.
    for (const Attribute& a : attributes) {
      for (std::size_t keep : {a.start, a.start + 1, a.value - 4, a.value - 2, a.value,
                               a.value + a.size / 2}) {
        cases.push_back({kind + " cut in " + a.name + " at " + std::to_string(keep), Cut(good, keep), ""});
      }
    }
    // Then every byte from the end of the header to the end of the pixels.
    for (std::size_t keep = headerEnd - 1; keep < good.size(); ++keep) {
      cases.push_back({kind + " cut to " + std::to_string(keep), Cut(good, keep), ""});
    }
    Bytes magic = good;
    magic[0] = 0x77;
    cases.push_back({kind + " wrong signature", magic, "not an OpenEXR file"});
    Bytes huge = good;
    std::size_t end = 0;
    const Attribute first = Attributes(good, &end).front();
    std::memcpy(&huge[first.value - 4], &kMax, 4);
    cases.push_back({kind + " attribute of 2 GiB", huge, "more than the file holds"});
    // Declared sizes that disagree with the value would put the library's reading out of step
    // with the header (and, found by the fuzzer, make it allocate gigabytes).
    for (const Attribute& a : attributes) {
      if (a.name != "channels" && a.name != "dataWindow") continue;
      Bytes resized = good;
      const int32_t wrong = a.size - 4;
      std::memcpy(&resized[a.value - 4], &wrong, 4);
      cases.push_back({kind + " " + a.name + " declared 4 bytes short", resized, "declares"});
    }
    cases.push_back({kind + " empty data window", Patched(good, "dataWindow", {0, 0, -1, 3}), ""});
    cases.push_back({kind + " empty display window", Patched(good, "displayWindow", {0, 0, 5, -1}), ""});
    cases.push_back({kind + " display 65536 wide", Patched(good, "displayWindow", {0, 0, 65535, 3}), "over 65535"});
    cases.push_back({kind + " display of 2^32 x 2^32",
                     Patched(good, "displayWindow", {kMin, kMin, kMax, kMax}), ""});
    cases.push_back({kind + " data window of 2^32 x 2^32",
                     Patched(good, "dataWindow", {kMin, kMin, kMax, kMax}), ""});
    if (!tiled) {
      // Values of variable size that do not fill what they declare: a string in a string
      // vector longer than the rest of it, a preview one pixel wider than its pixels.
      int grownValues = 0;
      for (const Attribute& a : attributes) {
        if (a.name != "a_stringvector" && a.name != "preview") continue;
        ++grownValues;
        Bytes grown = good;
        int32_t inner;
        std::memcpy(&inner, &grown[a.value], 4);
        ++inner;
        std::memcpy(&grown[a.value], &inner, 4);
        cases.push_back({kind + " " + a.name + " longer inside than declared", grown, "does not fill"});
      }
      EXPECT_EQ(grownValues, 2);
    }
    // A few hundred bytes whose header asks the library for blocks of many gigabytes.
    cases.push_back(tiled ? DamagedCase{kind + " tiles of 2^20 x 2^20",
                                        Patched(good, "tiles", {1 << 20, 1 << 20}), "too large for memory"}
                          : DamagedCase{kind + " data window 2^29 wide",
                                        Patched(good, "dataWindow", {0, 0, 1 << 29, 3}), "too large for memory"});
    cases.push_back({kind + " NaN pixel aspect ratio",
                     Patched(good, "pixelAspectRatio", {FloatBits(std::nanf(""))}), ""});
    cases.push_back({kind + " infinite pixel aspect ratio",
                     Patched(good, "pixelAspectRatio", {FloatBits(std::numeric_limits<float>::infinity())}), ""});
  }
  // The same outcome on machines of any size: 1 GiB is far below what the damaged headers ask.
  zavol::io::SetMemoryBudget(uint64_t{1} << 30);
  ExpectEachFails(DepthReader(zavol::io::ReadExrDepth), cases);
  zavol::io::SetMemoryBudget(0);
}

// ---- Pattern images (PAM; PNG patterns share the PNG decoder above)
TEST(DamagedPam, EveryCaseFailsWithItsReason) {
  const std::string header = "P7\nWIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n";
  const Bytes good = FromText(header + std::string(12, 'x'));
  std::vector<DamagedCase> cases;
  AddPrefixes(cases, "good PAM", good);
  for (const netpbmcases::BadHeader& row : netpbmcases::kBadPamFields) {
    cases.push_back({row.text, netpbmcases::PamWithSamples(row.text), row.reason});
  }
  cases.push_back({"PPM, not PAM", FromText("P6\n2 2\n255\n" + std::string(12, 'x')), "not a PNG or PAM image"});
  ExpectEachFails([](const std::string& path) { zavol::io::ReadImage(path); }, cases);
}

// ---- Settings blocks: exactly 56 bytes, whatever they hold.
TEST(DamagedSettings, EverySizeButFiftySixFails) {
  std::vector<DamagedCase> cases;
  for (std::size_t size : {0, 1, 4, 55, 57, 112, 4096}) {
    cases.push_back({std::to_string(size) + " bytes", Bytes(size, 0xAB), "not 56"});
  }
  ExpectEachFails([](const std::string& path) { zavol::cli::ReadSettingsBlock(path); }, cases);
}

}  // namespace
