// Defaults and the byte-for-byte persistence of the settings record. Portable.
#include "render/settings.h"

#include <cstring>

void SetDefaultSettings(StereogramSettings& settings) {
  settings.NearObjectDepth = 0.4f;
  settings.FarObjectDepth = 1.0f;
  settings.BackgroundDepth = 1.0f;
  settings.ViewingMedium = kMedium15InchMonitor;
  settings.CustomDpi = 150;
  settings.AutoDistance = 1;
  settings.FarDistance = 1000.0f;
  settings.NearDistance = 0.0f;
  settings.Color1 = 0x000000;
  settings.Color2 = 0xFFFFFF;
  settings.RampMode = kRampRgb;
  settings.PutGuidePoints = 0;
  settings.RandomizeEachFrame = 1;
  settings.PreventGhosting = 1;
}

StereogramSettings DefaultSettings() {
  StereogramSettings settings;
  SetDefaultSettings(settings);
  return settings;
}

unsigned SettingsSize() { return kSettingsSize; }

int SaveSettings(const StereogramSettings& settings, void* destination) {
  std::memcpy(destination, &settings, kSettingsSize);
  return 1;
}

// A damaged or foreign block is taken as it is; the renderer copes with any values.
int LoadSettings(StereogramSettings& settings, const void* source) {
  std::memcpy(&settings, source, kSettingsSize);
  return 1;
}
