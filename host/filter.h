// The host's image-filter base class (flt.dll) and class-descriptor interface, declared in the
// slot order the host calls them by. Declarations only.
//
// Calling shape: the host's compiler gives a virtual destructor one slot, g++ two, so slot 0 is
// an explicit DestroyFilter; an 8-byte result travels through a hidden pointer in the host's
// compiler, so ClassCode takes that pointer explicitly.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host/api.h"
#include "host/bitmap.h"

class ImageFilterInfo;
class Interface;

class FLT_API ImageFilter {
 public:
  ImageFilter();

  virtual void* DestroyFilter(unsigned flags) = 0;  // bit 0: also free the object
  virtual const char* DescriptionText() = 0;
  virtual const char* AuthorText() = 0;
  virtual const char* CopyrightText() = 0;
  virtual unsigned VersionNumber() = 0;
  virtual unsigned CapabilityFlags() = 0;
  virtual int ShowAboutBox(HWND parent) = 0;
  virtual int ShowSetupDialog(HWND parent) = 0;
  virtual void SetSource(Bitmap* bitmap);
  virtual void SetForeground(Bitmap* bitmap);
  virtual void SetMask(Bitmap* bitmap);
  virtual void SetFilterInfo(ImageFilterInfo* info);
  virtual int RenderFrame(HWND progressWindow) = 0;
  virtual Interface* Max();
  virtual int Lerp(int a, int b, float fraction);
  virtual int Lerp(int a, int b, int step);
  virtual unsigned SettingsSize() = 0;
  virtual int LoadSettings(const void* source) = 0;
  virtual int SaveSettings(void* destination) = 0;
  virtual int CreatePreview(HWND owner, Bitmap** image, int kind, int width, int height,
                            float scale, Bitmap** result, unsigned long flags);
  virtual int HostYesQuery() = 0;

 protected:
  ~ImageFilter();  // run by DestroyFilter

  // The four host-managed words. The host fills them; a filter only reads them.
  Bitmap* sourceBitmap;            // the frame: read, and overwritten with the result
  Bitmap* maskBitmap;
  Bitmap* foregroundBitmap;        // the pattern bitmap, when the host attaches one
  ImageFilterInfo* filterInfo;
};

// A class identifier: two 32-bit words.
struct ClassCodeValue {
  uint32_t first;
  uint32_t second;
};

// The host's class-descriptor interface. Slots 2, 3 and 8 to 14 keep their default results.
class ClassDesc {
 public:
  virtual int IsPublicClass() = 0;
  virtual void* CreateInstance(int loading) = 0;
  virtual intptr_t DefaultSlot2(intptr_t) { return 0; }
  virtual intptr_t DefaultSlot3(intptr_t) { return 0; }
  virtual const char* InternalClassName() = 0;
  virtual uint32_t SuperClassCode() = 0;
  virtual ClassCodeValue* ClassCode(ClassCodeValue* result) = 0;
  virtual const char* CategoryName() = 0;
  virtual intptr_t DefaultSlot8(intptr_t) { return 1; }
  virtual intptr_t DefaultSlot9() { return 0; }
  virtual void DefaultSlot10(intptr_t) {}
  virtual void DefaultSlot11(intptr_t) {}
  virtual intptr_t DefaultSlot12() { return 0; }
  virtual intptr_t DefaultSlot13(intptr_t) { return 0; }
  virtual intptr_t DefaultSlot14(intptr_t) { return 0; }

  // By value, for callers of our own.
  ClassCodeValue Code() {
    ClassCodeValue value;
    return *ClassCode(&value);
  }

 protected:
  ~ClassDesc() = default;
};
