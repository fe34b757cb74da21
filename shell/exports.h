// The library's exported entry points and its module-wide state, for the entry routine, the
// class descriptor and the tests that link the shell directly. Windows only.
#pragma once

#include <windows.h>

#include "render/version.h"

class ClassDesc;

extern "C" {
const char* LibDescription();
int LibNumberClasses();
ClassDesc* LibClassDesc(int index);
unsigned long LibVersion();

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

// 0 at load; 1 once the entry routine has initialised the host's and the common controls.
extern int ControlsInitialised;

// The filter's version, also answered by LibVersion.
constexpr unsigned kFilterVersion = ZAVOL_FILTER_VERSION;
