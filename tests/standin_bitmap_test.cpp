// The stand-in bmm.dll: bitmaps with and without pixels, the depth channel, clipped pixel writes
// that never touch anything outside the image, and whole-run pixel reads. Windows builds only.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/bitmap.h"
#include "standin/hostbitmap.h"

namespace {

constexpr BMM_Color_64 kBackground = {1, 2, 3, 4};

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

BMM_Color_64 Marked(int i) {
  const uint16_t v = static_cast<uint16_t>(1000 + i);
  return BMM_Color_64{v, static_cast<uint16_t>(v + 1), static_cast<uint16_t>(v + 2), 65535};
}

struct BitmapDeleter {
  void operator()(Bitmap* bitmap) const { DestroyHostBitmap(bitmap); }
};
using HostBitmapPtr = std::unique_ptr<Bitmap, BitmapDeleter>;

TEST(HostBitmap, SizesAndChannel) {
  HostBitmapPtr bitmap(CreateHostBitmap(7, 5, 1));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->Width(), 7);
  EXPECT_EQ(bitmap->Height(), 5);
  int type = -1;
  void* depth = bitmap->ChannelData(kChannelDepth, &type);
  EXPECT_EQ(depth, HostBitmapDepth(bitmap.get()));
  EXPECT_NE(depth, nullptr);
  EXPECT_EQ(type, kChannelTypeReal32);
  EXPECT_EQ(bitmap->ChannelData(kChannelDepth, nullptr), depth);  // type may be omitted
  type = -1;
  EXPECT_EQ(bitmap->ChannelData(2, &type), nullptr);
  EXPECT_EQ(type, kChannelTypeNone);
  // A fresh bitmap is opaque black with depth 0.
  for (int i = 0; i < 35; ++i) {
    EXPECT_TRUE(Same(HostBitmapPixels(bitmap.get())[i], BMM_Color_64{0, 0, 0, 65535}));
    EXPECT_EQ(HostBitmapDepth(bitmap.get())[i], 0.0f);
  }
}

TEST(HostBitmap, WithoutDepthHasNoChannel) {
  HostBitmapPtr bitmap(CreateHostBitmap(3, 2, 0));
  ASSERT_TRUE(bitmap);
  int type = -1;
  EXPECT_EQ(bitmap->ChannelData(kChannelDepth, &type), nullptr);
  EXPECT_EQ(type, kChannelTypeNone);
  EXPECT_EQ(HostBitmapDepth(bitmap.get()), nullptr);
  EXPECT_EQ(HostBitmapFillDepth(bitmap.get(), 1.0f), 0);
}

TEST(HostBitmap, WithoutPixelsReportsNothing) {
  const int sizes[][2] = {{0, 0}, {0, 9}, {9, 0}};
  for (const auto& size : sizes) {
    HostBitmapPtr bitmap(CreateHostBitmap(size[0], size[1], 1));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->store, nullptr);
    EXPECT_EQ(bitmap->Width(), 0);
    EXPECT_EQ(bitmap->Height(), 0);
    int type = 77;
    EXPECT_EQ(bitmap->ChannelData(kChannelDepth, &type), nullptr);
    BMM_Color_64 slot = kBackground;
    EXPECT_EQ(bitmap->ReadPixels(0, 0, 1, &slot), 0);
    EXPECT_TRUE(Same(slot, kBackground));
    EXPECT_EQ(bitmap->PutPixels(0, 0, 1, &slot), 0);
    EXPECT_EQ(HostBitmapPixels(bitmap.get()), nullptr);
    EXPECT_EQ(HostBitmapGuardsIntact(bitmap.get()), 1);
  }
}

