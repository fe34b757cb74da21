// The stand-in flt.dll: the image-filter base class's constructor, destructor and the inherited
// operations a filter does not override. Depends on nothing but the host declarations.
#include "host/filter.h"

#include <cmath>
#include <cstdint>

ImageFilter::ImageFilter()
    : sourceBitmap(nullptr), maskBitmap(nullptr), foregroundBitmap(nullptr), filterInfo(nullptr) {}

// The four words point at host-owned objects; the base part frees nothing.
ImageFilter::~ImageFilter() = default;

void ImageFilter::SetSource(Bitmap* bitmap) { sourceBitmap = bitmap; }
void ImageFilter::SetMask(Bitmap* bitmap) { maskBitmap = bitmap; }
void ImageFilter::SetForeground(Bitmap* bitmap) { foregroundBitmap = bitmap; }
void ImageFilter::SetFilterInfo(ImageFilterInfo* info) { filterInfo = info; }

// This host exposes no application interface object to filters.
Interface* ImageFilter::Max() { return nullptr; }

// a + (b - a) * fraction, rounded to the nearest int (halves away from a). The fraction is
// clamped to 0..1 and NaN counts as 0, so the result always lies between a and b; the
// arithmetic is in double, so no intermediate overflows whatever a and b are.
int ImageFilter::Lerp(int a, int b, float fraction) {
  double f = fraction;
  if (!(f > 0.0)) return a;  // also NaN
  if (f >= 1.0) return b;
  const double offset = (static_cast<double>(b) - a) * f;
  const double rounded = offset < 0 ? -std::floor(-offset + 0.5) : std::floor(offset + 0.5);
  return static_cast<int>(a + rounded);
}

// The same with the fraction given as step out of 255 (0 gives a, 255 gives b), step clamped to
// 0..255, exact integer arithmetic rounding halves away from a.
int ImageFilter::Lerp(int a, int b, int step) {
  if (step <= 0) return a;
  if (step >= 255) return b;
  const int64_t span = static_cast<int64_t>(b) - a;
  const int64_t scaled = span * step;
  const int64_t offset = scaled < 0 ? -((-scaled + 127) / 255) : (scaled + 127) / 255;
  return static_cast<int>(a + offset);
}

// Previews are not offered by this host; 0 tells the caller none was made.
int ImageFilter::CreatePreview(HWND, Bitmap**, int, int, int, float, Bitmap**, unsigned long) {
  return 0;
}
