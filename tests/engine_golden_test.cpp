// The engine against fixed references: golden scenes compared by digest (the same constants on
// every platform), and the plain reference renderer over random and hostile sweeps, compared
// call by call and pixel by pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "render/frame.h"
#include "shell/frame_host.h"
#include "tests/engine_support.h"
#include "tests/golden_scenes.h"
#include "tests/random_frames.h"

namespace golden {
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }
}  // namespace golden

namespace {

using enginetest::Pixel64;
using enginetest::RecordingHost;

RecordingHost GoldenHost(const golden::Case& c) {
  const golden::Scene scene = c.scene();
  RecordingHost host(scene.width, scene.height, scene.depth);
  host.screenWidth = golden::kScreenWidth;
  host.screenHeight = golden::kScreenHeight;
  if (c.pattern) {
    host.hasPattern = true;
    host.patternWidth = scene.width;
    host.patternHeight = scene.height;
    for (const golden::Rgba& p : golden::CoordinatePattern(scene.width, scene.height)) {
      host.pattern.push_back(Pixel64{p.r, p.g, p.b, p.a});
    }
  }
  return host;
}

// 16-bit RGBA as a PAM file, for looking at a frame that no longer matches its reference.
void WriteActual(const std::string& name, const RecordingHost& host) {
  const std::string path = "engine-golden-" + name + "-actual.pam";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  const std::vector<uint8_t> bytes = zavoltest::FramePamBytes(host.width, host.height, host.canvas);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  std::printf("actual frame written to %s\n", path.c_str());
}

class Golden : public ::testing::TestWithParam<golden::Case> {};

TEST_P(Golden, FrameMatchesItsDigestAndTheReference) {
  const golden::Case& c = GetParam();
  RecordingHost engine = GoldenHost(c);
  RecordingHost reference = GoldenHost(c);
  ASSERT_EQ(zavol::RenderStereogram(c.settings, engine), 1);
  ASSERT_EQ(enginetest::ReferenceRender(c.settings, reference), 1);
  EXPECT_EQ(engine.calls, reference.calls);
  EXPECT_TRUE(engine.canvas == reference.canvas);
  const uint64_t digest = enginetest::Digest(engine.canvas);
  if (digest != c.digest) WriteActual(c.name, engine);
  EXPECT_EQ(digest, c.digest) << std::hex << "actual 0x" << digest;
}

INSTANTIATE_TEST_SUITE_P(Engine, Golden, ::testing::ValuesIn(golden::Cases()),
                         [](const ::testing::TestParamInfo<golden::Case>& p) {
                           return std::string(p.param.name);
                         });

TEST(GoldenPfm, RowsBottomUpLittleEndianNegativeScale) {
  const golden::Scene scene = golden::StepsScene();
  const std::string bytes = golden::PfmBytes(scene);
  const std::string header = "Pf\n37 23\n-1.0\n";
  ASSERT_EQ(bytes.size(), header.size() + 4u * 37 * 23);
  EXPECT_EQ(bytes.substr(0, header.size()), header);
  // The file's first value is the image's lower left pixel, its last the upper right.
  auto valueAt = [&](std::size_t index) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) {
      bits = (bits << 8) | static_cast<uint8_t>(bytes[header.size() + 4 * index + i]);
    }
    float z;
    std::memcpy(&z, &bits, 4);
    return z;
  };
  EXPECT_EQ(valueAt(0), scene.depth[22 * 37 + 0]);
  EXPECT_EQ(valueAt(36), 0.0f) << "the slope reaches 0 at the lower right";
  EXPECT_EQ(valueAt(37 * 23 - 1), scene.depth[36]);
  EXPECT_NE(scene.depth[22 * 37], scene.depth[0]) << "the scene is not symmetric upside down";

  const std::string path = "engine-golden-steps.pfm";
  ASSERT_TRUE(golden::WritePfm(scene, path));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string read(bytes.size() + 1, '\0');
  read.resize(std::fread(&read[0], 1, read.size(), f));
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_TRUE(read == bytes);
}

using enginetest::Sweep;

