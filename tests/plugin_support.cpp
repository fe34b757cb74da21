// Shared helpers of the plug-in tests. Windows only.
#include "tests/plugin_support.h"

#include <cstring>

#include "standin/hostbitmap.h"

namespace zavoltest {
namespace {

template <typename Function>
void Resolve(HMODULE module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::string BinDir() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, length);
  const std::size_t slash = text.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : text.substr(0, slash);
}

PluginModule::PluginModule() {
  module_ = LoadLibraryA((BinDir() + "\\zavol.dlf").c_str());
  if (module_ == nullptr) return;
  Resolve(module_, "LibDescription", &description);
  Resolve(module_, "LibNumberClasses", &numberClasses);
  Resolve(module_, "LibClassDesc", &classDesc);
  Resolve(module_, "LibVersion", &version);
}

PluginModule::~PluginModule() {
  if (module_ != nullptr) FreeLibrary(module_);
}

void* PluginModule::CreateFilter() {
  ClassDesc* descriptor = classDesc != nullptr ? classDesc(0) : nullptr;
  if (descriptor == nullptr) return nullptr;
  return zavolhost::CallSlot<void*>(descriptor, 1, 0);
}

RecordingWindow::RecordingWindow(int stopAtRow) : stopAtRow_(stopAtRow) {
  static const char kClass[] = "ZavolTestRecorder";
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = Proc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClass;
  RegisterClassA(&windowClass);  // already there after the first window
  window_ = CreateWindowExA(0, kClass, "recorder", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
}

RecordingWindow::~RecordingWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK RecordingWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && (message == 1056 || message == 1057)) {
    Received received{message, wParam, lParam, 0};
    if (message == 1056) self->lastProgressRow_ = static_cast<int>(wParam);
    if (message == 1057 && lParam != 0) {
      int32_t* flag = reinterpret_cast<int32_t*>(lParam);
      received.flagAtQuery = *flag;
      if (self->stopAtRow_ >= 0 && self->lastProgressRow_ >= self->stopAtRow_) *flag = 1;
    }
    self->log_.push_back(received);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

SilentWindow::SilentWindow() {
  window_ = CreateWindowExA(0, "STATIC", "silent", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
}

SilentWindow::~SilentWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

int RunProcess(const std::string& commandLine, std::string* output) {
  output->clear();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return -1;
  }
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output->append(buffer, got);
  }
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  // Console output of a Windows program may carry carriage returns.
  std::string cleaned;
  for (char c : *output) {
    if (c != '\r') cleaned += c;
  }
  *output = cleaned;
  return static_cast<int>(code);
}

Bitmap* MakeSourceBitmap(int width, int height, const std::vector<float>& depth,
                         zavol::Pixel64 fill) {
  Bitmap* bitmap = CreateHostBitmap(width, height, 1);
  if (bitmap == nullptr || width == 0 || height == 0) return bitmap;
  std::memcpy(HostBitmapDepth(bitmap), depth.data(), depth.size() * sizeof(float));
  BMM_Color_64 colour{fill.r, fill.g, fill.b, fill.a};
  HostBitmapFill(bitmap, colour);
  return bitmap;
}

Bitmap* MakePatternBitmap(int width, int height, const std::vector<zavol::Pixel64>& pixels) {
  Bitmap* bitmap = CreateHostBitmap(width, height, 0);
  if (bitmap == nullptr || width == 0 || height == 0) return bitmap;
  std::memcpy(HostBitmapPixels(bitmap), pixels.data(), pixels.size() * sizeof(zavol::Pixel64));
  return bitmap;
}

std::vector<zavol::Pixel64> BitmapPixels(Bitmap* bitmap, int width, int height) {
  std::vector<zavol::Pixel64> pixels(static_cast<std::size_t>(width) * height);
  if (!pixels.empty()) {
    std::memcpy(pixels.data(), HostBitmapPixels(bitmap), pixels.size() * sizeof(zavol::Pixel64));
  }
  return pixels;
}

}  // namespace zavoltest
