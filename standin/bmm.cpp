// The stand-in bmm.dll: bitmap dimensions, a pixel store of 64-bit pixels with an optional depth
// channel, clipped pixel writes and the host-side bitmap functions. Depends on the C++ runtime
// only.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "standin/hostbitmap.h"

unsigned short BitmapInfo::Width() const { return width; }
unsigned short BitmapInfo::Height() const { return height; }

namespace {

// Guard zones before and after each array, filled with a pattern nothing valid writes, so
// that a write through a pointer past either end of the image shows up.
constexpr size_t kGuardElements = 64;
constexpr BMM_Color_64 kGuardPixel = {0xDEAD, 0xBEEF, 0xCAFE, 0xF00D};
constexpr uint32_t kGuardDepthBits = 0xFFC0FFEEu;  // a NaN no renderer produces

bool SamePixel(const BMM_Color_64& p, const BMM_Color_64& q) {
  return p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a;
}

class HostPixelStore final : public PixelStore {
 public:
  // Null when the sizes cannot be held in memory.
  static HostPixelStore* Create(int width, int height, bool withDepth) {
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint64_t elements = count + 2 * kGuardElements;
    if (elements > PTRDIFF_MAX / sizeof(BMM_Color_64)) return nullptr;
    HostPixelStore* store = new (std::nothrow) HostPixelStore;
    if (!store) return nullptr;
    store->count_ = static_cast<size_t>(count);
    store->pixelBlock_ = new (std::nothrow) BMM_Color_64[static_cast<size_t>(elements)];
    if (withDepth) store->depthBlock_ = new (std::nothrow) float[static_cast<size_t>(elements)];
    if (!store->pixelBlock_ || (withDepth && !store->depthBlock_)) {
      delete store;
      return nullptr;
    }
    store->info.width = static_cast<unsigned short>(width);
    store->info.height = static_cast<unsigned short>(height);
    for (size_t i = 0; i < elements; ++i) store->pixelBlock_[i] = kGuardPixel;
    store->Fill(BMM_Color_64{0, 0, 0, 65535});
    if (withDepth) {
      float guard;
      std::memcpy(&guard, &kGuardDepthBits, sizeof guard);
      for (size_t i = 0; i < elements; ++i) store->depthBlock_[i] = guard;
      store->FillDepth(0.0f);
    }
    return store;
  }

  ~HostPixelStore() {
    delete[] pixelBlock_;
    delete[] depthBlock_;
  }

  // The whole run must lie inside the image: a reader asking for pixels that do not exist gets
  // nothing rather than a part, so it never mistakes a short read for a full one.
  int ReadPixels(int x, int y, int count, BMM_Color_64* pixels) override {
    if (!pixels || count <= 0 || x < 0 || y < 0 || y >= info.height) return 0;
    if (static_cast<int64_t>(x) + count > info.width) return 0;
    std::memcpy(pixels, Pixels() + static_cast<size_t>(y) * info.width + x,
                static_cast<size_t>(count) * sizeof(BMM_Color_64));
    return 1;
  }

  void* ChannelData(int code, int* type) override {
    void* channel = code == kChannelDepth ? Depth() : nullptr;
    if (type) *type = channel ? kChannelTypeReal32 : kChannelTypeNone;
    return channel;
  }

  BMM_Color_64* Pixels() { return pixelBlock_ + kGuardElements; }
  float* Depth() { return depthBlock_ ? depthBlock_ + kGuardElements : nullptr; }

  void Fill(BMM_Color_64 colour) {
    for (size_t i = 0; i < count_; ++i) Pixels()[i] = colour;
  }
  bool FillDepth(float depth) {
    if (!depthBlock_) return false;
    for (size_t i = 0; i < count_; ++i) Depth()[i] = depth;
    return true;
  }

