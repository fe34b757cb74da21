// One row per field of the settings record: its names, place, kind, default, range and step,
// and the setup dialog's controls that show it. The defaults, the dialog's limits, the tool's
// options and its settings description all read this table. Portable; standard library only.
#pragma once

#include <cstddef>

#include "render/settings.h"

namespace zavol {

enum class FieldKind {
  kReal,     // float
  kInteger,  // int32_t
  kBoolean,  // int32_t, 0 or 1
  kColour,   // uint32_t COLORREF
  kCode,     // int32_t, one of a group of radio button ids (ViewingMediumCode, RampModeCode)
};

// The largest distance the dialog and the tool accept: no practical limit, but finite.
constexpr double kDistanceLimit = 1e30;

struct SettingsField {
  const char* name;    // the record's field name, as the settings description prints it
  const char* option;  // the tool's option, without "--"; booleans also have "--no-" + option
  std::size_t offset;  // in the stored block
  FieldKind kind;
  // Reals in the record are floats: each number here converts to the float the dialog passes
  // to the host and the record stores. For codes the range is the radio group's first and last
  // button; booleans range over 0..1 and colours over 0..0xFFFFFF.
  double defaultValue;
  double minimum;
  double maximum;
  double step;    // the spinner's step; 0 for fields without a spinner
  int controlId;  // the edit, check box, swatch or first radio button showing the field
  int spinnerId;  // 0 for fields without a spinner
};

// Record order. The ids are the dialog template's; dialogs/ checks them against resources/.
inline constexpr SettingsField kSettingsFields[] = {
    {"NearObjectDepth", "near-object-depth", offsetof(StereogramSettings, NearObjectDepth),
     FieldKind::kReal, 0.4, 0.0, 1.0, 0.01, 1010, 1012},
    {"FarObjectDepth", "far-object-depth", offsetof(StereogramSettings, FarObjectDepth),
     FieldKind::kReal, 1.0, 0.0, 1.0, 0.01, 1018, 1019},
    {"BackgroundDepth", "background-depth", offsetof(StereogramSettings, BackgroundDepth),
     FieldKind::kReal, 1.0, 0.0, 100.0, 0.1, 1013, 1014},
    {"ViewingMedium", "medium", offsetof(StereogramSettings, ViewingMedium), FieldKind::kCode,
     kMedium15InchMonitor, kMedium14InchMonitor, kMediumCustomDpi, 0, kMedium14InchMonitor, 0},
    {"CustomDpi", "dpi", offsetof(StereogramSettings, CustomDpi), FieldKind::kInteger, 150, 1,
     2400, 1, 1009, 1011},
    {"AutoDistance", "auto-distance", offsetof(StereogramSettings, AutoDistance),
     FieldKind::kBoolean, 1, 0, 1, 0, 1015, 0},
    {"FarDistance", "far-distance", offsetof(StereogramSettings, FarDistance), FieldKind::kReal,
     1000.0, 0.0, kDistanceLimit, 0.1, 1020, 1021},
    {"NearDistance", "near-distance", offsetof(StereogramSettings, NearDistance),
     FieldKind::kReal, 0.0, 0.0, kDistanceLimit, 0.1, 1016, 1017},
    {"Color1", "color1", offsetof(StereogramSettings, Color1), FieldKind::kColour, 0x000000, 0,
     0xFFFFFF, 0, 1025, 0},
    {"Color2", "color2", offsetof(StereogramSettings, Color2), FieldKind::kColour, 0xFFFFFF, 0,
     0xFFFFFF, 0, 1026, 0},
    {"RampMode", "ramp", offsetof(StereogramSettings, RampMode), FieldKind::kCode, kRampRgb,
     kRampRgb, kRampHsv, 0, kRampRgb, 0},
    {"PutGuidePoints", "guide", offsetof(StereogramSettings, PutGuidePoints),
     FieldKind::kBoolean, 0, 0, 1, 0, 1027, 0},
    {"RandomizeEachFrame", "randomize", offsetof(StereogramSettings, RandomizeEachFrame),
     FieldKind::kBoolean, 1, 0, 1, 0, 1028, 0},
    {"PreventGhosting", "prevent-ghosting", offsetof(StereogramSettings, PreventGhosting),
     FieldKind::kBoolean, 1, 0, 1, 0, 1029, 0},
};

constexpr std::size_t kSettingsFieldCount = sizeof kSettingsFields / sizeof kSettingsFields[0];

// Every field 4 bytes, in order, without gaps: the table covers the record exactly.
constexpr bool TableCoversRecord() {
  for (std::size_t i = 0; i < kSettingsFieldCount; ++i) {
    if (kSettingsFields[i].offset != 4 * i) return false;
  }
  return 4 * kSettingsFieldCount == kSettingsSize;
}
static_assert(TableCoversRecord(), "one row per field of the record, in record order");

// The row of the field at `offset`, e.g. SettingsFieldAt(offsetof(StereogramSettings,
// CustomDpi)). Row i holds the field at 4 * i, as the assertion above makes sure.
constexpr const SettingsField& SettingsFieldAt(std::size_t offset) {
  return kSettingsFields[offset / 4];
}

// A field's value, whatever its kind: every float, int32_t and uint32_t is exact in a double.
double FieldValue(const StereogramSettings& settings, const SettingsField& field);
// Stores value in the field's own type; it must be representable there (a real is rounded to
// float).
void SetFieldValue(StereogramSettings& settings, const SettingsField& field, double value);

}  // namespace zavol
