// The netpbm module on bytes and the atomic-write helper: damaged headers turned down with their
// reason, headers with comments read as the plain ones, every image written and read back equal,
// files replaced only whole. Portable: runs natively and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/atomic_file.h"
#include "io/netpbm.h"
#include "tests/netpbm_cases.h"

namespace {

namespace fs = std::filesystem;
namespace netpbm = zavol::netpbm;
using Bytes = std::vector<uint8_t>;

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

constexpr char kRead[] = "(read as an image)";  // what ErrorOf gives for an accepted file

std::string ErrorOf(bool (*decode)(const uint8_t*, std::size_t, std::string*), const Bytes& bytes) {
  std::string error;
  if (decode(bytes.data(), bytes.size(), &error)) return kRead;
  return error;
}

bool DecodePfmOnly(const uint8_t* data, std::size_t size, std::string* error) {
  netpbm::PfmImage image;
  return netpbm::DecodePfm(data, size, &image, error);
}

bool DecodePamAsColour(const uint8_t* data, std::size_t size, std::string* error) {
  netpbm::PamImage image;
  std::vector<uint16_t> rgba;
  return netpbm::DecodePam(data, size, &image, error) && netpbm::PamToRgba16(image, &rgba, error);
}

void ExpectOneLineWith(const std::string& error, const std::string& reason, const std::string& name) {
  EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
  EXPECT_FALSE(error.empty()) << name;
  for (unsigned char c : error) {
    if (c < 0x20 || c == 0x7f) {
      ADD_FAILURE() << name << ": control character in: " << error;
      break;
    }
  }
}

TEST(NetpbmHeaders, EveryDamagedHeaderFailsWithItsReason) {
  using netpbmcases::PamWithSamples;
  using netpbmcases::PfmWithSamples;
  for (const netpbmcases::BadHeader& row : netpbmcases::kBadPfmHeaders) {
    ExpectOneLineWith(ErrorOf(DecodePfmOnly, PfmWithSamples(row.text)), row.reason, row.text);
  }
  for (const netpbmcases::BadHeader& row : netpbmcases::kBadPamFields) {
    ExpectOneLineWith(ErrorOf(DecodePamAsColour, PamWithSamples(row.text)), row.reason, row.text);
  }
  const std::string longComment = "# " + std::string(netpbm::kMaxHeaderBytes, 'c') + "\n";
  const struct {
    const char* name;
    bool pam;
    Bytes bytes;
    const char* reason;
  } table[] = {
      {"PFM comment past the header limit", false, PfmWithSamples("Pf\n" + longComment + "1 1\n-1\n"),
       "longer than 65536 bytes"},
      {"PAM comment past the header limit", true, PamWithSamples(longComment + "WIDTH 1\n"),
       "longer than 65536 bytes"},
      {"PFM comment in place of the scale", false, FromText("Pf\n1 1\n# -1\n"), "no scale"},
      {"PFM scale at the end of the file", false, FromText("Pf\n1 1\n-1"), "no scale"},
      {"PAM ENDHDR at the end of the file", true,
       FromText("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR"), "no ENDHDR"},
      {"PAM field without a value", true, FromText("P7\nWIDTH\n"), "WIDTH has no value"},
      {"PAM CMYK read as RGBA", true,
       PamWithSamples("WIDTH 1\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nTUPLTYPE CMYK\n"),
       "TUPLTYPE CMYK does not match DEPTH 4"},
      {"PAM RGB_ALPHA of depth 3", true,
       PamWithSamples("WIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\n"),
       "does not match DEPTH 3"},
  };
  for (const auto& row : table) {
    ExpectOneLineWith(ErrorOf(row.pam ? DecodePamAsColour : DecodePfmOnly, row.bytes), row.reason,
                      row.name);
  }
  // Every file cut short, in its header or its samples.
  const Bytes pfm = FromText("Pf\n# grey\n2 1\n-1\n" + std::string(8, '\x40'));
  const Bytes pam = FromText("P7\nWIDTH 1\nHEIGHT 2\nDEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\n"
                             "ENDHDR\n" + std::string(8, 'x'));
  ASSERT_EQ(ErrorOf(DecodePfmOnly, pfm), kRead);
  ASSERT_EQ(ErrorOf(DecodePamAsColour, pam), kRead);
  for (std::size_t keep = 0; keep < pfm.size(); ++keep) {
    EXPECT_NE(ErrorOf(DecodePfmOnly, Bytes(pfm.begin(), pfm.begin() + keep)), kRead) << keep;
  }
  for (std::size_t keep = 0; keep < pam.size(); ++keep) {
    EXPECT_NE(ErrorOf(DecodePamAsColour, Bytes(pam.begin(), pam.begin() + keep)), kRead) << keep;
  }
}

TEST(NetpbmHeaders, CommentsAndSpacingReadAsThePlainHeader) {
  const std::string samples = "\x01\x02\x03\x04\x05\x06\x07\x08";
  const std::string pfmHeaders[] = {
      "Pf 2 1 -1 ",
      "Pf\n# made by hand\n2 1\n-1\n",
      "Pf\t2\r\n#\n# two comments\n1   -1.0\n",
      "Pf\n2 # width, then height\n1\n-1\r",
  };
  netpbm::PfmImage plain;
  std::string error;
  const Bytes plainBytes = FromText("Pf\n2 1\n-1\n" + samples);
  ASSERT_TRUE(netpbm::DecodePfm(plainBytes.data(), plainBytes.size(), &plain, &error)) << error;
  for (const std::string& header : pfmHeaders) {
    const Bytes bytes = FromText(header + samples);
    netpbm::PfmImage image;
    ASSERT_TRUE(netpbm::DecodePfm(bytes.data(), bytes.size(), &image, &error))
        << header << ": " << error;
    EXPECT_EQ(std::memcmp(image.values.data(), plain.values.data(), 8), 0) << header;
  }
  const std::string pamHeaders[] = {
      "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nENDHDR\n",
      "P7\n# made by hand\nMAXVAL 255\n\nDEPTH 4\n  HEIGHT 1\nWIDTH 2 # two pixels\n"
      "TUPLTYPE RGB_ALPHA\nENDHDR\n",
  };
  for (const std::string& header : pamHeaders) {
    const Bytes bytes = FromText(header + samples);
    netpbm::PamImage image;
    ASSERT_TRUE(netpbm::DecodePam(bytes.data(), bytes.size(), &image, &error))
        << header << ": " << error;
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.samples, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8})) << header;
  }
}

