// The stand-in flt.dll: the filter base part's four words, filled by the inherited setters, and
// the inherited operations' results. Windows builds only.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "host/filter.h"

namespace {

// The smallest filter: the pure operations answer nothing; the words are read back as a
// filter reads them.
class ProbeFilter : public ImageFilter {
 public:
  void* DestroyFilter(unsigned flags) override {
    this->~ProbeFilter();
    if (flags & 1) ::operator delete(this);
    return this;
  }
  const char* DescriptionText() override { return ""; }
  const char* AuthorText() override { return ""; }
  const char* CopyrightText() override { return ""; }
  unsigned VersionNumber() override { return 0; }
  unsigned CapabilityFlags() override { return 0; }
  int ShowAboutBox(HWND) override { return 0; }
  int ShowSetupDialog(HWND) override { return 0; }
  int RenderFrame(HWND) override { return 0; }
  unsigned SettingsSize() override { return 0; }
  int LoadSettings(const void*) override { return 0; }
  int SaveSettings(void*) override { return 0; }
  int HostYesQuery() override { return 0; }

  Bitmap* Source() const { return sourceBitmap; }
  Bitmap* Mask() const { return maskBitmap; }
  Bitmap* Foreground() const { return foregroundBitmap; }
  ImageFilterInfo* Info() const { return filterInfo; }

 protected:
  ~ProbeFilter() = default;
};

TEST(ImageFilterBase, StartsWithFourNullWords) {
  ProbeFilter* filter = new ProbeFilter;
  EXPECT_EQ(filter->Source(), nullptr);
  EXPECT_EQ(filter->Mask(), nullptr);
  EXPECT_EQ(filter->Foreground(), nullptr);
  EXPECT_EQ(filter->Info(), nullptr);
  filter->DestroyFilter(1);
}

TEST(ImageFilterBase, EachSetterFillsItsOwnWord) {
  ProbeFilter* probe = new ProbeFilter;
  ImageFilter* filter = probe;  // as the host calls them: through the table
  Bitmap source, mask, pattern;
  ImageFilterInfo* info = reinterpret_cast<ImageFilterInfo*>(&pattern + 1);
  filter->SetSource(&source);
  EXPECT_EQ(probe->Source(), &source);
  EXPECT_EQ(probe->Mask(), nullptr);
  filter->SetMask(&mask);
  filter->SetForeground(&pattern);
  filter->SetFilterInfo(info);
  EXPECT_EQ(probe->Source(), &source);
  EXPECT_EQ(probe->Mask(), &mask);
  EXPECT_EQ(probe->Foreground(), &pattern);
  EXPECT_EQ(probe->Info(), info);
  filter->SetForeground(nullptr);
  EXPECT_EQ(probe->Foreground(), nullptr);
  EXPECT_EQ(probe->Source(), &source);
  probe->DestroyFilter(1);
}

// The words sit right after the table pointer, in the order source, mask, foreground, info.
TEST(ImageFilterBase, WordsFollowTheTablePointerInOrder) {
  ProbeFilter* probe = new ProbeFilter;
  Bitmap a, b, c;
  ImageFilterInfo* info = reinterpret_cast<ImageFilterInfo*>(&c + 1);
  probe->SetSource(&a);
  probe->SetMask(&b);
  probe->SetForeground(&c);
  probe->SetFilterInfo(info);
  void* const* words = reinterpret_cast<void* const*>(probe);
  EXPECT_EQ(words[1], &a);
  EXPECT_EQ(words[2], &b);
  EXPECT_EQ(words[3], &c);
  EXPECT_EQ(words[4], info);
  EXPECT_EQ(sizeof(ImageFilter), 5 * sizeof(void*));
  probe->DestroyFilter(1);
}

TEST(ImageFilterBase, MaxAndCreatePreviewOfferNothing) {
  ProbeFilter* probe = new ProbeFilter;
  ImageFilter* filter = probe;
  EXPECT_EQ(filter->Max(), nullptr);
  Bitmap* image = nullptr;
  Bitmap* result = nullptr;
  EXPECT_EQ(filter->CreatePreview(nullptr, &image, 0, 64, 48, 1.0f, &result, 0), 0);
  EXPECT_EQ(result, nullptr);
  probe->DestroyFilter(1);
}

struct FloatLerpCase {
  int a, b;
  float fraction;
  int expected;
};

TEST(ImageFilterBase, LerpByFraction) {
  const FloatLerpCase cases[] = {
      {0, 100, 0.5f, 50},        {0, 100, 0.25f, 25},      {10, 20, 0.0f, 10},
      {10, 20, 1.0f, 20},        {10, 20, -1.0f, 10},      {10, 20, 2.0f, 20},
      {0, 3, 0.5f, 2},           {3, 0, 0.5f, 1},          {-10, 10, 0.5f, 0},
      {0, 255, 0.1f, 26},        {INT_MIN, INT_MAX, 0.5f, 0}, {INT_MIN, INT_MAX, 1.0f, INT_MAX},
      {7, 7, 0.3f, 7},           {0, 100, NAN, 0},         {0, 100, INFINITY, 100},
  };
  ProbeFilter* probe = new ProbeFilter;
  for (const FloatLerpCase& c : cases) {
    EXPECT_EQ(probe->Lerp(c.a, c.b, c.fraction), c.expected)
        << c.a << " " << c.b << " " << c.fraction;
  }
  probe->DestroyFilter(1);
}

struct StepLerpCase {
  int a, b, step, expected;
};

TEST(ImageFilterBase, LerpByStepOutOf255) {
  const StepLerpCase cases[] = {
      {0, 255, 128, 128},     {0, 100, 0, 0},           {0, 100, 255, 100},
      {0, 100, -5, 0},        {0, 100, 300, 100},       {0, 100, 128, 50},
      {100, 0, 128, 50},      {0, 1, 127, 0},           {0, 1, 128, 1},
      {INT_MIN, INT_MAX, 255, INT_MAX},                 {INT_MAX, INT_MIN, 254, INT_MIN + 16843009},
      {-255, 255, 51, -153},
  };
  ProbeFilter* probe = new ProbeFilter;
  for (const StepLerpCase& c : cases) {
    EXPECT_EQ(probe->Lerp(c.a, c.b, c.step), c.expected) << c.a << " " << c.b << " " << c.step;
  }
  probe->DestroyFilter(1);
}

}  // namespace
