// The host's bitmaps (bmm.dll) as the plug-in sees them: 64-bit pixels, the pixel store with its
// two virtual operations, and the accessors compiled into the plug-in. Declarations only.
#pragma once

#include <cstdint>

#include "host/api.h"

struct BMM_Color_64 {
  uint16_t r, g, b, a;  // 65535 is full intensity and opacity
};

// Channel codes a pixel store can hand out.
enum : int { kChannelDepth = 1 };  // width x height 32-bit reals, row-major, rows back to back

class BMM_API BitmapInfo {
 public:
  unsigned short Width() const;
  unsigned short Height() const;

  unsigned short width = 0;
  unsigned short height = 0;
};

class PixelStore {
 public:
  // Reads count pixels of row y from column x into pixels; 1 when read, 0 when refused.
  virtual int ReadPixels(int x, int y, int count, BMM_Color_64* pixels) = 0;
  // The channel with the given code, or null; *type receives the channel's element type.
  virtual void* ChannelData(int code, int* type) = 0;

  BitmapInfo info;

 protected:
  ~PixelStore() = default;
};

class BMM_API Bitmap {
 public:
  // Stores count pixels into row y from column x; the part of the run outside the image is
  // dropped. Returns 1 when any pixel was stored.
  int PutPixels(int x, int y, int count, BMM_Color_64* pixels);

  // Accessors compiled into the caller, forwarding to the pixel store; a bitmap without pixels
  // answers 0, 0, 0 and null.
  int Width() { return store ? store->info.Width() : 0; }
  int Height() { return store ? store->info.Height() : 0; }
  int ReadPixels(int x, int y, int count, BMM_Color_64* pixels) {
    return store ? store->ReadPixels(x, y, count, pixels) : 0;
  }
  void* ChannelData(int code, int* type) { return store ? store->ChannelData(code, type) : nullptr; }

  PixelStore* store = nullptr;  // null while the bitmap has no pixels
};
