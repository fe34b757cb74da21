// The dialog tests' shared machinery: loading zavol.dlf, driving modal dialogs from a thread
// timer, logging the plug-in's core.dll calls through its import table, window pictures.
// Windows only; test code, never linked into the plug-in.
#include "tests/dialogs_support.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "standin/controls.h"

namespace dlgtest {

std::string BinDir() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, length);
  const std::size_t slash = text.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : text.substr(0, slash);
}

// ---- the plug-in and its filters --------------------------------------------------------------

Plugin::Plugin() {
  module_ = LoadLibraryA((BinDir() + "\\zavol.dlf").c_str());
  if (!module_) return;
  using LibClassDescFunction = ClassDesc* (*)(int);
  // Through void*: the export's real type is not FARPROC's.
  auto libClassDesc = reinterpret_cast<LibClassDescFunction>(
      reinterpret_cast<void*>(GetProcAddress(module_, "LibClassDesc")));
  if (libClassDesc) descriptor_ = libClassDesc(0);
}

Plugin::~Plugin() {
  if (module_) FreeLibrary(module_);
}

ImageFilter* Plugin::NewFilter() {
  return descriptor_ ? static_cast<ImageFilter*>(descriptor_->CreateInstance(0)) : nullptr;
}

Filter::~Filter() {
  if (filter_) filter_->DestroyFilter(1);
}

StereogramSettings Filter::Saved() const {
  StereogramSettings settings;
  std::memset(&settings, 0xA5, sizeof settings);
  filter_->SaveSettings(&settings);
  return settings;
}

void Filter::Load(const StereogramSettings& settings) const { filter_->LoadSettings(&settings); }