// Depth rows made of runs (planes, slopes, background, specials), so rows hold real links.
std::vector<float> SweepDepth(Sweep& rnd, int width, int height) {
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {-1e30f, -1e25f, 0.0f, -0.0f, 0.5f, std::nanf(""), -inf, inf, 1e25f};
  std::vector<float> depth(static_cast<std::size_t>(width) * height);
  std::size_t i = 0;
  while (i < depth.size()) {
    const int kind = rnd.Below(10);
    const float base = -1.0f - static_cast<float>(rnd.Below(400)) / 16.0f;
    const float slope = static_cast<float>(rnd.Below(9) - 4) / 32.0f;
    const std::size_t length = 1 + rnd.Below(kind < 3 ? 4 : 60);
    for (std::size_t k = 0; k < length && i < depth.size(); ++k, ++i) {
      if (kind == 0) {
        depth[i] = specials[rnd.Below(9)];
      } else if (kind < 4) {
        depth[i] = -1e30f;
      } else {
        depth[i] = base + slope * static_cast<float>(k);
      }
    }
  }
  return depth;
}

void ExpectSameFrame(const RecordingHost& engine, const RecordingHost& reference,
                     const std::string& what) {
  ASSERT_EQ(engine.calls, reference.calls) << what;
  ASSERT_TRUE(engine.canvas == reference.canvas) << what;
  ASSERT_EQ(engine.runs.size(), reference.runs.size()) << what;
  for (std::size_t i = 0; i < engine.runs.size(); ++i) {
    ASSERT_TRUE(engine.runs[i].pixels == reference.runs[i].pixels) << what << " run " << i;
  }
  ASSERT_EQ(engine.debugLines.size(), reference.debugLines.size()) << what;
  for (std::size_t i = 0; i < engine.debugLines.size(); ++i) {
    // Same bits, NaN included.
    ASSERT_EQ(std::memcmp(&engine.debugLines[i], &reference.debugLines[i], sizeof(double)), 0)
        << what;
  }
}

TEST(EngineAgainstReference, RandomFramesAgreeCallByCallAndPixelByPixel) {
  enginetest::Sweep rnd(2024);
  for (int trial = 0; trial < 400; ++trial) {
    enginetest::SweepFrame frame = enginetest::MakeSweepFrame(rnd);
    frame.abortAt = rnd.Below(5) == 0 ? rnd.Below(frame.height + 1) : -1;
    RecordingHost engine = frame.MakeHost<RecordingHost>(),
                  reference = frame.MakeHost<RecordingHost>();
    const int engineResult = zavol::RenderStereogram(frame.settings, engine);
    const int referenceResult = enginetest::ReferenceRender(frame.settings, reference);
    const std::string what = "trial " + std::to_string(trial) + " " +
                             std::to_string(frame.width) + "x" + std::to_string(frame.height);
    ASSERT_EQ(engineResult, referenceResult) << what;
    ExpectSameFrame(engine, reference, what);
  }
}

// Wide rows of long plateaus and slopes, so that separations stay equal over stretches longer
// than themselves and change up and down between them: what the row builder takes in bulk.
TEST(EngineAgainstReference, LongStretchesAgreeWithThePixelByPixelRows) {
  Sweep rnd(4711);
  for (int trial = 0; trial < 160; ++trial) {
    const int width = 200 + rnd.Below(700), height = 1 + rnd.Below(4);
    std::vector<float> depth(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
      int x = 0;
      while (x < width) {
        const int length = 1 + rnd.Below(rnd.Below(3) == 0 ? 12 : 300);
        const int kind = rnd.Below(6);
        const float level = -1.0f - static_cast<float>(rnd.Below(12));
        for (int k = 0; k < length && x < width; ++k, ++x) {
          float z = level;
          if (kind == 0) z = -1e30f;
          if (kind == 1) z = level + static_cast<float>(k) / 64.0f;   // nearer to the right
          if (kind == 2) z = level - static_cast<float>(k) / 64.0f;   // farther to the right
          depth[static_cast<std::size_t>(y) * width + x] = z;
        }
      }
    }
    StereogramSettings s = DefaultSettings();
    s.RandomizeEachFrame = 0;
    s.ViewingMedium = kMediumCustomDpi;
    s.CustomDpi = 4 + rnd.Below(120);
    s.NearObjectDepth = static_cast<float>(rnd.Below(60)) / 100.0f;
    s.PreventGhosting = rnd.Below(4) != 0;
    s.RampMode = rnd.Below(5) == 0 ? kRampHsv : kRampRgb;
    RecordingHost engine(width, height, depth), reference(width, height, depth);
    engine.recordPerPixelCalls = reference.recordPerPixelCalls = false;
    zavol::RenderStereogram(s, engine);
    enginetest::ReferenceRender(s, reference);
    ExpectSameFrame(engine, reference, "trial " + std::to_string(trial));
  }
}

