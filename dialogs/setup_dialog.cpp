// The setup dialog's procedure: shows a settings record in template 102's controls and writes
// all fourteen fields back on OK, nothing on Cancel. Windows, core.dll's custom controls and the
// record only; the filter object that opens it is not looked at.
#include <windows.h>

#include <cstddef>

#include "dialogs/dialogs.h"
#include "host/core.h"
#include "render/settings_schema.h"
#include "resources/ids.h"

// The stored codes are the radio buttons' ids: one numbering for the record and the template.
static_assert(kMedium14InchMonitor == IDC_MEDIUM_14_MONITOR, "medium code is its button");
static_assert(kMedium15InchMonitor == IDC_MEDIUM_15_MONITOR, "medium code is its button");
static_assert(kMedium17InchMonitor == IDC_MEDIUM_17_MONITOR, "medium code is its button");
static_assert(kMedium19InchMonitor == IDC_MEDIUM_19_MONITOR, "medium code is its button");
static_assert(kMedium21InchMonitor == IDC_MEDIUM_21_MONITOR, "medium code is its button");
static_assert(kMediumA5Paper == IDC_MEDIUM_A5_PAPER, "medium code is its button");
static_assert(kMediumA4Paper == IDC_MEDIUM_A4_PAPER, "medium code is its button");
static_assert(kMediumA3Paper == IDC_MEDIUM_A3_PAPER, "medium code is its button");
static_assert(kMediumCustomDpi == IDC_MEDIUM_CUSTOM_DPI, "medium code is its button");
static_assert(kRampRgb == IDC_RAMP_RGB, "ramp code is its button");
static_assert(kRampHsv == IDC_RAMP_HSV, "ramp code is its button");

namespace {

using zavol::SettingsField;
using zavol::SettingsFieldAt;

// The six fields with spinners; their limits and steps come from the schema.
constexpr const SettingsField& kNearObjectDepth =
    SettingsFieldAt(offsetof(StereogramSettings, NearObjectDepth));
constexpr const SettingsField& kFarObjectDepth =
    SettingsFieldAt(offsetof(StereogramSettings, FarObjectDepth));
constexpr const SettingsField& kBackgroundDepth =
    SettingsFieldAt(offsetof(StereogramSettings, BackgroundDepth));
constexpr const SettingsField& kCustomDpi =
    SettingsFieldAt(offsetof(StereogramSettings, CustomDpi));
constexpr const SettingsField& kFarDistance =
    SettingsFieldAt(offsetof(StereogramSettings, FarDistance));
constexpr const SettingsField& kNearDistance =
    SettingsFieldAt(offsetof(StereogramSettings, NearDistance));

// The schema's control ids are the template's, and a code group spans its radio buttons.
constexpr bool ShownBy(std::size_t offset, int controlId, int spinnerId = 0) {
  return SettingsFieldAt(offset).controlId == controlId &&
         SettingsFieldAt(offset).spinnerId == spinnerId;
}
constexpr bool Spans(std::size_t offset, int firstButton, int lastButton) {
  return SettingsFieldAt(offset).minimum == firstButton &&
         SettingsFieldAt(offset).maximum == lastButton && ShownBy(offset, firstButton);
}
static_assert(ShownBy(kNearObjectDepth.offset, IDC_NEAR_OBJECT_EDIT, IDC_NEAR_OBJECT_SPIN), "");
static_assert(ShownBy(kFarObjectDepth.offset, IDC_FAR_OBJECT_EDIT, IDC_FAR_OBJECT_SPIN), "");
static_assert(ShownBy(kBackgroundDepth.offset, IDC_BACKGROUND_EDIT, IDC_BACKGROUND_SPIN), "");
static_assert(ShownBy(kCustomDpi.offset, IDC_DPI_EDIT, IDC_DPI_SPIN), "");
static_assert(ShownBy(kFarDistance.offset, IDC_FAR_DISTANCE_EDIT, IDC_FAR_DISTANCE_SPIN), "");
static_assert(ShownBy(kNearDistance.offset, IDC_NEAR_DISTANCE_EDIT, IDC_NEAR_DISTANCE_SPIN), "");
static_assert(Spans(offsetof(StereogramSettings, ViewingMedium), IDC_MEDIUM_14_MONITOR,
                    IDC_MEDIUM_CUSTOM_DPI), "");
static_assert(Spans(offsetof(StereogramSettings, RampMode), IDC_RAMP_RGB, IDC_RAMP_HSV), "");
static_assert(ShownBy(offsetof(StereogramSettings, AutoDistance), IDC_AUTO_DISTANCE), "");
static_assert(ShownBy(offsetof(StereogramSettings, Color1), IDC_COLOR1_SWATCH), "");
static_assert(ShownBy(offsetof(StereogramSettings, Color2), IDC_COLOR2_SWATCH), "");
static_assert(ShownBy(offsetof(StereogramSettings, PutGuidePoints), IDC_PUT_GUIDE_POINTS), "");
static_assert(ShownBy(offsetof(StereogramSettings, RandomizeEachFrame),
                      IDC_RANDOMIZE_EACH_FRAME), "");
static_assert(ShownBy(offsetof(StereogramSettings, PreventGhosting), IDC_PREVENT_GHOSTING), "");

// Module-wide, so at most one setup dialog may be open in the process at a time. The host's
// control objects exist only while a dialog is open; every pointer is null otherwise.
struct SetupDialogState {
  StereogramSettings* editedRecord;
  int32_t mediumSelection;
  int32_t rampSelection;
  ISpinnerControl* nearObjectDepth;
  ISpinnerControl* farObjectDepth;
  ISpinnerControl* backgroundDepth;
  ISpinnerControl* customDpi;
  ISpinnerControl* nearDistance;
  ISpinnerControl* farDistance;
  IColorSwatch* color1;
  IColorSwatch* color2;
};

SetupDialogState state;  // zero at load

// The host keeps the pointers it is given as the swatches' names, so they must outlive the
// dialog, and its signature wants them writable.
char color1Name[] = "Color1";
char color2Name[] = "Color2";

// A real field's spinner over its edit box, with the field's limits and step as floats.
ISpinnerControl* FloatSpinner(HWND dialog, const SettingsField& field, float value) {
  return SetupFloatSpinner(dialog, field.spinnerId, field.controlId,
                           static_cast<float>(field.minimum), static_cast<float>(field.maximum),
                           value, static_cast<float>(field.step));
}

void EnableControl(HWND dialog, int id, bool enable) {
  EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}

bool IsUnchecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_UNCHECKED; }