// Asymmetric values of every kind a float can hold, different in every pixel and channel.
std::vector<float> OddFloats(std::size_t count) {
  std::vector<float> values(count);
  const uint32_t specials[] = {0x7fc00123u, 0x80000000u, 0x7f800000u, 0xff800000u, 0x00000001u};
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = -1.5f * static_cast<float>(i) - 0.25f;
    if (i % 7 == 3) std::memcpy(&values[i], &specials[(i / 7) % 5], 4);
  }
  return values;
}

TEST(NetpbmRoundTrip, EveryImageReadsBackAsWritten) {
  const int sizes[][2] = {{1, 1}, {3, 2}, {7, 5}, {1, 9}, {11, 1}};
  std::string error;
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    const std::string name = std::to_string(width) + "x" + std::to_string(height);
    for (int channels : {1, 3}) {
      netpbm::PfmImage image;
      image.width = width, image.height = height, image.channels = channels;
      image.values = OddFloats(static_cast<std::size_t>(width) * height * channels);
      Bytes stored[2];
      for (bool little : {false, true}) {
        stored[little] = netpbm::EncodePfm(image, little);
        netpbm::PfmImage back;
        const Bytes& file = stored[little];
        ASSERT_TRUE(netpbm::DecodePfm(file.data(), file.size(), &back, &error)) << error;
        EXPECT_EQ(back.width, width);
        EXPECT_EQ(back.height, height);
        EXPECT_EQ(back.channels, channels);
        ASSERT_EQ(back.values.size(), image.values.size());
        EXPECT_EQ(std::memcmp(back.values.data(), image.values.data(), image.values.size() * 4), 0)
            << name << (little ? " little-endian" : " big-endian") << " channels " << channels;
      }
      // The last stored value is the top row's last, its low byte first when little-endian.
      uint32_t last;
      std::memcpy(&last, &image.values[static_cast<std::size_t>(width) * channels - 1], 4);
      EXPECT_EQ(stored[1].back(), static_cast<uint8_t>(last >> 24)) << name;
      EXPECT_EQ(stored[0].back(), static_cast<uint8_t>(last)) << name;
    }
    for (int depth = 1; depth <= 4; ++depth) {
      for (int maxval : {255, 65535}) {
        netpbm::PamImage image;
        image.width = width, image.height = height, image.depth = depth, image.maxval = maxval;
        image.tupleType = depth == 2 ? "GRAYSCALE_ALPHA" : "";
        for (int i = 0; i < width * height * depth; ++i) {
          image.samples.push_back(static_cast<uint16_t>((i * 40503 + depth) % (maxval + 1)));
        }
        const Bytes bytes = netpbm::EncodePam(image);
        netpbm::PamImage back;
        ASSERT_TRUE(netpbm::DecodePam(bytes.data(), bytes.size(), &back, &error)) << error;
        EXPECT_EQ(back.width, width);
        EXPECT_EQ(back.height, height);
        EXPECT_EQ(back.depth, depth);
        EXPECT_EQ(back.maxval, maxval);
        EXPECT_EQ(back.tupleType, image.tupleType);
        EXPECT_EQ(back.samples, image.samples) << name << " depth " << depth << " maxval " << maxval;
      }
    }
  }
}

