// Host-side bitmaps of the stand-in bmm.dll: how the host program and the tests make, fill and
// inspect the bitmaps they hand to a filter. Never included by the plug-in.
#pragma once

#include "host/bitmap.h"

// How a host bitmap's store behaves: PutPixels clips a run to the image (the part left of
// column 0 or past the last column is dropped, a row outside stores nothing); ReadPixels
// refuses (0, nothing written) any run not wholly inside the image.
//
// Element type written through ChannelData's type argument: 32-bit IEEE reals, or none.
enum : int { kChannelTypeNone = 0, kChannelTypeReal32 = 4 };

// A bitmap of width x height pixels (opaque black) and, when withDepth is non-zero, a depth
// channel (all 0). A zero dimension gives a bitmap without pixels (it reports 0 x 0 and no
// channel); a negative dimension, one above 65535 or a failed allocation gives null.
BMM_API Bitmap* CreateHostBitmap(int width, int height, int withDepth);
// Frees a bitmap made by CreateHostBitmap; null and any other pointer are ignored.
BMM_API void DestroyHostBitmap(Bitmap* bitmap);

// Row-major pixels (index y * width + x) or depth reals of a host bitmap; null when it has none.
BMM_API BMM_Color_64* HostBitmapPixels(Bitmap* bitmap);
BMM_API float* HostBitmapDepth(Bitmap* bitmap);

// Sets every pixel, or every depth value, of a host bitmap; 1 when done, 0 without pixels/depth.
BMM_API int HostBitmapFill(Bitmap* bitmap, BMM_Color_64 colour);
BMM_API int HostBitmapFillDepth(Bitmap* bitmap, float depth);

// 1 while the guard zones just before and after the pixel and depth arrays still hold their
// fill pattern, i.e. nothing has written outside the image through a pointer; 0 otherwise or
// for a bitmap that is not a host bitmap. A bitmap without pixels answers 1.
BMM_API int HostBitmapGuardsIntact(Bitmap* bitmap);
