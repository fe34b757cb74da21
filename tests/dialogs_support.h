// What the dialog tests share: zavol.dlf loaded as the host loads it, a modal-dialog driver
// that acts from inside the dialog's own loop, a log of the plug-in's calls into core.dll (by
// patching the plug-in's import table), control helpers and window pictures. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "host/core.h"
#include "host/filter.h"
#include "render/settings.h"

namespace dlgtest {

std::string BinDir();

// zavol.dlf, its class descriptor and filters made through it.
class Plugin {
 public:
  Plugin();
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  HMODULE Module() const { return module_; }
  ClassDesc* Descriptor() const { return descriptor_; }
  ImageFilter* NewFilter();  // null when the descriptor gives none

 private:
  HMODULE module_ = nullptr;
  ClassDesc* descriptor_ = nullptr;
};

// A filter destroyed at scope end, with its record as a block of bytes.
class Filter {
 public:
  explicit Filter(Plugin& plugin) : filter_(plugin.NewFilter()) {}
  ~Filter();
  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;

  ImageFilter* operator->() const { return filter_; }
  explicit operator bool() const { return filter_ != nullptr; }
  StereogramSettings Saved() const;
  void Load(const StereogramSettings& settings) const;

 private:
  ImageFilter* filter_;
};

// A top-level window to own the dialogs, off-centre on the screen so centring shows.
class OwnerWindow {
 public:
  OwnerWindow();
  ~OwnerWindow();
  HWND Handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Outcome of one modal run.
struct ModalRun {
  INT_PTR result = -2;        // what the opening call returned
  bool scriptRan = false;     // the dialog appeared and the script acted on it
  bool forcedClosed = false;  // the script left the dialog open; the driver cancelled it
};

// Calls `open` (which runs a modal dialog) and, from a thread timer dispatched by the dialog's
// own loop, hands the dialog to `script`, which is expected to end it. A dialog left open is
// cancelled after a second so that a faulty procedure fails the test instead of hanging it.
ModalRun RunModal(const std::function<INT_PTR()>& open, const std::function<void(HWND)>& script);

// Controls.
HWND Item(HWND dialog, int id);
void Click(HWND dialog, int id);  // BM_CLICK: the button changes its state and notifies
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
std::string Text(HWND dialog, int id);
std::string ClassOf(HWND dialog, int id);
// Types into the real edit control inside a "CustEdit", key by key, then moves the focus on.
void Type(HWND dialog, int editId, const char* keys);
COLORREF SwatchColour(HWND dialog, int id);
void SetSwatchColour(HWND dialog, int id, COLORREF colour);
void PostKey(HWND dialog, int focusId, WPARAM key);  // focus a control, post a key press to it

// The plug-in's calls into core.dll for as long as the object lives: each call as one line,
// with reals as their bit patterns, and the getters called on the objects it handed out.
// Spinner ids and swatch ids in `withholdObjects` get no object (the setup call returns null).
class CoreCallLog {
 public:
  explicit CoreCallLog(HMODULE plugin, std::set<int> withholdObjects = {});
  ~CoreCallLog();
  CoreCallLog(const CoreCallLog&) = delete;
  CoreCallLog& operator=(const CoreCallLog&) = delete;

  const std::vector<std::string>& Lines() const;
  void Clear();
  int PatchedSlots() const { return static_cast<int>(patches_.size()); }
  // Lines that start with `prefix`, in order.
  std::vector<std::string> Matching(const std::string& prefix) const;

 private:
  struct Patch {
    void** slot;
    void* original;
  };
  void PatchAll(HMODULE plugin, void* target, void* replacement);
  std::vector<Patch> patches_;
};

// The window with its frame and caption as 24-bit pixels, rows top down, 3 bytes per pixel
// (blue, green, red) with each row padded to 4 bytes, as in a BMP.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  int DistinctColours() const;
};
Picture Capture(HWND window);
bool WriteBmp(const Picture& picture, const std::string& path);

}  // namespace dlgtest