TEST(HostBitmap, RefusesImpossibleSizes) {
  EXPECT_EQ(CreateHostBitmap(65536, 1, 0), nullptr);
  EXPECT_EQ(CreateHostBitmap(1, 65536, 0), nullptr);
  EXPECT_EQ(CreateHostBitmap(-1, 4, 0), nullptr);
  EXPECT_EQ(CreateHostBitmap(4, INT_MIN, 0), nullptr);
  HostBitmapPtr widest(CreateHostBitmap(65535, 1, 1));
  ASSERT_TRUE(widest);
  EXPECT_EQ(widest->Width(), 65535);
}

TEST(HostBitmap, DestroyIgnoresNullAndForeignBitmaps) {
  DestroyHostBitmap(nullptr);
  Bitmap foreign;
  DestroyHostBitmap(&foreign);  // not ours: left alone
  EXPECT_EQ(HostBitmapPixels(&foreign), nullptr);
  EXPECT_EQ(HostBitmapFill(&foreign, kBackground), 0);
}

struct PutCase {
  const char* name;
  int x, y, count;
  int stored;  // PutPixels' result
};

constexpr int kW = 9, kH = 4;

// Every run of the guide and of whole rows, plus the hostile ones; nothing outside the image
// may change, inside it exactly the overlap of run and row.
const PutCase kPutCases[] = {
    {"whole row", 0, 1, kW, 1},
    {"inside", 2, 2, 4, 1},
    {"single last pixel", kW - 1, 3, 1, 1},
    {"starts left of column 0", -3, 0, 6, 1},
    {"ends past the last column", 5, 1, 10, 1},
    {"covers more than the row", -2, 2, kW + 10, 1},
    {"entirely left", -10, 1, 10, 0},
    {"entirely right", kW, 1, 5, 0},
    {"row above", 0, -1, kW, 0},
    {"row below", 0, kH, kW, 0},
    {"far row below, as the guide on a short frame", 0, 15, kW, 0},
    {"count 0", 0, 0, 0, 0},
    {"negative count", 3, 0, -5, 0},
    {"huge count", 3, 1, INT_MAX, 1},
    {"huge count from the left", -5, 1, INT_MAX, 1},
    {"x + count overflows", INT_MAX - 2, 1, 10, 0},
    {"most negative x", INT_MIN, 1, 10, 0},
};

TEST(HostBitmap, PutPixelsClipsToTheImage) {
  std::vector<BMM_Color_64> run(64);
  for (int i = 0; i < 64; ++i) run[i] = Marked(i);
  for (const PutCase& c : kPutCases) {
    SCOPED_TRACE(c.name);
    HostBitmapPtr bitmap(CreateHostBitmap(kW, kH, 1));
    ASSERT_TRUE(bitmap);
    HostBitmapFill(bitmap.get(), kBackground);
    EXPECT_EQ(bitmap->PutPixels(c.x, c.y, c.count, run.data()), c.stored);
    const BMM_Color_64* pixels = HostBitmapPixels(bitmap.get());
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const bool written =
            y == c.y && c.count > 0 && x >= c.x && static_cast<int64_t>(x) < static_cast<int64_t>(c.x) + c.count;
        const BMM_Color_64 expected = written ? run[x - c.x] : kBackground;
        EXPECT_TRUE(Same(pixels[y * kW + x], expected)) << "pixel " << x << "," << y;
      }
    }
    EXPECT_EQ(HostBitmapGuardsIntact(bitmap.get()), 1);
  }
}

TEST(HostBitmap, PutPixelsIgnoresNullPixels) {
  HostBitmapPtr bitmap(CreateHostBitmap(4, 4, 0));
  HostBitmapFill(bitmap.get(), kBackground);
  EXPECT_EQ(bitmap->PutPixels(0, 0, 4, nullptr), 0);
  EXPECT_TRUE(Same(HostBitmapPixels(bitmap.get())[0], kBackground));
}

// A store that is not bmm.dll's own: PutPixels cannot know its layout and stores nothing.
class ForeignStore final : public PixelStore {
 public:
  int ReadPixels(int, int, int, BMM_Color_64*) override { return 0; }
  void* ChannelData(int, int*) override { return nullptr; }
};