// Records no dialog could produce, on frames from 1 x 0 to 16 x 20 with the guide on: every row
// is one run of the whole width, nothing else but the guide is written, only the guide's
// squares are transparent, and the reference agrees.
TEST(EngineAgainstReference, HostileRecordsOnTinyFrames) {
  const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
  std::vector<StereogramSettings> records;
  auto add = [&records](auto edit) {
    StereogramSettings s = DefaultSettings();
    s.PutGuidePoints = 1;
    s.RandomizeEachFrame = 0;
    edit(s);
    records.push_back(s);
  };
  add([](StereogramSettings&) {});
  add([&](StereogramSettings& s) { s.NearObjectDepth = s.FarObjectDepth = s.BackgroundDepth = nan; });
  add([&](StereogramSettings& s) { s.BackgroundDepth = inf; s.NearObjectDepth = -inf; });
  add([&](StereogramSettings& s) { s.BackgroundDepth = -inf; });
  add([](StereogramSettings& s) { s.BackgroundDepth = -1.0f; });
  add([](StereogramSettings& s) { s.BackgroundDepth = -0.5f; });
  add([](StereogramSettings& s) { s.BackgroundDepth = 0.0f; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = -5; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = 2000000000; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = 0; });
  add([](StereogramSettings& s) { s.ViewingMedium = kMediumCustomDpi; s.CustomDpi = 3; });
  add([](StereogramSettings& s) { s.ViewingMedium = 0; });
  add([](StereogramSettings& s) { s.NearObjectDepth = -2.0f; s.FarObjectDepth = 3.0f; });
  add([&](StereogramSettings& s) { s.AutoDistance = 0; s.NearDistance = nan; s.FarDistance = -inf; });
  add([](StereogramSettings& s) { s.AutoDistance = 0; s.NearDistance = -1e30f; s.FarDistance = 1e30f; });
  add([](StereogramSettings& s) {
    s.Color1 = 0xFFFFFFFF;
    s.RampMode = 7;
    s.PutGuidePoints = 7;
    s.PreventGhosting = -1;
  });
  add([](StereogramSettings& s) { s.PreventGhosting = 0; s.BackgroundDepth = -0.5f; });

  Sweep rnd(77);
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (int width = 1; width <= 16; ++width) {
      for (int height = 0; height <= 20; ++height) {
        const std::vector<float> depth = SweepDepth(rnd, width, height);
        RecordingHost engine(width, height, depth), reference(width, height, depth);
        const std::string what = "record " + std::to_string(r) + " " + std::to_string(width) +
                                 "x" + std::to_string(height);
        ASSERT_EQ(zavol::RenderStereogram(records[r], engine), 1) << what;
        ASSERT_EQ(enginetest::ReferenceRender(records[r], reference), 1) << what;
        ExpectSameFrame(engine, reference, what);

        ASSERT_GE(engine.runs.size(), static_cast<std::size_t>(height)) << what;
        for (int y = 0; y < height; ++y) {
          const enginetest::Run& run = engine.runs[y];
          ASSERT_TRUE(run.x == 0 && run.y == y && run.count == width) << what << " row " << y;
          ASSERT_EQ(engine.progress[y], std::make_pair(y, height - 1)) << what;
        }
        for (std::size_t i = height; i < engine.runs.size(); ++i) {
          const enginetest::Run& run = engine.runs[i];
          ASSERT_TRUE(run.y >= 5 && run.y <= 15) << what;
          ASSERT_TRUE(run.count == 7 || run.count == 0 || (run.count > 0 && run.count <= width - 2))
              << what;
        }
        for (int y = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x) {
            const uint16_t a = engine.At(x, y).a;
            ASSERT_TRUE(a == 65535 || (a == 0 && y >= 7 && y <= 13)) << what;
          }
        }
        ASSERT_EQ(engine.debugLines.size(), 1u) << what;
      }
    }
  }
}

}  // namespace
