// The stand-in util.dll: debug output to the debugger and to a bounded in-process capture that
// the host program and the tests read back. Depends on Windows and the C runtime only.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "standin/debugcapture.h"

namespace {

constexpr size_t kCaptureBytes = 64 * 1024;  // the newest text is kept, the oldest dropped

std::mutex captureLock;
char capture[kCaptureBytes + 1];  // always terminated
size_t captureLength = 0;

void Append(const char* text, size_t length) {
  std::lock_guard<std::mutex> hold(captureLock);
  if (length >= kCaptureBytes) {
    text += length - kCaptureBytes;
    length = kCaptureBytes;
    captureLength = 0;
  } else if (captureLength + length > kCaptureBytes) {
    const size_t drop = captureLength + length - kCaptureBytes;
    std::memmove(capture, capture + drop, captureLength - drop);
    captureLength -= drop;
  }
  std::memcpy(capture + captureLength, text, length);
  captureLength += length;
  capture[captureLength] = '\0';
}

}  // namespace

void DebugPrint(const char* format, ...) {
  if (!format) return;
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  const char* text = small;
  char* large = nullptr;
  if (static_cast<size_t>(needed) >= sizeof small) {
    large = new (std::nothrow) char[static_cast<size_t>(needed) + 1];
    if (large) {
      std::vsnprintf(large, static_cast<size_t>(needed) + 1, format, again);
      text = large;
    }
  }
  va_end(again);
  const size_t length = text == small && static_cast<size_t>(needed) >= sizeof small
                            ? sizeof small - 1  // the long text could not be held: keep its start
                            : static_cast<size_t>(needed);
  OutputDebugStringA(text);
  Append(text, length);
  delete[] large;
}

const char* DebugCapture() { return capture; }

void ClearDebugCapture() {
  std::lock_guard<std::mutex> hold(captureLock);
  captureLength = 0;
  capture[0] = '\0';
}