TEST(NetpbmColour, SamplesBecomeTheHostsSixteenBitChannels) {
  const struct {
    int depth, maxval;
    std::vector<uint16_t> samples;  // one pixel
    std::vector<uint16_t> rgba;
  } table[] = {
      {1, 255, {0x12}, {0x1200, 0x1200, 0x1200, 65535}},
      {2, 255, {0x12, 0x80}, {0x1200, 0x1200, 0x1200, 0x8000}},
      {3, 255, {0xFF, 0x01, 0x80}, {0xFF00, 0x0100, 0x8000, 65535}},
      {4, 65535, {0x0102, 0x0304, 0x0506, 0x0708}, {0x0102, 0x0304, 0x0506, 0x0708}},
      {2, 65535, {0xFFFF, 0}, {0xFFFF, 0xFFFF, 0xFFFF, 0}},
  };
  for (const auto& row : table) {
    netpbm::PamImage image;
    image.width = 1, image.height = 1, image.depth = row.depth, image.maxval = row.maxval;
    image.samples = row.samples;
    std::vector<uint16_t> rgba;
    std::string error;
    ASSERT_TRUE(netpbm::PamToRgba16(image, &rgba, &error)) << error;
    EXPECT_EQ(rgba, row.rgba) << "depth " << row.depth << " maxval " << row.maxval;
  }
  // The frame format, byte for byte: red, green, blue, alpha, high byte first.
  const Bytes frame =
      netpbm::EncodeRgba16Pam(2, 1, {0x0102, 0x0304, 0x0506, 0x0708, 0xFFFF, 0, 0x8000, 0x00FF});
  const std::string header = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  const char samples[] = "\x01\x02\x03\x04\x05\x06\x07\x08\xFF\xFF\x00\x00\x80\x00\x00\xFF";
  EXPECT_EQ(frame, FromText(header + std::string(samples, 16)));
}

// A fresh folder, removed with everything in it at the end of the test.
class Folder {
 public:
  Folder()
      : path_(fs::temp_directory_path() /
              ("zavol-netpbm-test-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    fs::remove_all(path_);
    fs::create_directory(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(AtomicFile, ReplacesTheTargetOnlyWhole) {
  Folder folder;
  const std::string target = folder / "frame.pam";
  std::string error;
  const Bytes first = FromText("first"), second = FromText("second, longer");
  ASSERT_TRUE(zavol::files::WriteFileAtomically(target, first.data(), first.size(), &error)) << error;
  {
    zavol::files::AtomicFile file;
    ASSERT_TRUE(file.Open(target, &error)) << error;
    std::fputs("second, longer", file.Stream());
    // Until the commit the old file stands, and the new one waits under a hidden name beside it.
    EXPECT_EQ(Contents(target), "first");
    const std::vector<std::string> names = folder.Names();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].rfind(".frame.pam.zavol-", 0), 0u) << names[0];
    ASSERT_TRUE(file.Commit(&error)) << error;  // over an existing file, also on Windows
  }
  EXPECT_EQ(Contents(target), "second, longer");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"frame.pam"});
  {
    zavol::files::AtomicFile abandoned;
    ASSERT_TRUE(abandoned.Open(target, &error)) << error;
    std::fputs("never", abandoned.Stream());
  }
  EXPECT_EQ(Contents(target), "second, longer");
  // A folder in the way: refused before anything is created beside it.
  fs::create_directory(folder / "busy");
  EXPECT_FALSE(zavol::files::WriteFileAtomically(folder / "busy", second.data(), second.size(), &error));
  EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"busy", "frame.pam"}));
  EXPECT_FALSE(zavol::files::WriteFileAtomically(folder / "no/x", first.data(), first.size(), &error));
  EXPECT_NE(error.find("cannot create the file"), std::string::npos) << error;
}

}  // namespace
