// The host program's progress window: receives the renderer's progress reports and abort
// queries, shows the row as text, and answers "stop" after a chosen row or on Esc. Windows only.
#pragma once

#include <windows.h>

namespace zavolhost {

constexpr UINT kProgressMessage = 1056;
constexpr UINT kAbortQueryMessage = 1057;

struct ProgressState {
  int stopAtRow = -1;      // ask to stop when row stopAtRow is about to be built; -1: never
  int currentRow = -1;     // wParam of the last progress report
  int lastRow = -1;        // lParam of the last progress report
  int progressReports = 0;
  int abortQueries = 0;
  bool stopRequested = false;
};

// A top-level window of our own class whose procedure serves the two messages; state must
// outlive the window. Returns null when the window cannot be made.
HWND CreateProgressWindow(HINSTANCE instance, ProgressState* state);

}  // namespace zavolhost
