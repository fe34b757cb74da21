// Defaults, field access by the schema table, and the byte-for-byte persistence of the settings
// record. Portable.
#include "render/settings.h"

#include <cstring>

#include "render/settings_schema.h"

namespace zavol {

double FieldValue(const StereogramSettings& settings, const SettingsField& field) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(&settings) + field.offset;
  switch (field.kind) {
    case FieldKind::kReal: {
      float value;
      std::memcpy(&value, at, sizeof value);
      return value;
    }
    case FieldKind::kColour: {
      uint32_t value;
      std::memcpy(&value, at, sizeof value);
      return value;
    }
    default: {
      int32_t value;
      std::memcpy(&value, at, sizeof value);
      return value;
    }
  }
}

void SetFieldValue(StereogramSettings& settings, const SettingsField& field, double value) {
  unsigned char* at = reinterpret_cast<unsigned char*>(&settings) + field.offset;
  switch (field.kind) {
    case FieldKind::kReal: {
      const float stored = static_cast<float>(value);
      std::memcpy(at, &stored, sizeof stored);
      return;
    }
    case FieldKind::kColour: {
      const uint32_t stored = static_cast<uint32_t>(value);
      std::memcpy(at, &stored, sizeof stored);
      return;
    }
    default: {
      const int32_t stored = static_cast<int32_t>(value);
      std::memcpy(at, &stored, sizeof stored);
      return;
    }
  }
}

}  // namespace zavol

void SetDefaultSettings(StereogramSettings& settings) {
  for (const zavol::SettingsField& field : zavol::kSettingsFields) {
    zavol::SetFieldValue(settings, field, field.defaultValue);
  }
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
