// The filter's whole configuration: fourteen 32-bit fields, persisted by the host as an opaque
// 56-byte block. Portable: the plug-in, the engine and the command-line tool share it.
#pragma once

#include <cstddef>
#include <cstdint>

// Viewing media: the identifiers of the setup dialog's radio buttons, stored as they are.
enum ViewingMediumCode : int32_t {
  kMedium14InchMonitor = 1000,
  kMedium15InchMonitor = 1001,
  kMedium17InchMonitor = 1002,
  kMedium19InchMonitor = 1003,
  kMedium21InchMonitor = 1004,
  kMediumA5Paper = 1005,
  kMediumA4Paper = 1006,
  kMediumA3Paper = 1007,
  kMediumCustomDpi = 1008,
};

// Ramp modes: likewise radio button identifiers. Anything but kRampRgb means the HSV ramp.
enum RampModeCode : int32_t {
  kRampRgb = 1023,
  kRampHsv = 1024,
};

// Byte layout is a stored format: little-endian, no gaps, no header. Never reorder.
struct StereogramSettings {
  float NearObjectDepth;      // fraction of the background separation for the nearest depth
  float FarObjectDepth;       // fraction of the background separation for the farthest depth
  float BackgroundDepth;      // background plane behind the image, in viewer distances
  int32_t ViewingMedium;      // ViewingMediumCode
  int32_t CustomDpi;          // pixels per inch when ViewingMedium is kMediumCustomDpi
  int32_t AutoDistance;       // 1: depth range from the frame; 0: from the two distances below
  float FarDistance;          // farthest scene point from the camera (AutoDistance 0)
  float NearDistance;         // nearest scene point from the camera (AutoDistance 0)
  uint32_t Color1;            // COLORREF: red in the low byte, then green, then blue
  uint32_t Color2;            // COLORREF
  int32_t RampMode;           // RampModeCode
  int32_t PutGuidePoints;     // boolean 0/1
  int32_t RandomizeEachFrame; // boolean: seed from the clock at every frame, else with 0
  int32_t PreventGhosting;    // boolean: a pixel may be repeated at most once per row
};

constexpr std::size_t kSettingsSize = 56;

static_assert(sizeof(float) == 4, "reals in the record are IEEE single precision");
static_assert(sizeof(StereogramSettings) == kSettingsSize, "the stored block is 56 bytes");
static_assert(offsetof(StereogramSettings, NearObjectDepth) == 0, "stored layout");
static_assert(offsetof(StereogramSettings, FarObjectDepth) == 4, "stored layout");
static_assert(offsetof(StereogramSettings, BackgroundDepth) == 8, "stored layout");
static_assert(offsetof(StereogramSettings, ViewingMedium) == 12, "stored layout");
static_assert(offsetof(StereogramSettings, CustomDpi) == 16, "stored layout");
static_assert(offsetof(StereogramSettings, AutoDistance) == 20, "stored layout");
static_assert(offsetof(StereogramSettings, FarDistance) == 24, "stored layout");
static_assert(offsetof(StereogramSettings, NearDistance) == 28, "stored layout");
static_assert(offsetof(StereogramSettings, Color1) == 32, "stored layout");
static_assert(offsetof(StereogramSettings, Color2) == 36, "stored layout");
static_assert(offsetof(StereogramSettings, RampMode) == 40, "stored layout");
static_assert(offsetof(StereogramSettings, PutGuidePoints) == 44, "stored layout");
static_assert(offsetof(StereogramSettings, RandomizeEachFrame) == 48, "stored layout");
static_assert(offsetof(StereogramSettings, PreventGhosting) == 52, "stored layout");

// Sets every field to its default, in record order.
void SetDefaultSettings(StereogramSettings& settings);
StereogramSettings DefaultSettings();

// The host's persistence operations: byte for byte, no checks, always succeed (return 1).
unsigned SettingsSize();
int SaveSettings(const StereogramSettings& settings, void* destination);
int LoadSettings(StereogramSettings& settings, const void* source);
