// Import/export markers for the host's SDK DLLs. Each stand-in DLL defines its ZAVOL_BUILDING_*
// macro while it builds, so it exports; everyone else (the plug-in, the host program) imports.
#pragma once

#ifdef ZAVOL_BUILDING_BMM
#define BMM_API __declspec(dllexport)
#else
#define BMM_API __declspec(dllimport)
#endif

#ifdef ZAVOL_BUILDING_FLT
#define FLT_API __declspec(dllexport)
#else
#define FLT_API __declspec(dllimport)
#endif

#ifdef ZAVOL_BUILDING_CORE
#define CORE_API __declspec(dllexport)
#else
#define CORE_API __declspec(dllimport)
#endif

#ifdef ZAVOL_BUILDING_UTIL
#define UTIL_API __declspec(dllexport)
#else
#define UTIL_API __declspec(dllimport)
#endif