// Booleans in the record are 0 or 1, whatever state the button reports.
int32_t CheckState(HWND dialog, int id) { return IsUnchecked(dialog, id) ? 0 : 1; }

// A control the host gave no object for keeps the record's value: there is nothing to read.
float ValueOr(ISpinnerControl* spinner, float current) {
  return spinner ? spinner->FloatValue() : current;
}
int32_t ValueOr(ISpinnerControl* spinner, int32_t current) {
  return spinner ? spinner->IntValue() : current;
}
uint32_t ValueOr(IColorSwatch* swatch, uint32_t current) {
  return swatch ? static_cast<uint32_t>(swatch->Colour()) : current;
}

void Open(HWND dialog) {
  const StereogramSettings& settings = *state.editedRecord;
  CenterWindow(dialog, GetParent(dialog));
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));

  CheckRadioButton(dialog, IDC_MEDIUM_14_MONITOR, IDC_MEDIUM_CUSTOM_DPI, settings.ViewingMedium);
  CheckRadioButton(dialog, IDC_RAMP_RGB, IDC_RAMP_HSV, settings.RampMode);

  state.nearObjectDepth = FloatSpinner(dialog, kNearObjectDepth, settings.NearObjectDepth);
  state.farObjectDepth = FloatSpinner(dialog, kFarObjectDepth, settings.FarObjectDepth);
  state.backgroundDepth = FloatSpinner(dialog, kBackgroundDepth, settings.BackgroundDepth);
  state.customDpi = SetupIntSpinner(dialog, kCustomDpi.spinnerId, kCustomDpi.controlId,
                                    static_cast<int>(kCustomDpi.minimum),
                                    static_cast<int>(kCustomDpi.maximum), settings.CustomDpi);
  state.nearDistance = FloatSpinner(dialog, kNearDistance, settings.NearDistance);
  state.farDistance = FloatSpinner(dialog, kFarDistance, settings.FarDistance);

  state.color1 = GetIColorSwatch(GetDlgItem(dialog, IDC_COLOR1_SWATCH), settings.Color1,
                                 color1Name);
  state.color2 = GetIColorSwatch(GetDlgItem(dialog, IDC_COLOR2_SWATCH), settings.Color2,
                                 color2Name);

  // The stored value goes to the button as it is; a damaged record shows what Windows makes
  // of it.
  CheckDlgButton(dialog, IDC_AUTO_DISTANCE, static_cast<UINT>(settings.AutoDistance));
  CheckDlgButton(dialog, IDC_RANDOMIZE_EACH_FRAME, static_cast<UINT>(settings.RandomizeEachFrame));
  CheckDlgButton(dialog, IDC_PUT_GUIDE_POINTS, static_cast<UINT>(settings.PutGuidePoints));
  CheckDlgButton(dialog, IDC_PREVENT_GHOSTING, static_cast<UINT>(settings.PreventGhosting));

  // A code outside a group checks no button above and survives OK unless the user picks one.
  state.mediumSelection = settings.ViewingMedium;
  state.rampSelection = settings.RampMode;

  EnableControl(dialog, IDC_DPI_EDIT, state.mediumSelection == IDC_MEDIUM_CUSTOM_DPI);
  EnableControl(dialog, IDC_NEAR_DISTANCE_EDIT, settings.AutoDistance == 0);
  EnableControl(dialog, IDC_FAR_DISTANCE_EDIT, settings.AutoDistance == 0);
}

