// What the plug-in tests share: the built zavol.dlf loaded as the host loads it, the filter's
// slot positions, host bitmaps, a progress window that records what it is sent, and running
// zavolhost.exe as a process. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/filter.h"
#include "render/frame.h"
#include "standin/host/slots.h"

namespace zavoltest {

// Positions of the filter's operations in its table.
enum FilterSlot : std::size_t {
  kSlotDestroyFilter = 0,
  kSlotDescriptionText,
  kSlotAuthorText,
  kSlotCopyrightText,
  kSlotVersionNumber,
  kSlotCapabilityFlags,
  kSlotShowAboutBox,
  kSlotShowSetupDialog,
  kSlotSetSource,
  kSlotSetForeground,
  kSlotSetMask,
  kSlotSetFilterInfo,
  kSlotRenderFrame,
  kSlotMax,
  kSlotLerpFloat,
  kSlotLerpInt,
  kSlotSettingsSize,
  kSlotLoadSettings,
  kSlotSaveSettings,
  kSlotCreatePreview,
  kSlotHostYesQuery,
};

// Folder of the running test program, which also holds zavol.dlf, zavolhost.exe and the DLLs.
std::string BinDir();

// zavol.dlf loaded with LoadLibrary, its exports resolved by name.
class PluginModule {
 public:
  PluginModule();
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool Loaded() const { return module_ != nullptr && classDesc != nullptr; }
  HMODULE Handle() const { return module_; }

  const char* (*description)() = nullptr;
  int (*numberClasses)() = nullptr;
  ClassDesc* (*classDesc)(int) = nullptr;
  unsigned long (*version)() = nullptr;

  // A new filter through descriptor slot 1, or null.
  void* CreateFilter();

 private:
  HMODULE module_ = nullptr;
};

// Slot calls on a filter object.
template <typename Result, typename... Args>
Result Slot(void* filter, FilterSlot slot, Args... args) {
  return zavolhost::CallSlot<Result>(filter, slot, args...);
}

// One message that reached the recording window.
struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  int32_t flagAtQuery;  // for the abort query: the flag's value when it arrived
};

// A window of a test class that records the progress and abort messages and sets the abort flag
// once the query for row stopAtRow arrives (-1: never).
class RecordingWindow {
 public:
  explicit RecordingWindow(int stopAtRow = -1);
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  HWND Handle() const { return window_; }
  const std::vector<Received>& Log() const { return log_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  int stopAtRow_;
  int lastProgressRow_ = -1;
  std::vector<Received> log_;
};

// A window whose procedure handles nothing (both messages go to DefWindowProc).
class SilentWindow {
 public:
  SilentWindow();
  ~SilentWindow();
  HWND Handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Runs a command line, capturing standard output; returns the exit code, or -1 when the
// process could not be started.
int RunProcess(const std::string& commandLine, std::string* output);

// Bitmaps of the stand-in host with the given depth and pixels copied in.
Bitmap* MakeSourceBitmap(int width, int height, const std::vector<float>& depth,
                         zavol::Pixel64 fill);
Bitmap* MakePatternBitmap(int width, int height, const std::vector<zavol::Pixel64>& pixels);
std::vector<zavol::Pixel64> BitmapPixels(Bitmap* bitmap, int width, int height);

}  // namespace zavoltest
