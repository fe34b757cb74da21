// The tool's own parsing: frame ranges, numbered names, sizes, colours, media, the settings text.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/frames.h"
#include "cli/settings_options.h"
#include "render/settings_schema.h"

namespace {

using namespace zavol::cli;

TEST(FrameRange, AcceptsRangesAndSingleFrames) {
  FrameRange r;
  ASSERT_TRUE(ParseFrameRange("1-240", &r));
  EXPECT_EQ(r.first, 1);
  EXPECT_EQ(r.Count(), 240);
  ASSERT_TRUE(ParseFrameRange("7", &r));
  EXPECT_EQ(r.Count(), 1);
  for (const char* bad : {"", "-3", "5-2", "1-", "a-b", "1-2-3", "1234567890"}) {
    EXPECT_FALSE(ParseFrameRange(bad, &r)) << bad;
  }
}

TEST(FrameNames, RunsOfHashAreZeroPaddedFrameNumbers) {
  EXPECT_EQ(ExpandFrame("depth_####.exr", 7), "depth_0007.exr");
  EXPECT_EQ(ExpandFrame("a#/b##.png", 3), "a3/b03.png");
  EXPECT_EQ(ExpandFrame("f_##.png", 12345), "f_12345.png");  // never truncated
  EXPECT_EQ(ExpandFrame("plain.png", 4), "plain.png");
  EXPECT_TRUE(HasFrameField("x#.png"));
  EXPECT_FALSE(HasFrameField("x.png"));
}

TEST(Sizes, WidthByHeightWithinTheHostsLimit) {
  int w = 0, h = 0;
  ASSERT_TRUE(ParseSize("1920x1080", &w, &h));
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  for (const char* bad : {"1920", "0x10", "10x0", "65536x1", "x5", "3x", "-1x4"}) {
    EXPECT_FALSE(ParseSize(bad, &w, &h)) << bad;
  }
}

TEST(Colours, RrggbbBecomesAColorrefWithRedInTheLowByte) {
  uint32_t c = 0;
  ASSERT_TRUE(ParseColour("FF8000", &c));
  EXPECT_EQ(c, 0x0080FFu);
  ASSERT_TRUE(ParseColour("#0000ff", &c));
  EXPECT_EQ(c, 0xFF0000u);
  ASSERT_TRUE(ParseColour("0x123456", &c));
  EXPECT_EQ(FormatColour(c), "123456");
  for (const char* bad : {"", "FFF", "GG0000", "1234567"}) EXPECT_FALSE(ParseColour(bad, &c)) << bad;
}

TEST(Media, NamesAndCodes) {
  int32_t code = 0;
  ASSERT_TRUE(ParseMedium("a4", &code));
  EXPECT_EQ(code, 1006);
  ASSERT_TRUE(ParseMedium("1000", &code));
  EXPECT_EQ(MediumName(code), "14in");
  ASSERT_TRUE(ParseMedium("dpi", &code));
  EXPECT_EQ(code, 1008);
  EXPECT_FALSE(ParseMedium("1009", &code));
  EXPECT_FALSE(ParseMedium("A4 ", &code));
  EXPECT_EQ(MediumName(42), "");
}

TEST(SettingsText, EveryFieldByNameWithReadableValues) {
  StereogramSettings s = DefaultSettings();
  s.Color1 = 0x0080FF;
  s.RampMode = 0;  // any mode but the RGB code is the HSV ramp
  s.ViewingMedium = 77;
  const std::string text = DescribeSettings(s);
  for (const char* line :
       {"NearObjectDepth     0.4\n", "FarObjectDepth      1\n", "BackgroundDepth     1\n",
        "ViewingMedium       77\n", "CustomDpi           150\n", "AutoDistance        1\n",
        "FarDistance         1000\n", "NearDistance        0\n", "Color1              FF8000\n",
        "Color2              FFFFFF\n", "RampMode            0 (hsv)\n", "PutGuidePoints      0\n",
        "RandomizeEachFrame  1\n", "PreventGhosting     1\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
  }
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 14);
}

// The options' range checks are the schema's: each numeric field takes both its limits and
// refuses a value just beyond either.
TEST(SettingsOptions, NumericFieldsTakeTheSchemasLimitsAndNothingBeyond) {
  using zavol::FieldKind;
  auto parse = [](const zavol::SettingsField& field, double value, StereogramSettings* settings) {
    CLI::App app;
    SettingsEdits edits;
    AddSettingsOptions(app, edits);
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    app.parse("--" + std::string(field.option) + "=" + text, false);
    *settings = DefaultSettings();
    edits.Apply(*settings);
  };
  for (const zavol::SettingsField& field : zavol::kSettingsFields) {
    if (field.kind != FieldKind::kReal && field.kind != FieldKind::kInteger) continue;
    SCOPED_TRACE(field.name);
    StereogramSettings settings;
    for (double limit : {field.minimum, field.maximum}) {
      ASSERT_NO_THROW(parse(field, limit, &settings)) << limit;
      const double stored = field.kind == FieldKind::kReal ? static_cast<float>(limit) : limit;
      EXPECT_EQ(zavol::FieldValue(settings, field), stored);
    }
    const double above = field.kind == FieldKind::kInteger ? field.maximum + 1 : field.maximum * 2;
    EXPECT_THROW(parse(field, above, &settings), CLI::ValidationError);
    EXPECT_THROW(parse(field, field.minimum - 1, &settings), CLI::ValidationError);
  }
}

}  // namespace
