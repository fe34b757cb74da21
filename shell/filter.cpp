// The filter object: identity, dialogs, persistence, and RenderFrame as a thin adapter that
// hands the host's bitmaps, window and core functions to the portable renderer. Windows only;
// no pixel loops here, and the host's base words are only read.
#include "shell/filter.h"

#include <cstddef>
#include <ctime>
#include <new>

#include "dialogs/dialogs.h"
#include "host/core.h"
#include "host/util.h"
#include "render/frame.h"
#include "shell/frame_host.h"
#include "shell/exports.h"

static_assert(sizeof(BMM_Color_64) == sizeof(zavol::Pixel64), "host and engine pixels agree");
static_assert(offsetof(BMM_Color_64, r) == offsetof(zavol::Pixel64, r), "host pixel layout");
static_assert(offsetof(BMM_Color_64, g) == offsetof(zavol::Pixel64, g), "host pixel layout");
static_assert(offsetof(BMM_Color_64, b) == offsetof(zavol::Pixel64, b), "host pixel layout");
static_assert(offsetof(BMM_Color_64, a) == offsetof(zavol::Pixel64, a), "host pixel layout");

namespace {

constexpr UINT kProgressMessage = 1056;
constexpr UINT kAbortQueryMessage = 1057;
constexpr unsigned kCapabilityFlags = 14;  // bits 1, 2 and 3; their meaning is the host's

// One frame's view of the host: the source bitmap (read for depth, written row by row), the
// optional pattern bitmap and the progress window.
class HostFrame final : public zavol::FrameHost {
 public:
  HostFrame(Bitmap* source, Bitmap* pattern, HWND progressWindow)
      : source_(source), pattern_(pattern), progressWindow_(progressWindow) {}

  const float* DepthChannel() override {
    int type = 0;  // what the store writes here is not needed
    return static_cast<const float*>(source_->ChannelData(kChannelDepth, &type));
  }
  int Height() override { return source_->Height(); }
  int Width() override { return source_->Width(); }

  void ScreenSize(int* width, int* height) override {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
  }

  uint32_t CalendarTime() override { return static_cast<uint32_t>(std::time(nullptr)); }

  bool ProgressAndAbortQuery(int y, int lastRow) override {
    SendMessageA(progressWindow_, kProgressMessage, static_cast<WPARAM>(y),
                 static_cast<LPARAM>(lastRow));
    // The window answers through this 32-bit flag, not through the message result.
    int32_t abortFlag = 0;
    SendMessageA(progressWindow_, kAbortQueryMessage, 0, reinterpret_cast<LPARAM>(&abortFlag));
    return abortFlag != 0;
  }

  bool HasPattern() override { return pattern_ != nullptr; }

  void ReadPatternPixel(int x, int y, zavol::Pixel64* slot) override {
    pattern_->ReadPixels(x, y, 1, reinterpret_cast<BMM_Color_64*>(slot));
  }

  // The host's signature takes a writable run but only reads it.
  void PutPixels(int x, int y, int count, const zavol::Pixel64* pixels) override {
    source_->PutPixels(x, y, count,
                       reinterpret_cast<BMM_Color_64*>(const_cast<zavol::Pixel64*>(pixels)));
  }

  void RgbToHsv(uint32_t rgb, int* h, int* s, int* v) override { RGBtoHSV(rgb, h, s, v); }
  uint32_t HsvToRgb(int h, int s, int v) override {
    return static_cast<uint32_t>(HSVtoRGB(h, s, v));
  }

  void DebugLine(double farthestDepth) override { DebugPrint("\nminz=%f", farthestDepth); }

 private:
  Bitmap* source_;
  Bitmap* pattern_;
  HWND progressWindow_;
};

}  // namespace

StereogramFilter::StereogramFilter() { SetDefaultSettings(settings_); }

StereogramFilter::~StereogramFilter() = default;

// The host's deleting destructor in one slot: bit 0 says whether the memory goes too.
void* StereogramFilter::DestroyFilter(unsigned flags) {
  this->~StereogramFilter();
  if (flags & 1u) ::operator delete(this);
  return this;
}

const char* StereogramFilter::DescriptionText() { return "ZAVOL Generator"; }
const char* StereogramFilter::AuthorText() { return "the zavol authors"; }
const char* StereogramFilter::CopyrightText() { return "Copyright (c) 1997 the zavol authors"; }
unsigned StereogramFilter::VersionNumber() { return kFilterVersion; }
unsigned StereogramFilter::CapabilityFlags() { return kCapabilityFlags; }

int StereogramFilter::ShowAboutBox(HWND parent) {
  return static_cast<int>(RunAboutBox(ModuleInstance, parent, reinterpret_cast<LPARAM>(this)));
}

int StereogramFilter::ShowSetupDialog(HWND parent) {
  return static_cast<int>(
      RunSetupDialog(ModuleInstance, parent, reinterpret_cast<LPARAM>(this), settings_));
}

int StereogramFilter::RenderFrame(HWND progressWindow) {
  if (sourceBitmap == nullptr) return 0;
  HostFrame frame(sourceBitmap, foregroundBitmap, progressWindow);
  // Nothing may unwind into the host's frame loop.
  try {
    return zavol::RenderStereogram(settings_, frame);
  } catch (...) {
    return 0;
  }
}

unsigned StereogramFilter::SettingsSize() { return ::SettingsSize(); }
int StereogramFilter::LoadSettings(const void* source) { return ::LoadSettings(settings_, source); }
int StereogramFilter::SaveSettings(void* destination) {
  return ::SaveSettings(settings_, destination);
}
int StereogramFilter::HostYesQuery() { return 1; }