// Runs before the dialog is destroyed, while the host's objects are still alive. Every field is
// written, touched or not, and none is checked against another.
void Commit(HWND dialog) {
  StereogramSettings& settings = *state.editedRecord;
  settings.NearObjectDepth = ValueOr(state.nearObjectDepth, settings.NearObjectDepth);
  settings.FarObjectDepth = ValueOr(state.farObjectDepth, settings.FarObjectDepth);
  settings.BackgroundDepth = ValueOr(state.backgroundDepth, settings.BackgroundDepth);
  settings.NearDistance = ValueOr(state.nearDistance, settings.NearDistance);
  settings.FarDistance = ValueOr(state.farDistance, settings.FarDistance);
  settings.CustomDpi = ValueOr(state.customDpi, settings.CustomDpi);
  settings.AutoDistance = CheckState(dialog, IDC_AUTO_DISTANCE);
  settings.Color1 = ValueOr(state.color1, settings.Color1);
  settings.Color2 = ValueOr(state.color2, settings.Color2);
  settings.ViewingMedium = state.mediumSelection;
  settings.RampMode = state.rampSelection;
  settings.RandomizeEachFrame = CheckState(dialog, IDC_RANDOMIZE_EACH_FRAME);
  settings.PutGuidePoints = CheckState(dialog, IDC_PUT_GUIDE_POINTS);
  settings.PreventGhosting = CheckState(dialog, IDC_PREVENT_GHOSTING);
}

void Command(HWND dialog, int id) {
  switch (id) {
    case IDOK:
      Commit(dialog);
      EndDialog(dialog, 1);
      return;
    case IDCANCEL:  // also Esc and the caption's close box
      EndDialog(dialog, 0);
      return;
    case IDC_AUTO_DISTANCE:
      EnableControl(dialog, IDC_NEAR_DISTANCE_EDIT, IsUnchecked(dialog, IDC_AUTO_DISTANCE));
      EnableControl(dialog, IDC_FAR_DISTANCE_EDIT, IsUnchecked(dialog, IDC_AUTO_DISTANCE));
      return;
    case IDC_RAMP_RGB:
    case IDC_RAMP_HSV:
      state.rampSelection = id;
      return;
    default:
      if (id >= IDC_MEDIUM_14_MONITOR && id <= IDC_MEDIUM_CUSTOM_DPI) {
        state.mediumSelection = id;
        EnableControl(dialog, IDC_DPI_EDIT, id == IDC_MEDIUM_CUSTOM_DPI);
      }
      return;
  }
}

template <typename Object>
void Release(Object*& object, void (*release)(Object*)) {
  if (object) release(object);
  object = nullptr;
}

// Creation order, spinners first. The edited record and the selections stay: the next opening
// overwrites them.
void Close() {
  Release(state.nearObjectDepth, ReleaseISpinner);
  Release(state.farObjectDepth, ReleaseISpinner);
  Release(state.backgroundDepth, ReleaseISpinner);
  Release(state.customDpi, ReleaseISpinner);
  Release(state.nearDistance, ReleaseISpinner);
  Release(state.farDistance, ReleaseISpinner);
  Release(state.color1, ReleaseIColorSwatch);
  Release(state.color2, ReleaseIColorSwatch);
}

// lParam of WM_INITDIALOG is the opener's creation parameter, not looked at: the record comes
// from RunSetupDialog.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      Open(dialog);
      return 1;
    case WM_COMMAND:
      // Only the low word names the control; any notification from it counts as a click.
      Command(dialog, LOWORD(wParam));
      return 1;
    case WM_DESTROY:
      Close();
      return 0;
    default:
      return 0;
  }
}

}  // namespace

INT_PTR RunSetupDialog(HINSTANCE module, HWND parent, LPARAM creationParameter,
                       StereogramSettings& record) {
  // Set before the dialog exists, so that WM_INITDIALOG finds it; like the rest of the state it
  // is module-wide, which is why only one setup dialog may be open at a time.
  state.editedRecord = &record;
  return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_SETUP_DIALOG), parent, SetupDialogProc,
                         creationParameter);
}