  bool GuardsIntact() const {
    const BMM_Color_64* after = pixelBlock_ + kGuardElements + count_;
    for (size_t i = 0; i < kGuardElements; ++i) {
      if (!SamePixel(pixelBlock_[i], kGuardPixel) || !SamePixel(after[i], kGuardPixel)) return false;
    }
    if (depthBlock_) {
      const float* depthAfter = depthBlock_ + kGuardElements + count_;
      for (size_t i = 0; i < kGuardElements; ++i) {
        uint32_t before, behind;
        std::memcpy(&before, &depthBlock_[i], sizeof before);
        std::memcpy(&behind, &depthAfter[i], sizeof behind);
        if (before != kGuardDepthBits || behind != kGuardDepthBits) return false;
      }
    }
    return true;
  }

 private:
  HostPixelStore() = default;

  size_t count_ = 0;
  BMM_Color_64* pixelBlock_ = nullptr;
  float* depthBlock_ = nullptr;
};

// A bitmap made here owns its store; the registry tells such bitmaps from any other.
class HostBitmap : public Bitmap {
 public:
  HostPixelStore* owned = nullptr;
};

std::mutex registryLock;
std::set<Bitmap*>& LiveBitmaps() {
  static std::set<Bitmap*>* live = new std::set<Bitmap*>;  // never destroyed: used at exit
  return *live;
}

HostPixelStore* StoreOf(Bitmap* bitmap) {
  return bitmap ? dynamic_cast<HostPixelStore*>(bitmap->store) : nullptr;
}

}  // namespace

// Clipped to the image: the part of the run left of column 0 or past the last column is
// dropped, a row outside the image stores nothing. Positions are computed in 64 bits, so
// x + count cannot overflow.
int Bitmap::PutPixels(int x, int y, int count, BMM_Color_64* pixels) {
  HostPixelStore* target = StoreOf(this);
  if (!target || !pixels || count <= 0 || y < 0 || y >= target->info.height) return 0;
  const int64_t first = x < 0 ? 0 : x;
  const int64_t end = std::min<int64_t>(static_cast<int64_t>(x) + count, target->info.width);
  if (first >= end) return 0;
  std::memcpy(target->Pixels() + static_cast<size_t>(y) * target->info.width + first,
              pixels + (first - x), static_cast<size_t>(end - first) * sizeof(BMM_Color_64));
  return 1;
}

Bitmap* CreateHostBitmap(int width, int height, int withDepth) {
  if (width < 0 || height < 0 || width > 65535 || height > 65535) return nullptr;
  HostBitmap* bitmap = new (std::nothrow) HostBitmap;
  if (!bitmap) return nullptr;
  if (width > 0 && height > 0) {
    bitmap->owned = HostPixelStore::Create(width, height, withDepth != 0);
    if (!bitmap->owned) {
      delete bitmap;
      return nullptr;
    }
    bitmap->store = bitmap->owned;
  }
  std::lock_guard<std::mutex> hold(registryLock);
  LiveBitmaps().insert(bitmap);
  return bitmap;
}

void DestroyHostBitmap(Bitmap* bitmap) {
  {
    std::lock_guard<std::mutex> hold(registryLock);
    if (!bitmap || LiveBitmaps().erase(bitmap) == 0) return;
  }
  HostBitmap* host = static_cast<HostBitmap*>(bitmap);
  delete host->owned;
  delete host;
}

BMM_Color_64* HostBitmapPixels(Bitmap* bitmap) {
  HostPixelStore* store = StoreOf(bitmap);
  return store ? store->Pixels() : nullptr;
}

float* HostBitmapDepth(Bitmap* bitmap) {
  HostPixelStore* store = StoreOf(bitmap);
  return store ? store->Depth() : nullptr;
}

int HostBitmapFill(Bitmap* bitmap, BMM_Color_64 colour) {
  HostPixelStore* store = StoreOf(bitmap);
  if (!store) return 0;
  store->Fill(colour);
  return 1;
}

int HostBitmapFillDepth(Bitmap* bitmap, float depth) {
  HostPixelStore* store = StoreOf(bitmap);
  return store && store->FillDepth(depth) ? 1 : 0;
}

int HostBitmapGuardsIntact(Bitmap* bitmap) {
  if (!bitmap) return 0;
  HostPixelStore* store = StoreOf(bitmap);
  if (store) return store->GuardsIntact() ? 1 : 0;
  return bitmap->store == nullptr ? 1 : 0;
}
