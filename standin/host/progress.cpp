// The progress window the host program hands to RenderFrame. Windows only.
#include "standin/host/progress.h"

#include <cstdint>
#include <cstdio>

namespace zavolhost {
namespace {

constexpr char kClassName[] = "ZavolHostProgress";

ProgressState* StateOf(HWND window) {
  return reinterpret_cast<ProgressState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Esc typed while the frame renders: the frame blocks the message loop, so look into the queue
// from inside the abort query.
bool EscapePending() {
  MSG message;
  bool escape = false;
  while (PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) escape = true;
  }
  return escape;
}

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  ProgressState* state = StateOf(window);
  if (state == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case kProgressMessage: {
      state->currentRow = static_cast<int>(wParam);
      state->lastRow = static_cast<int>(lParam);
      ++state->progressReports;
      char text[80];
      std::snprintf(text, sizeof text, "zavolhost: row %d of %d", state->currentRow,
                    state->lastRow + 1);
      SetWindowTextA(window, text);
      return 0;
    }
    case kAbortQueryMessage: {
      ++state->abortQueries;
      if (EscapePending()) state->stopRequested = true;
      if (state->stopAtRow >= 0 && state->currentRow >= state->stopAtRow) {
        state->stopRequested = true;
      }
      if (state->stopRequested && lParam != 0) *reinterpret_cast<int32_t*>(lParam) = 1;
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) state->stopRequested = true;
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

HWND CreateProgressWindow(HINSTANCE instance, ProgressState* state) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProgressProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  // A second window in the same process finds the class already there.
  if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }
  HWND window = CreateWindowExA(0, kClassName, "zavolhost", WS_OVERLAPPED | WS_CAPTION,
                                CW_USEDEFAULT, CW_USEDEFAULT, 360, 80, nullptr, nullptr, instance,
                                state);
  if (window != nullptr) ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

}  // namespace zavolhost
