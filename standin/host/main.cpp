// zavolhost: loads an image-filter plug-in the way the host renderer does, lists what it offers,
// renders a frame from a depth map through it, and opens its dialogs. Windows console program;
// reaches the plug-in only through its exports and interface tables.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/filter.h"
#include "standin/debugcapture.h"
#include "standin/host/images.h"
#include "standin/host/plugin_library.h"
#include "standin/host/progress.h"
#include "standin/host/slots.h"
#include "standin/hostbitmap.h"

namespace zavolhost {
namespace {

constexpr int kExitRendered = 0;
constexpr int kExitNotRendered = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: zavolhost info PLUGIN\n"
    "       zavolhost render PLUGIN --depth FILE.pfm [--pattern FILE.pam|FILE.pfm]\n"
    "                 [--settings BLOCK] [--stop-after-row N] -o OUT.pam\n"
    "       zavolhost setup PLUGIN [--settings BLOCK] [--save BLOCK] [--press ok|cancel]\n"
    "       zavolhost about PLUGIN [--press ok|cancel]\n";

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "zavolhost: %s\n", message.c_str());
  return code;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0 && i % 4 == 0) text += ' ';
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

// Control characters shown as C escapes, so that a captured debug text prints on one line.
std::string Escaped(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') out += "\\n";
    else if (*p == '\t') out += "\\t";
    else if (*p == '\\') out += "\\\\";
    else out += *p;
  }
  return out;
}

// Options after the command and the plug-in path: "--name value" pairs and "-o value".
class Options {
 public:
  bool Parse(int argc, char** argv, int first, const std::vector<std::string>& known,
             std::string* error) {
    for (int i = first; i < argc; ++i) {
      const std::string name = argv[i];
      bool isKnown = false;
      for (const std::string& k : known) isKnown = isKnown || k == name;
      if (!isKnown) {
        *error = "unknown option " + name;
        return false;
      }
      if (i + 1 >= argc) {
        *error = "option " + name + " needs a value";
        return false;
      }
      names_.push_back(name);
      values_.push_back(argv[++i]);
    }
    return true;
  }

  const char* Get(const char* name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) return values_[i].c_str();
    }
    return nullptr;
  }

 private:
  std::vector<std::string> names_;
  std::vector<std::string> values_;
};

bool LoadFilter(PluginLibrary& library, const char* path, ImageFilter** filter,
                std::string* error) {
  if (!library.Load(path, error)) return false;
  ClassDesc* descriptor = library.FindFilterClass();
  if (descriptor == nullptr) {
    *error = std::string(path) + " offers no image filter class";
    return false;
  }
  *filter = PluginLibrary::CreateFilter(descriptor);
  if (*filter == nullptr) {
    *error = "the filter could not be created";
    return false;
  }
  return true;
}

bool LoadSettingsBlock(ImageFilter* filter, const char* path, std::string* error) {
  std::vector<uint8_t> block;
  if (!ReadFileBytes(path, &block, error)) return false;
  if (block.size() != filter->SettingsSize()) {
    *error = std::string(path) + " holds " + std::to_string(block.size()) +
             " bytes; the filter's settings are " + std::to_string(filter->SettingsSize());
    return false;
  }
  if (!filter->LoadSettings(block.data())) {
    *error = "the filter refused the settings in " + std::string(path);
    return false;
  }
  return true;
}

std::vector<uint8_t> SavedSettings(ImageFilter* filter) {
  std::vector<uint8_t> block(filter->SettingsSize());
  if (!block.empty()) filter->SaveSettings(block.data());
  return block;
}

