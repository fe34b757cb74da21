// The stand-in util.dll's in-process copy of everything DebugPrint wrote, for the host program
// and the tests. Never included by the plug-in.
#pragma once

#include "host/util.h"

// The captured text, oldest first. At most the last 64 KiB are kept; the pointer stays valid
// for the life of the process, its contents change with the next DebugPrint or clear.
UTIL_API const char* DebugCapture();
UTIL_API void ClearDebugCapture();
