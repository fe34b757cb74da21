// The about box's procedure: centred over its owner, closed by OK (1) or by Esc and the close
// box (2). Windows and core.dll's CenterWindow only; it keeps no state and touches no settings.
#include <windows.h>

#include "dialogs/dialogs.h"
#include "host/core.h"
#include "resources/ids.h"

namespace {

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog, GetParent(dialog));
      SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
      return 1;
    case WM_COMMAND:
      // The notification code is not looked at: any notice from OK counts as a press.
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(dialog, 1);
          break;
        case IDCANCEL:
          EndDialog(dialog, 0);
          break;
        default:
          break;
      }
      return 1;
    default:
      return 0;
  }
}

}  // namespace

INT_PTR RunAboutBox(HINSTANCE module, HWND parent, LPARAM creationParameter) {
  return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_ABOUT_BOX), parent, AboutBoxProc,
                         creationParameter);
}
