// The host's utility library (util.dll): debug output. Declarations only.
#pragma once

#include "host/api.h"

UTIL_API void DebugPrint(const char* format, ...);
