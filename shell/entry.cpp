// The library's entry routine: remembers the module handle the dialogs are created from and
// readies the custom and common controls once. Windows only; no renderer, no settings.
#include <windows.h>
#include <commctrl.h>

#include "host/core.h"
#include "shell/exports.h"
#include "shell/filter.h"

HINSTANCE ModuleInstance = nullptr;
int ControlsInitialised = 0;

// Every reason refreshes the handle; the loader serialises process attach, which is the first
// call, so the flag needs no lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
  ModuleInstance = instance;
  if (ControlsInitialised == 0) {
    ControlsInitialised = 1;
    InitCustomControls(ModuleInstance);
    InitCommonControls();
  }
  return TRUE;
}
