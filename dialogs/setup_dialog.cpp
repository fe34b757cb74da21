// The setup dialog's procedure: shows a settings record in template 102's controls and writes
// all fourteen fields back on OK, nothing on Cancel. Windows, core.dll's custom controls and the
// record only; the filter object that opens it is not looked at.
#include <windows.h>

#include "dialogs/dialogs.h"
#include "host/core.h"
#include "resources/ids.h"

namespace {

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

constexpr float kDepthStep = 0.01f;
constexpr float kDistanceStep = 0.1f;
constexpr float kDistanceLimit = 1e30f;
constexpr float kBackgroundLimit = 100.0f;
constexpr int kLowestDpi = 1;
constexpr int kHighestDpi = 2400;

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

  state.nearObjectDepth = SetupFloatSpinner(dialog, IDC_NEAR_OBJECT_SPIN, IDC_NEAR_OBJECT_EDIT,
                                            0.0f, 1.0f, settings.NearObjectDepth, kDepthStep);
  state.farObjectDepth = SetupFloatSpinner(dialog, IDC_FAR_OBJECT_SPIN, IDC_FAR_OBJECT_EDIT, 0.0f,
                                           1.0f, settings.FarObjectDepth, kDepthStep);
  state.backgroundDepth =
      SetupFloatSpinner(dialog, IDC_BACKGROUND_SPIN, IDC_BACKGROUND_EDIT, 0.0f, kBackgroundLimit,
                        settings.BackgroundDepth, kDistanceStep);
  state.customDpi = SetupIntSpinner(dialog, IDC_DPI_SPIN, IDC_DPI_EDIT, kLowestDpi, kHighestDpi,
                                    settings.CustomDpi);
  state.nearDistance =
      SetupFloatSpinner(dialog, IDC_NEAR_DISTANCE_SPIN, IDC_NEAR_DISTANCE_EDIT, 0.0f,
                        kDistanceLimit, settings.NearDistance, kDistanceStep);
  state.farDistance = SetupFloatSpinner(dialog, IDC_FAR_DISTANCE_SPIN, IDC_FAR_DISTANCE_EDIT, 0.0f,
                                        kDistanceLimit, settings.FarDistance, kDistanceStep);

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