OwnerWindow::OwnerWindow() {
  window_ = CreateWindowExA(0, "STATIC", "dialog owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30,
                            560, 520, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

OwnerWindow::~OwnerWindow() {
  if (window_) DestroyWindow(window_);
}

// ---- the modal driver -------------------------------------------------------------------------

namespace {

constexpr UINT kTickMs = 25;
constexpr int kTicksToAppear = 200;
constexpr int kTicksToClose = 40;

struct Driver {
  const std::function<void(HWND)>* script;
  ModalRun* run;
  int ticksWaiting = 0;
  int ticksAfterScript = 0;
};
Driver* activeDriver = nullptr;

struct Search {
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM searchWord) {
  Search* search = reinterpret_cast<Search*>(searchWord);
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, "#32770") == 0 && (!search->visibleOnly || IsWindowVisible(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND OpenDialog(bool visibleOnly = true) {
  Search search{visibleOnly, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Driver* driver = activeDriver;
  if (!driver) return;
  HWND dialog = OpenDialog();
  if (!driver->run->scriptRan) {
    if (!dialog) {
      // A dialog that never shows itself is ended rather than waited for.
      HWND hidden = ++driver->ticksWaiting > kTicksToAppear ? OpenDialog(false) : nullptr;
      if (hidden) {
        driver->run->forcedClosed = true;
        EndDialog(hidden, -3);
      }
      return;
    }
    driver->run->scriptRan = true;
    (*driver->script)(dialog);
    return;
  }
  if (dialog && ++driver->ticksAfterScript > kTicksToClose) {
    driver->run->forcedClosed = true;
    EndDialog(dialog, -3);
  }
}

}  // namespace

ModalRun RunModal(const std::function<INT_PTR()>& open, const std::function<void(HWND)>& script) {
  ModalRun run;
  Driver driver{&script, &run};
  activeDriver = &driver;
  const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
  run.result = open();
  KillTimer(nullptr, timer);
  activeDriver = nullptr;
  MSG pending;
  while (PeekMessageA(&pending, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
  }
  return run;
}

// ---- controls ---------------------------------------------------------------------------------

HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

void Click(HWND dialog, int id) { SendMessageA(Item(dialog, id), BM_CLICK, 0, 0); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != FALSE; }

std::string Text(HWND dialog, int id) {
  char text[256] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string ClassOf(HWND dialog, int id) {
  char name[64] = {};
  GetClassNameA(Item(dialog, id), name, sizeof name);
  return name;
}

void Type(HWND dialog, int editId, const char* keys) {
  HWND inner = GetWindow(Item(dialog, editId), GW_CHILD);
  SetFocus(inner);
  SendMessageA(inner, EM_SETSEL, 0, -1);
  SendMessageA(inner, WM_CHAR, VK_BACK, 0);
  for (const char* key = keys; *key; ++key) {
    SendMessageA(inner, WM_CHAR, static_cast<BYTE>(*key), 1);
  }
  SetFocus(Item(dialog, IDCANCEL));
}

COLORREF SwatchColour(HWND dialog, int id) {
  return static_cast<COLORREF>(SendMessageA(Item(dialog, id), kSwatchGetColourMessage, 0, 0));
}

void SetSwatchColour(HWND dialog, int id, COLORREF colour) {
  SendMessageA(Item(dialog, id), kSwatchSetColourMessage, colour, 0);
}

// Posted, so the dialog's own loop meets it and the dialog manager translates it.
void PostKey(HWND dialog, int focusId, WPARAM key) {
  HWND target = Item(dialog, focusId);
  SetFocus(target);
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// ---- the core.dll call log --------------------------------------------------------------------

namespace {

std::vector<std::string> callLines;
std::set<int> withheld;
HMODULE loggedPlugin = nullptr;

void Log(const std::string& line) { callLines.push_back(line); }

std::string Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(bits));
  return text;
}

class SpinnerProxy final : public ISpinnerControl {
 public:
  SpinnerProxy(ISpinnerControl* real, int id) : real_(real), id_(id) {}
  float FloatValue() override {
    Log("FloatValue " + std::to_string(id_));
    return real_->FloatValue();
  }
  int IntValue() override {
    Log("IntValue " + std::to_string(id_));
    return real_->IntValue();
  }
  ISpinnerControl* Real() const { return real_; }
  int Id() const { return id_; }

 private:
  ISpinnerControl* real_;
  int id_;
};

class SwatchProxy final : public IColorSwatch {
 public:
  SwatchProxy(IColorSwatch* real, int id) : real_(real), id_(id) {}
  COLORREF Colour() override {
    Log("Colour " + std::to_string(id_));
    return real_->Colour();
  }
  IColorSwatch* Real() const { return real_; }
  int Id() const { return id_; }

 private:
  IColorSwatch* real_;
  int id_;
};

std::map<ISpinnerControl*, SpinnerProxy*> spinnerProxies;
std::map<IColorSwatch*, SwatchProxy*> swatchProxies;

bool InsidePlugin(const void* address) {
  if (!loggedPlugin) return false;
  const auto* base = reinterpret_cast<const BYTE*>(loggedPlugin);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto* at = static_cast<const BYTE*>(address);
  return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

int HookCenterWindow(HWND child, HWND parent) {
  Log(std::string("CenterWindow ") + (parent == GetParent(child) ? "over its parent" : "elsewhere"));
  return CenterWindow(child, parent);
}

ISpinnerControl* Wrap(ISpinnerControl* real, int spinId) {
  if (!real) return nullptr;
  auto* proxy = new SpinnerProxy(real, spinId);
  spinnerProxies[proxy] = proxy;
  return proxy;
}

ISpinnerControl* HookSetupFloatSpinner(HWND dialog, int spinId, int editId, float minValue,
                                       float maxValue, float value, float step) {
  Log("SetupFloatSpinner " + std::to_string(spinId) + " " + std::to_string(editId) + " " +
      Bits(minValue) + " " + Bits(maxValue) + " " + Bits(value) + " " + Bits(step));
  if (withheld.count(spinId)) return nullptr;
  return Wrap(SetupFloatSpinner(dialog, spinId, editId, minValue, maxValue, value, step), spinId);
}

ISpinnerControl* HookSetupIntSpinner(HWND dialog, int spinId, int editId, int minValue,
                                     int maxValue, int value) {
  Log("SetupIntSpinner " + std::to_string(spinId) + " " + std::to_string(editId) + " " +
      std::to_string(minValue) + " " + std::to_string(maxValue) + " " + std::to_string(value));
  if (withheld.count(spinId)) return nullptr;
  return Wrap(SetupIntSpinner(dialog, spinId, editId, minValue, maxValue, value), spinId);
}

IColorSwatch* HookGetIColorSwatch(HWND control, unsigned long colour, char* name) {
  const int id = GetDlgCtrlID(control);
  char colourText[16];
  std::snprintf(colourText, sizeof colourText, "%06lx", colour);
  Log("GetIColorSwatch " + std::to_string(id) + " " + colourText + " " + (name ? name : "(null)") +
      (InsidePlugin(name) ? " static" : " not-static"));
  if (withheld.count(id)) return nullptr;
  IColorSwatch* real = GetIColorSwatch(control, colour, name);
  if (!real) return nullptr;
  auto* proxy = new SwatchProxy(real, id);
  swatchProxies[proxy] = proxy;
  return proxy;
}

void HookReleaseISpinner(ISpinnerControl* spinner) {
  auto found = spinnerProxies.find(spinner);
  if (found == spinnerProxies.end()) {
    Log(spinner ? "ReleaseISpinner unknown" : "ReleaseISpinner null");
    return;
  }
  SpinnerProxy* proxy = found->second;
  Log("ReleaseISpinner " + std::to_string(proxy->Id()));
  spinnerProxies.erase(found);
  ReleaseISpinner(proxy->Real());
  delete proxy;
}

void HookReleaseIColorSwatch(IColorSwatch* swatch) {
  auto found = swatchProxies.find(swatch);
  if (found == swatchProxies.end()) {
    Log(swatch ? "ReleaseIColorSwatch unknown" : "ReleaseIColorSwatch null");
    return;
  }
  SwatchProxy* proxy = found->second;
  Log("ReleaseIColorSwatch " + std::to_string(proxy->Id()));
  swatchProxies.erase(found);
  ReleaseIColorSwatch(proxy->Real());
  delete proxy;
}

}  // namespace

CoreCallLog::CoreCallLog(HMODULE plugin, std::set<int> withholdObjects) {
  callLines.clear();
  withheld = std::move(withholdObjects);
  loggedPlugin = plugin;
  // With dllimport, taking a function's address reads this program's own import slot, which
  // holds the same address the plug-in's slot holds.
  PatchAll(plugin, reinterpret_cast<void*>(&CenterWindow),
           reinterpret_cast<void*>(&HookCenterWindow));
  PatchAll(plugin, reinterpret_cast<void*>(&SetupFloatSpinner),
           reinterpret_cast<void*>(&HookSetupFloatSpinner));
  PatchAll(plugin, reinterpret_cast<void*>(&SetupIntSpinner),
           reinterpret_cast<void*>(&HookSetupIntSpinner));
  PatchAll(plugin, reinterpret_cast<void*>(&GetIColorSwatch),
           reinterpret_cast<void*>(&HookGetIColorSwatch));
  PatchAll(plugin, reinterpret_cast<void*>(&ReleaseISpinner),
           reinterpret_cast<void*>(&HookReleaseISpinner));
  PatchAll(plugin, reinterpret_cast<void*>(&ReleaseIColorSwatch),
           reinterpret_cast<void*>(&HookReleaseIColorSwatch));
}

CoreCallLog::~CoreCallLog() {
  for (const Patch& patch : patches_) {
    DWORD old;
    VirtualProtect(patch.slot, sizeof(void*), PAGE_READWRITE, &old);
    *patch.slot = patch.original;
    VirtualProtect(patch.slot, sizeof(void*), old, &old);
  }
  withheld.clear();
  loggedPlugin = nullptr;
}

const std::vector<std::string>& CoreCallLog::Lines() const { return callLines; }

void CoreCallLog::Clear() { callLines.clear(); }

std::vector<std::string> CoreCallLog::Matching(const std::string& prefix) const {
  std::vector<std::string> lines;
  for (const std::string& line : callLines) {
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
  }
  return lines;
}

void CoreCallLog::PatchAll(HMODULE plugin, void* target, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(plugin);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; descriptor->Name != 0; ++descriptor) {
    auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
    for (; thunk->u1.Function != 0; ++thunk) {
      void** slot = reinterpret_cast<void**>(&thunk->u1.Function);
      if (*slot != target) continue;
      DWORD old;
      if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) continue;
      patches_.push_back({slot, *slot});
      *slot = replacement;
      VirtualProtect(slot, sizeof(void*), old, &old);
    }
  }
}

// ---- pictures ---------------------------------------------------------------------------------

int Picture::DistinctColours() const {
  std::set<uint32_t> colours;
  const int stride = (width * 3 + 3) & ~3;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      colours.insert(row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16));
    }
  }
  return static_cast<int>(colours.size());
}

Picture Capture(HWND window) {
  Picture picture;
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT bounds;
  GetWindowRect(window, &bounds);
  const int width = bounds.right - bounds.left;
  const int height = bounds.bottom - bounds.top;
  if (width <= 0 || height <= 0) return picture;
  HDC windowDc = GetWindowDC(window);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ previous = SelectObject(memoryDc, dib);
    BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    const auto* first = static_cast<const uint8_t*>(bits);
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(first, first + stride * height);
    SelectObject(memoryDc, previous);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memoryDc);
  ReleaseDC(window, windowDc);
  return picture;
}

bool WriteBmp(const Picture& picture, const std::string& path) {
  const std::size_t stride = (static_cast<std::size_t>(picture.width) * 3 + 3) & ~std::size_t{3};
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = picture.width;
  header.biHeight = -picture.height;  // top-down, as captured
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(stride * picture.height);
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + header.biSizeImage;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&header, sizeof header, 1, out) == 1 &&
                 std::fwrite(picture.pixels.data(), 1, picture.pixels.size(), out) ==
                     picture.pixels.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace dlgtest
