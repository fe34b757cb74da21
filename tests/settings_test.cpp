// The settings record as a stored block: defaults, round trips, foreign blocks taken unchanged.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/settings.h"

namespace {

const uint8_t kDefaultBlock[kSettingsSize] = {
    0xcd, 0xcc, 0xcc, 0x3e, 0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x80, 0x3f, 0xe9, 0x03,
    0x00, 0x00, 0x96, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7a, 0x44,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0xff, 0x03,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};

TEST(Settings, DefaultRecordSavesTheKnownBlock) {
  StereogramSettings settings = DefaultSettings();
  uint8_t block[kSettingsSize + 4];
  std::memset(block, 0xAA, sizeof block);
  EXPECT_EQ(SaveSettings(settings, block), 1);
  EXPECT_EQ(0, std::memcmp(block, kDefaultBlock, kSettingsSize));
  for (std::size_t i = kSettingsSize; i < sizeof block; ++i) EXPECT_EQ(block[i], 0xAA) << "wrote past the block";
  EXPECT_EQ(SettingsSize(), 56u);
}

TEST(Settings, SaveThenLoadIntoAnotherRecordIsByteIdentical) {
  StereogramSettings first = DefaultSettings();
  first.BackgroundDepth = 3.5f;
  first.ViewingMedium = kMediumA4Paper;
  first.Color1 = 0x123456;
  first.PreventGhosting = 0;
  uint8_t block[kSettingsSize];
  SaveSettings(first, block);
  StereogramSettings second = DefaultSettings();
  EXPECT_EQ(LoadSettings(second, block), 1);
  EXPECT_EQ(0, std::memcmp(&first, &second, kSettingsSize));
}

TEST(Settings, ArbitraryBytesLoadUnchanged) {
  // NaN patterns, negative integers, values no dialog would produce: all kept as they are.
  std::vector<uint8_t> block(kSettingsSize);
  uint32_t state = 12345;
  for (auto& b : block) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 23);
  }
  block[0] = 0xff; block[1] = 0xff; block[2] = 0xff; block[3] = 0x7f;  // a NaN
  StereogramSettings settings = DefaultSettings();
  LoadSettings(settings, block.data());
  uint8_t back[kSettingsSize];
  SaveSettings(settings, back);
  EXPECT_EQ(0, std::memcmp(block.data(), back, kSettingsSize));
}

}  // namespace
