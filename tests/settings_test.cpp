// The settings record as a stored block: defaults, round trips, foreign blocks taken unchanged.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/settings.h"
#include "render/settings_schema.h"

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

// A wrong offset or kind in the schema writes the wrong bytes: each field, set through the
// table to a value other than its default, must read back and change its own four bytes only.
TEST(SettingsSchema, EachFieldReadsBackAndChangesOnlyItsOwnBytes) {
  using zavol::FieldKind;
  for (const zavol::SettingsField& field : zavol::kSettingsFields) {
    SCOPED_TRACE(field.name);
    StereogramSettings settings = DefaultSettings();
    uint8_t before[kSettingsSize], after[kSettingsSize];
    SaveSettings(settings, before);
    const double value = field.defaultValue == field.maximum ? field.minimum : field.maximum;
    zavol::SetFieldValue(settings, field, value);
    const double stored = field.kind == FieldKind::kReal ? static_cast<float>(value) : value;
    EXPECT_EQ(zavol::FieldValue(settings, field), stored);
    SaveSettings(settings, after);
    for (std::size_t i = 0; i < kSettingsSize; ++i) {
      const bool own = i >= field.offset && i < field.offset + 4;
      if (!own) {
        EXPECT_EQ(after[i], before[i]) << "byte " << i;
      }
    }
    EXPECT_NE(0, std::memcmp(after + field.offset, before + field.offset, 4));
  }
}

TEST(SettingsSchema, DefaultsLieInTheirRangesAndSpinnersHaveSteps) {
  for (const zavol::SettingsField& field : zavol::kSettingsFields) {
    EXPECT_LE(field.minimum, field.defaultValue) << field.name;
    EXPECT_LE(field.defaultValue, field.maximum) << field.name;
    EXPECT_EQ(field.step > 0, field.spinnerId != 0) << field.name;
  }
}

}  // namespace