int Info(const char* path) {
  PluginLibrary library;
  std::string error;
  if (!library.Load(path, &error)) return Fail(error, kExitUsage);
  std::printf("library: %s\n", path);
  std::printf("description: %s\n", library.Description());
  const int classes = library.NumberClasses();
  std::printf("classes: %d\n", classes);
  std::printf("version: %lu\n", library.Version());
  for (int i = 0; i < classes; ++i) {
    ClassDesc* d = library.Descriptor(i);
    std::printf("class %d:\n", i);
    if (d == nullptr) {
      std::printf("  no descriptor\n");
      continue;
    }
    // Every operation by its position; the default ones get a zero word where they take one.
    ClassCodeValue code{};
    ClassCodeValue* codeResult = CallSlot<ClassCodeValue*>(d, kSlotClassCode, &code);
    std::printf("  slot 0 public class: %d\n", CallSlot<int>(d, kSlotIsPublicClass));
    std::printf("  slot 2 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 2, intptr_t{0})));
    std::printf("  slot 3 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 3, intptr_t{0})));
    std::printf("  slot 4 class name: %s\n", CallSlot<const char*>(d, kSlotInternalClassName));
    std::printf("  slot 5 super class code: 0x%08X\n",
                static_cast<unsigned>(CallSlot<uint32_t>(d, kSlotSuperClassCode)));
    std::printf("  slot 6 class code: 0x%08X 0x%08X%s\n", static_cast<unsigned>(code.first),
                static_cast<unsigned>(code.second),
                codeResult == &code ? "" : " (result pointer not returned)");
    std::printf("  slot 7 category: %s\n", CallSlot<const char*>(d, kSlotCategoryName));
    std::printf("  slot 8 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 8, intptr_t{0})));
    std::printf("  slot 9 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 9)));
    CallSlot<void>(d, 10, intptr_t{0});
    std::printf("  slot 10 default: returned\n");
    CallSlot<void>(d, 11, intptr_t{0});
    std::printf("  slot 11 default: returned\n");
    std::printf("  slot 12 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 12)));
    std::printf("  slot 13 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 13, intptr_t{0})));
    std::printf("  slot 14 default: %lld\n", static_cast<long long>(CallSlot<intptr_t>(d, 14, intptr_t{0})));

    ImageFilter* filter = PluginLibrary::CreateFilter(d);
    if (filter == nullptr) {
      std::printf("  slot 1 create instance: null\n");
      continue;
    }
    std::printf("  slot 1 create instance: a filter\n");
    std::printf("  filter description: %s\n", filter->DescriptionText());
    std::printf("  filter author: %s\n", filter->AuthorText());
    std::printf("  filter copyright: %s\n", filter->CopyrightText());
    std::printf("  filter version: %u\n", filter->VersionNumber());
    std::printf("  filter capability flags: %u\n", filter->CapabilityFlags());
    std::printf("  filter settings size: %u\n", filter->SettingsSize());
    std::printf("  filter default settings: %s\n", Hex(SavedSettings(filter)).c_str());
    std::printf("  filter host yes query: %d\n", filter->HostYesQuery());
    filter->DestroyFilter(1);
  }
  return kExitRendered;
}

int Render(int argc, char** argv) {
  Options options;
  std::string error;
  if (!options.Parse(argc, argv, 3,
                     {"--depth", "--pattern", "--settings", "--stop-after-row", "-o"}, &error)) {
    return Fail(error, kExitUsage);
  }
  const char* depthPath = options.Get("--depth");
  const char* outPath = options.Get("-o");
  if (depthPath == nullptr || outPath == nullptr) {
    return Fail("render needs --depth FILE.pfm and -o OUT.pam", kExitUsage);
  }
  int stopAtRow = -1;
  if (const char* stop = options.Get("--stop-after-row")) {
    char* end = nullptr;
    const long value = std::strtol(stop, &end, 10);
    if (end == stop || *end != '\0' || value < 0 || value > kMaxSide) {
      return Fail(std::string("--stop-after-row needs a row number, not ") + stop, kExitUsage);
    }
    stopAtRow = static_cast<int>(value);
  }

  DepthImage depth;
  if (!ReadDepthPfm(depthPath, &depth, &error)) return Fail(error, kExitUsage);
  ColourImage pattern;
  const char* patternPath = options.Get("--pattern");
  if (patternPath != nullptr && !ReadPatternImage(patternPath, &pattern, &error)) {
    return Fail(error, kExitUsage);
  }

  PluginLibrary library;
  ImageFilter* filter = nullptr;
  if (!LoadFilter(library, argv[2], &filter, &error)) return Fail(error, kExitUsage);
  const char* settingsPath = options.Get("--settings");
  if (settingsPath != nullptr && !LoadSettingsBlock(filter, settingsPath, &error)) {
    filter->DestroyFilter(1);
    return Fail(error, kExitUsage);
  }

  Bitmap* source = CreateHostBitmap(depth.width, depth.height, 1);
  Bitmap* patternBitmap =
      patternPath != nullptr ? CreateHostBitmap(pattern.width, pattern.height, 0) : nullptr;
  if (source == nullptr || (patternPath != nullptr && patternBitmap == nullptr)) {
    filter->DestroyFilter(1);
    if (source != nullptr) DestroyHostBitmap(source);
    if (patternBitmap != nullptr) DestroyHostBitmap(patternBitmap);
    return Fail("the host bitmaps could not be made", kExitUsage);
  }
  const std::size_t pixels = static_cast<std::size_t>(depth.width) * depth.height;
  if (pixels != 0) {
    std::memcpy(HostBitmapDepth(source), depth.depth.data(), pixels * sizeof(float));
    // The frame starts transparent black, so rows a stopped frame never reached are plain.
    std::memset(HostBitmapPixels(source), 0, pixels * sizeof(BMM_Color_64));
  }
  if (patternBitmap != nullptr && !pattern.samples.empty()) {
    std::memcpy(HostBitmapPixels(patternBitmap), pattern.samples.data(),
                pattern.samples.size() * sizeof(uint16_t));
  }

  filter->SetSource(source);
  if (patternBitmap != nullptr) filter->SetForeground(patternBitmap);

  ProgressState progress;
  progress.stopAtRow = stopAtRow;
  HWND window = CreateProgressWindow(GetModuleHandleA(nullptr), &progress);
  if (window == nullptr) {
    filter->DestroyFilter(1);
    DestroyHostBitmap(source);
    if (patternBitmap != nullptr) DestroyHostBitmap(patternBitmap);
    return Fail("the progress window could not be made", kExitUsage);
  }
  ClearDebugCapture();
  const int result = filter->RenderFrame(window);
  DestroyWindow(window);

  ColourImage output;
  output.width = depth.width;
  output.height = depth.height;
  output.samples.resize(pixels * 4);
  if (pixels != 0) {
    std::memcpy(output.samples.data(), HostBitmapPixels(source), pixels * sizeof(BMM_Color_64));
  }
  filter->DestroyFilter(1);
  DestroyHostBitmap(source);
  if (patternBitmap != nullptr) DestroyHostBitmap(patternBitmap);

  std::printf("debug: %s\n", Escaped(DebugCapture()).c_str());
  std::printf("progress reports: %d, abort queries: %d\n", progress.progressReports,
              progress.abortQueries);
  std::printf("result: %d\n", result);
  // A stopped frame is still written, so that what it reached can be looked at.
  if (!WriteFileAtomically(outPath, EncodePam(output), &error)) return Fail(error, kExitUsage);
  std::printf("wrote %s (%d x %d)\n", outPath, output.width, output.height);
  if (result != 1) {
    return Fail(progress.stopRequested ? "the frame was stopped before its last row"
                                       : "the filter did not render the frame",
                kExitNotRendered);
  }
  return kExitRendered;
}

// Pressing a dialog button for an unattended run: a thread timer fires inside the dialog's own
// modal loop, finds the dialog and clicks the button.
WORD pressCommand = 0;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char className[16];
  if (GetClassNameA(window, className, sizeof className) && std::strcmp(className, "#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK PressTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;  // not open yet: the next tick tries again
  KillTimer(nullptr, timer);
  if (HWND button = GetDlgItem(dialog, pressCommand)) {
    SendMessageA(button, BM_CLICK, 0, 0);
  } else {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(pressCommand, BN_CLICKED), 0);
  }
}

bool ArmPress(const char* press, std::string* error) {
  if (press == nullptr) return true;
  if (std::strcmp(press, "ok") == 0) pressCommand = IDOK;
  else if (std::strcmp(press, "cancel") == 0) pressCommand = IDCANCEL;
  else {
    *error = std::string("--press takes ok or cancel, not ") + press;
    return false;
  }
  SetTimer(nullptr, 0, 100, PressTimer);
  return true;
}

int Dialog(int argc, char** argv, bool setup) {
  Options options;
  std::string error;
  const std::vector<std::string> known =
      setup ? std::vector<std::string>{"--settings", "--save", "--press"}
            : std::vector<std::string>{"--press"};
  if (!options.Parse(argc, argv, 3, known, &error)) return Fail(error, kExitUsage);
  PluginLibrary library;
  ImageFilter* filter = nullptr;
  if (!LoadFilter(library, argv[2], &filter, &error)) return Fail(error, kExitUsage);
  const char* settingsPath = options.Get("--settings");
  if (settingsPath != nullptr && !LoadSettingsBlock(filter, settingsPath, &error)) {
    filter->DestroyFilter(1);
    return Fail(error, kExitUsage);
  }
  if (!ArmPress(options.Get("--press"), &error)) {
    filter->DestroyFilter(1);
    return Fail(error, kExitUsage);
  }
  const int result = setup ? filter->ShowSetupDialog(nullptr) : filter->ShowAboutBox(nullptr);
  std::printf("%s result: %d\n", setup ? "setup dialog" : "about box", result);
  int code = result == -1 ? kExitNotRendered : kExitRendered;
  if (setup) {
    const std::vector<uint8_t> block = SavedSettings(filter);
    std::printf("settings: %s\n", Hex(block).c_str());
    const char* savePath = options.Get("--save");
    if (savePath != nullptr && result == 1) {
      if (WriteFileAtomically(savePath, block, &error)) {
        std::printf("saved %s\n", savePath);
      } else {
        code = Fail(error, kExitUsage);
      }
    }
  }
  filter->DestroyFilter(1);
  if (result == -1) return Fail("the dialog could not be created", code);
  return code;
}

}  // namespace
}  // namespace zavolhost

int main(int argc, char** argv) {
  using namespace zavolhost;
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "info" && argc == 3) return Info(argv[2]);
  if (command == "render") return Render(argc, argv);
  if (command == "setup") return Dialog(argc, argv, true);
  if (command == "about") return Dialog(argc, argv, false);
  std::fputs(kUsage, stderr);
  return kExitUsage;
}