TEST(HostBitmap, PutPixelsIntoAForeignStoreStoresNothing) {
  ForeignStore store;
  store.info.width = 4;
  store.info.height = 4;
  Bitmap bitmap;
  bitmap.store = &store;
  BMM_Color_64 pixel = kBackground;
  EXPECT_EQ(bitmap.Width(), 4);
  EXPECT_EQ(bitmap.PutPixels(0, 0, 1, &pixel), 0);
  EXPECT_EQ(HostBitmapGuardsIntact(&bitmap), 0);
}

struct ReadCase {
  const char* name;
  int x, y, count;
  int read;
};

TEST(HostBitmap, ReadPixelsReadsWholeRunsOnly) {
  HostBitmapPtr bitmap(CreateHostBitmap(kW, kH, 0));
  BMM_Color_64* pixels = HostBitmapPixels(bitmap.get());
  for (int i = 0; i < kW * kH; ++i) pixels[i] = Marked(i);
  const ReadCase cases[] = {
      {"one pixel", 3, 2, 1, 1},
      {"whole row", 0, 3, kW, 1},
      {"last pixel", kW - 1, kH - 1, 1, 1},
      {"starts left", -1, 0, 3, 0},
      {"ends past the row", kW - 2, 0, 3, 0},
      {"row above", 0, -1, 1, 0},
      {"row below", 0, kH, 1, 0},
      {"count 0", 0, 0, 0, 0},
      {"negative count", 0, 0, -1, 0},
      {"x + count overflows", 2, 0, INT_MAX, 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BMM_Color_64> slots(kW + 1, kBackground);
    EXPECT_EQ(bitmap->ReadPixels(c.x, c.y, c.count, slots.data()), c.read);
    for (int i = 0; i <= kW; ++i) {
      const BMM_Color_64 expected =
          c.read && i < c.count ? Marked(c.y * kW + c.x + i) : kBackground;
      EXPECT_TRUE(Same(slots[i], expected)) << "slot " << i;
    }
  }
  EXPECT_EQ(bitmap->ReadPixels(0, 0, 1, nullptr), 0);
}

TEST(HostBitmap, FillSetsPixelsAndDepth) {
  HostBitmapPtr bitmap(CreateHostBitmap(5, 3, 1));
  EXPECT_EQ(HostBitmapFill(bitmap.get(), Marked(7)), 1);
  EXPECT_EQ(HostBitmapFillDepth(bitmap.get(), -2.5f), 1);
  for (int i = 0; i < 15; ++i) {
    EXPECT_TRUE(Same(HostBitmapPixels(bitmap.get())[i], Marked(7)));
    EXPECT_EQ(HostBitmapDepth(bitmap.get())[i], -2.5f);
  }
  EXPECT_EQ(HostBitmapGuardsIntact(bitmap.get()), 1);
}

// The guard check is what the host program relies on after a frame; it must see a stray write
// just past either array.
TEST(HostBitmap, GuardCheckSeesWritesPastTheArrays) {
  HostBitmapPtr pixelsPast(CreateHostBitmap(5, 3, 1));
  HostBitmapPixels(pixelsPast.get())[15] = Marked(0);
  EXPECT_EQ(HostBitmapGuardsIntact(pixelsPast.get()), 0);

  HostBitmapPtr pixelsBefore(CreateHostBitmap(5, 3, 1));
  HostBitmapPixels(pixelsBefore.get())[-1] = Marked(0);
  EXPECT_EQ(HostBitmapGuardsIntact(pixelsBefore.get()), 0);

  HostBitmapPtr depthPast(CreateHostBitmap(5, 3, 1));
  HostBitmapDepth(depthPast.get())[15] = 0.0f;
  EXPECT_EQ(HostBitmapGuardsIntact(depthPast.get()), 0);
}

}  // namespace
