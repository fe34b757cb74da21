// The stand-in core.dll and util.dll: the custom control classes in a dialog of this test
// program's own module, the spinner and swatch objects, their release bookkeeping, window
// centring, the colour conversions and the debug capture. Windows builds only, under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/core.h"
#include "host/util.h"
#include "render/hsv.h"
#include "standin/controls.h"
#include "standin/debugcapture.h"
#include "tests/standin_dialog.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

HWND InnerEdit(HWND custEdit) { return GetWindow(custEdit, GW_CHILD); }

// Types into the real edit control inside a "CustEdit", key by key, as a user does.
void Type(HWND custEdit, const char* keys) {
  HWND inner = InnerEdit(custEdit);
  SendMessageA(inner, EM_SETSEL, 0, -1);
  SendMessageA(inner, WM_CHAR, VK_BACK, 0);
  for (const char* key = keys; *key; ++key) SendMessageA(inner, WM_CHAR, static_cast<BYTE>(*key), 1);
}

// A click on the upper (direction +1) or lower half of a spinner's arrows.
void ClickArrow(HWND spinner, int direction) {
  RECT client;
  GetClientRect(spinner, &client);
  const int y = direction > 0 ? client.top + 1 : client.bottom - 2;
  const LPARAM at = MAKELPARAM((client.left + client.right) / 2, y);
  SendMessageA(spinner, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(spinner, WM_LBUTTONUP, 0, at);
}

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitCustomControls(GetModuleHandleA(nullptr));
    baseline_ = LiveControlObjects();
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(STANDIN_TEST_DIALOG),
                                 nullptr, PlainDialogProc, 0);
    ASSERT_NE(dialog_, nullptr) << "error " << GetLastError();
  }
  void TearDown() override {
    for (ISpinnerControl* spinner : spinners_) ReleaseISpinner(spinner);
    for (IColorSwatch* swatch : swatches_) ReleaseIColorSwatch(swatch);
    if (dialog_) DestroyWindow(dialog_);
    EXPECT_EQ(LiveControlObjects(), baseline_);
  }

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  HostSpinnerControl* FloatSpinner(float minValue, float maxValue, float value, float step) {
    ISpinnerControl* spinner = SetupFloatSpinner(dialog_, STANDIN_FLOAT_SPIN, STANDIN_FLOAT_EDIT,
                                                 minValue, maxValue, value, step);
    spinners_.push_back(spinner);
    return static_cast<HostSpinnerControl*>(spinner);
  }
  HostSpinnerControl* IntSpinner(int minValue, int maxValue, int value) {
    ISpinnerControl* spinner =
        SetupIntSpinner(dialog_, STANDIN_INT_SPIN, STANDIN_INT_EDIT, minValue, maxValue, value);
    spinners_.push_back(spinner);
    return static_cast<HostSpinnerControl*>(spinner);
  }

  HWND dialog_ = nullptr;
  int baseline_ = 0;
  std::vector<ISpinnerControl*> spinners_;
  std::vector<IColorSwatch*> swatches_;
};

TEST_F(ControlsTest, ClassesAreFoundFromAnotherModuleAndRegistrationRepeats) {
  InitCustomControls(GetModuleHandleA(nullptr));  // a second call changes nothing
  char name[64];
  GetClassNameA(Item(STANDIN_FLOAT_EDIT), name, sizeof name);
  EXPECT_STREQ(name, "CustEdit");
  GetClassNameA(Item(STANDIN_FLOAT_SPIN), name, sizeof name);
  EXPECT_STREQ(name, "SpinnerControl");
  GetClassNameA(Item(STANDIN_SWATCH), name, sizeof name);
  EXPECT_STREQ(name, "ColorSwatch");
  GetClassNameA(InnerEdit(Item(STANDIN_FLOAT_EDIT)), name, sizeof name);
  EXPECT_STREQ(name, "Edit");
  EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), "Custom1");  // the template's text until bound
}

struct StartCase {
  float minValue, maxValue, value;
  float expected;
  const char* shown;
};

TEST_F(ControlsTest, FloatSpinnerClampsItsStartValueAndShowsIt) {
  const StartCase cases[] = {
      {0.0f, 1.0f, 0.4f, 0.4f, "0.4"},     {0.0f, 1.0f, 5.0f, 1.0f, "1"},
      {0.0f, 1.0f, -3.0f, 0.0f, "0"},      {0.0f, 1e30f, 1000.0f, 1000.0f, "1000"},
      {0.0f, 1e30f, 1e31f, 1e30f, "1e+30"}, {0.0f, 100.0f, 0.1f, 0.1f, "0.1"},
      {0.0f, 1.0f, NAN, 0.0f, "0"},        {1.0f, 0.0f, 0.25f, 0.25f, "0.25"},
      {0.0f, 1.0f, -0.0f, 0.0f, "0"},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.shown);
    HostSpinnerControl* spinner = FloatSpinner(c.minValue, c.maxValue, c.value, 0.01f);
    ASSERT_NE(spinner, nullptr);
    EXPECT_EQ(spinner->FloatValue(), c.expected);
    EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), c.shown);
  }
}

struct TypedCase {
  const char* typed;
  float expected;
  const char* shownAfterEditing;
};

TEST_F(ControlsTest, TypingInTheFloatFieldSetsTheValueWithinTheLimits) {
  const TypedCase cases[] = {
      {"0.25", 0.25f, "0.25"},    {" 0.5 ", 0.5f, "0.5"}, {"7", 1.0f, "1"},
      {"-0.3", 0.0f, "0"},        {"1e-3", 0.001f, "0.001"}, {"abc", 0.4f, "0.4"},
      {"", 0.4f, "0.4"},          {"0.3x", 0.3f, "0.3"},   {"0.123456789", 0.123456789f, "0.12345679"},
  };
  for (const TypedCase& c : cases) {
    SCOPED_TRACE(c.typed);
    HostSpinnerControl* spinner = FloatSpinner(0.0f, 1.0f, 0.4f, 0.01f);
    Type(Item(STANDIN_FLOAT_EDIT), c.typed);
    EXPECT_EQ(spinner->FloatValue(), c.expected);
    EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), c.typed);  // not rewritten while typing
    // Leaving the field shows the value held.
    SendMessageA(Item(STANDIN_FLOAT_EDIT), WM_COMMAND, MAKEWPARAM(1, EN_KILLFOCUS),
                 reinterpret_cast<LPARAM>(InnerEdit(Item(STANDIN_FLOAT_EDIT))));
    EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), c.shownAfterEditing);
  }
}

TEST_F(ControlsTest, SettingTheFieldTextReachesTheValue) {
  HostSpinnerControl* spinner = FloatSpinner(0.0f, 100.0f, 1.0f, 0.1f);
  SetWindowTextA(Item(STANDIN_FLOAT_EDIT), "0.25");
  EXPECT_EQ(spinner->FloatValue(), 0.25f);
  SetDlgItemTextA(dialog_, STANDIN_FLOAT_EDIT, "42.5");
  EXPECT_EQ(spinner->FloatValue(), 42.5f);
  // Text that is only partly a number does not count at all.
  SetWindowTextA(Item(STANDIN_FLOAT_EDIT), "12abc");
  EXPECT_EQ(spinner->FloatValue(), 42.5f);
  SetWindowTextA(Item(STANDIN_FLOAT_EDIT), "nan");
  EXPECT_EQ(spinner->FloatValue(), 42.5f);
}

TEST_F(ControlsTest, ArrowsStepByTheGivenStep) {
  HostSpinnerControl* spinner = FloatSpinner(0.0f, 1.0f, 0.4f, 0.01f);
  HWND arrows = Item(STANDIN_FLOAT_SPIN);
  ClickArrow(arrows, +1);
  EXPECT_EQ(spinner->FloatValue(), 0.41f);
  EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), "0.41");
  ClickArrow(arrows, -1);
  ClickArrow(arrows, -1);
  EXPECT_EQ(spinner->FloatValue(), 0.39f);
  EXPECT_EQ(SendMessageA(arrows, kSpinnerStepMessage, 0, 0), 1);
  EXPECT_EQ(spinner->FloatValue(), 0.4f);
  // Many steps do not gather rounding errors: 100 steps of 0.01 up from 0 land on 1 exactly.
  spinner->SetFloatValue(0.0f);
  for (int i = 0; i < 100; ++i) ClickArrow(arrows, +1);
  EXPECT_EQ(spinner->FloatValue(), 1.0f);
  ClickArrow(arrows, +1);  // at the limit
  EXPECT_EQ(spinner->FloatValue(), 1.0f);
  EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), "1");
}

TEST_F(ControlsTest, ArrowKeysInTheFieldStepToo) {
  HostSpinnerControl* spinner = FloatSpinner(0.0f, 100.0f, 1.0f, 0.1f);
  SendMessageA(InnerEdit(Item(STANDIN_FLOAT_EDIT)), WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(spinner->FloatValue(), 1.1f);
  SendMessageA(Item(STANDIN_FLOAT_SPIN), WM_KEYDOWN, VK_DOWN, 0);
  SendMessageA(Item(STANDIN_FLOAT_SPIN), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(spinner->FloatValue(), 0.9f);
}

TEST_F(ControlsTest, AStepAfterTypingStartsFromTheTypedValue) {
  HostSpinnerControl* spinner = FloatSpinner(0.0f, 100.0f, 1.0f, 0.1f);
  Type(Item(STANDIN_FLOAT_EDIT), "5");
  ClickArrow(Item(STANDIN_FLOAT_SPIN), +1);
  EXPECT_EQ(spinner->FloatValue(), 5.1f);
  EXPECT_EQ(TextOf(Item(STANDIN_FLOAT_EDIT)), "5.1");
}

struct IntCase {
  const char* typed;
  int expected;
};

TEST_F(ControlsTest, IntSpinnerIgnoresFractionsAndStaysInItsLimits) {
  HostSpinnerControl* spinner = IntSpinner(1, 2400, 150);
  EXPECT_EQ(spinner->IntValue(), 150);
  EXPECT_EQ(TextOf(Item(STANDIN_INT_EDIT)), "150");
  const IntCase cases[] = {
      {"12.7", 12}, {"300", 300}, {"-5", 1},   {"99999", 2400}, {"1e3", 1000},
      {"0.5", 1},   {"x", 1},     {"2400.9", 2400}, {"1e300", 2400}, {"77", 77},
  };
  for (const IntCase& c : cases) {
    Type(Item(STANDIN_INT_EDIT), c.typed);
    EXPECT_EQ(spinner->IntValue(), c.expected) << c.typed;
    EXPECT_EQ(spinner->FloatValue(), static_cast<float>(c.expected)) << c.typed;
  }
  ClickArrow(Item(STANDIN_INT_SPIN), +1);
  EXPECT_EQ(spinner->IntValue(), 78);
  EXPECT_EQ(TextOf(Item(STANDIN_INT_EDIT)), "78");
}

TEST_F(ControlsTest, IntSpinnerClampsItsStartValue) {
  EXPECT_EQ(IntSpinner(1, 2400, 0)->IntValue(), 1);
  EXPECT_EQ(IntSpinner(1, 2400, 5000)->IntValue(), 2400);
  EXPECT_EQ(TextOf(Item(STANDIN_INT_EDIT)), "2400");
  EXPECT_EQ(IntSpinner(10, 1, 5)->IntValue(), 5);  // limits given the wrong way round
}

TEST_F(ControlsTest, IntValueOfAFloatSpinnerTruncates) {
  EXPECT_EQ(FloatSpinner(-10.0f, 10.0f, 2.9f, 0.1f)->IntValue(), 2);
  EXPECT_EQ(FloatSpinner(-10.0f, 10.0f, -2.9f, 0.1f)->IntValue(), -2);
  EXPECT_EQ(FloatSpinner(0.0f, 1e30f, 1e30f, 0.1f)->IntValue(), INT_MAX);
}

TEST_F(ControlsTest, TheArrowsFollowTheirFieldsEnabledState) {
  HWND field = Item(STANDIN_SIDE_EDIT);
  HWND arrows = Item(STANDIN_SIDE_SPIN);
  EXPECT_FALSE(IsWindowEnabled(arrows));  // as the template made it
  ISpinnerControl* spinner =
      SetupIntSpinner(dialog_, STANDIN_SIDE_SPIN, STANDIN_SIDE_EDIT, 1, 2400, 150);
  spinners_.push_back(spinner);
  EXPECT_TRUE(IsWindowEnabled(arrows));  // beside an enabled field
  EnableWindow(field, FALSE);
  EXPECT_FALSE(IsWindowEnabled(arrows));
  EXPECT_FALSE(IsWindowEnabled(InnerEdit(field)));
  ClickArrow(arrows, +1);  // a disabled spinner does not step
  EXPECT_EQ(SendMessageA(arrows, kSpinnerStepMessage, 0, 0), 0);
  EXPECT_EQ(spinner->IntValue(), 150);
  EnableWindow(field, TRUE);
  EXPECT_TRUE(IsWindowEnabled(arrows));
  ClickArrow(arrows, +1);
  EXPECT_EQ(spinner->IntValue(), 151);
}

TEST_F(ControlsTest, UnknownIdsStillGiveAWorkingObject) {
  ISpinnerControl* spinner = SetupFloatSpinner(dialog_, 999, 998, 0.0f, 1.0f, 0.5f, 0.1f);
  spinners_.push_back(spinner);
  ASSERT_NE(spinner, nullptr);
  EXPECT_EQ(spinner->FloatValue(), 0.5f);
  IColorSwatch* swatch = GetIColorSwatch(nullptr, RGB(1, 2, 3), nullptr);
  swatches_.push_back(swatch);
  ASSERT_NE(swatch, nullptr);
  EXPECT_EQ(swatch->Colour(), RGB(1, 2, 3));
}

TEST_F(ControlsTest, ASecondBindingTakesTheWindowsOver) {
  HostSpinnerControl* first = FloatSpinner(0.0f, 1.0f, 0.2f, 0.1f);
  HostSpinnerControl* second = FloatSpinner(0.0f, 1.0f, 0.7f, 0.1f);
  Type(Item(STANDIN_FLOAT_EDIT), "0.9");
  EXPECT_EQ(second->FloatValue(), 0.9f);
  EXPECT_EQ(first->FloatValue(), 0.2f);
}

TEST_F(ControlsTest, SwatchReportsTheColourSetThroughItsMessage) {
  HWND window = Item(STANDIN_SWATCH);
  char name[] = "Color1";
  IColorSwatch* swatch = GetIColorSwatch(window, RGB(10, 20, 30), name);
  swatches_.push_back(swatch);
  EXPECT_EQ(swatch->Colour(), RGB(10, 20, 30));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageA(window, kSwatchGetColourMessage, 0, 0)), RGB(10, 20, 30));
  EXPECT_EQ(SendMessageA(window, kSwatchSetColourMessage, RGB(200, 100, 50), 0), 1);
  EXPECT_EQ(swatch->Colour(), RGB(200, 100, 50));
  SendMessageA(window, kSwatchSetColourMessage, 0xFF00FF00u, 0);  // the top byte is no colour
  EXPECT_EQ(swatch->Colour(), RGB(0, 255, 0));
  // The other swatch is a window of its own.
  IColorSwatch* other = GetIColorSwatch(Item(STANDIN_SECOND_SWATCH), RGB(255, 255, 255), name);
  swatches_.push_back(other);
  EXPECT_EQ(other->Colour(), RGB(255, 255, 255));
  EXPECT_EQ(swatch->Colour(), RGB(0, 255, 0));
}

// The colour chooser that a click on a swatch opens, driven from inside its own modal loop:
// the red, green and blue fields (706 to 708) are filled, then OK or Cancel is pressed.
struct ChooserRun {
  const char* title;
  bool confirm;
  bool seen = false;
  int ticks = 0;
};
ChooserRun* chooserRun = nullptr;
BOOL CALLBACK FindDialog(HWND window, LPARAM found);

BOOL CALLBACK FindChooser(HWND window, LPARAM found) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  if (IsWindowVisible(window) && std::strcmp(title, chooserRun->title) == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK DriveChooser(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND chooser = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindChooser, reinterpret_cast<LPARAM>(&chooser));
  if (!chooser) {
    // A chooser with the wrong title must not hang the test: cancel whatever dialog is open.
    if (++chooserRun->ticks < 50) return;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&chooser));
    KillTimer(nullptr, timer);
    if (chooser) SendMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  KillTimer(nullptr, timer);
  chooserRun->seen = true;
  SetDlgItemTextA(chooser, 706, "12");
  SetDlgItemTextA(chooser, 707, "34");
  SetDlgItemTextA(chooser, 708, "56");
  SendMessageA(chooser, WM_COMMAND, chooserRun->confirm ? IDOK : IDCANCEL, 0);
}

TEST_F(ControlsTest, ClickingASwatchLetsTheUserChooseAColour) {
  HWND window = Item(STANDIN_SWATCH);
  char name[] = "Color1";
  IColorSwatch* swatch = GetIColorSwatch(window, RGB(200, 0, 0), name);
  swatches_.push_back(swatch);
  const LPARAM inside = MAKELPARAM(3, 3);

  ChooserRun cancelled{"Color1", false};
  chooserRun = &cancelled;
  const UINT_PTR cancelTimer = SetTimer(nullptr, 0, 20, DriveChooser);
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  SendMessageA(window, WM_LBUTTONUP, 0, inside);
  KillTimer(nullptr, cancelTimer);
  EXPECT_TRUE(cancelled.seen);  // the chooser opened, titled with the swatch's name
  EXPECT_EQ(swatch->Colour(), RGB(200, 0, 0));

  ChooserRun confirmed{"Color1", true};
  chooserRun = &confirmed;
  const UINT_PTR okTimer = SetTimer(nullptr, 0, 20, DriveChooser);
  SendMessageA(window, WM_KEYDOWN, VK_SPACE, 0);  // the keyboard opens it too
  KillTimer(nullptr, okTimer);
  chooserRun = nullptr;
  EXPECT_TRUE(confirmed.seen);
  EXPECT_EQ(swatch->Colour(), RGB(12, 34, 56));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageA(window, kSwatchGetColourMessage, 0, 0)), RGB(12, 34, 56));
}

TEST_F(ControlsTest, ObjectsOutliveTheirWindows) {
  HostSpinnerControl* spinner = FloatSpinner(0.0f, 1.0f, 0.4f, 0.01f);
  IColorSwatch* swatch = GetIColorSwatch(Item(STANDIN_SWATCH), RGB(9, 8, 7), nullptr);
  swatches_.push_back(swatch);
  Type(Item(STANDIN_FLOAT_EDIT), "0.75");
  DestroyWindow(dialog_);
  dialog_ = nullptr;
  EXPECT_EQ(spinner->FloatValue(), 0.75f);
  EXPECT_EQ(swatch->Colour(), RGB(9, 8, 7));
  spinner->SetFloatValue(0.5f);  // no window left to show it: only the value changes
  EXPECT_EQ(spinner->FloatValue(), 0.5f);
}

TEST(ControlObjects, EachReleasedOnceAndADoubleReleaseIsReported) {
  InitCustomControls(GetModuleHandleA(nullptr));
  const int spinnersBefore = LiveSpinnerObjects();
  const int swatchesBefore = LiveSwatchObjects();
  ISpinnerControl* spinner = SetupFloatSpinner(nullptr, 1, 2, 0.0f, 1.0f, 0.5f, 0.1f);
  ISpinnerControl* counter = SetupIntSpinner(nullptr, 1, 2, 0, 10, 3);
  IColorSwatch* swatch = GetIColorSwatch(nullptr, 0, nullptr);
  EXPECT_EQ(LiveSpinnerObjects(), spinnersBefore + 2);
  EXPECT_EQ(LiveSwatchObjects(), swatchesBefore + 1);
  EXPECT_EQ(LiveControlObjects(), spinnersBefore + swatchesBefore + 3);

  ReleaseISpinner(spinner);
  ReleaseISpinner(counter);
  ReleaseIColorSwatch(swatch);
  EXPECT_EQ(LiveSpinnerObjects(), spinnersBefore);
  EXPECT_EQ(LiveSwatchObjects(), swatchesBefore);

  ClearDebugCapture();
  ReleaseISpinner(spinner);
  EXPECT_NE(std::strstr(DebugCapture(), "ReleaseISpinner"), nullptr) << DebugCapture();
  EXPECT_NE(std::strstr(DebugCapture(), "released twice"), nullptr) << DebugCapture();
  ClearDebugCapture();
  ReleaseIColorSwatch(swatch);
  EXPECT_NE(std::strstr(DebugCapture(), "ReleaseIColorSwatch"), nullptr) << DebugCapture();
  EXPECT_EQ(LiveSpinnerObjects(), spinnersBefore);
  EXPECT_EQ(LiveSwatchObjects(), swatchesBefore);

  ClearDebugCapture();
  ReleaseISpinner(nullptr);
  ReleaseIColorSwatch(nullptr);
  EXPECT_STREQ(DebugCapture(), "");
}

// ---- the modal path, as the plug-in's setup dialog uses it -------------------------------

struct ModalRun {
  ISpinnerControl* depth = nullptr;
  ISpinnerControl* dpi = nullptr;
  IColorSwatch* colour = nullptr;
  float depthAtOk = -1;
  int dpiAtOk = -1;
  COLORREF colourAtOk = 0;
  int timerSteps = 0;
  RECT placed = {};
};
ModalRun* modalRun = nullptr;

INT_PTR CALLBACK ModalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog, GetParent(dialog));
      GetWindowRect(dialog, &modalRun->placed);
      modalRun->depth =
          SetupFloatSpinner(dialog, STANDIN_FLOAT_SPIN, STANDIN_FLOAT_EDIT, 0.0f, 1.0f, 0.4f, 0.01f);
      modalRun->dpi = SetupIntSpinner(dialog, STANDIN_INT_SPIN, STANDIN_INT_EDIT, 1, 2400, 150);
      modalRun->colour = GetIColorSwatch(GetDlgItem(dialog, STANDIN_SWATCH), RGB(0, 0, 0), nullptr);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        modalRun->depthAtOk = modalRun->depth->FloatValue();
        modalRun->dpiAtOk = modalRun->dpi->IntValue();
        modalRun->colourAtOk = modalRun->colour->Colour();
        EndDialog(dialog, 1);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
      }
      return TRUE;
    case WM_DESTROY:
      ReleaseISpinner(modalRun->depth);
      ReleaseISpinner(modalRun->dpi);
      ReleaseIColorSwatch(modalRun->colour);
      return FALSE;
    default:
      return FALSE;
  }
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char name[16];
  GetClassNameA(window, name, sizeof name);
  if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// Drives the open dialog from inside its modal loop, one action per tick.
void CALLBACK DriveModalDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  switch (modalRun->timerSteps++) {
    case 0:
      Type(GetDlgItem(dialog, STANDIN_FLOAT_EDIT), "0.25");
      break;
    case 1:
      ClickArrow(GetDlgItem(dialog, STANDIN_FLOAT_SPIN), +1);
      break;
    case 2:
      Type(GetDlgItem(dialog, STANDIN_INT_EDIT), "12.7");
      SendMessageA(GetDlgItem(dialog, STANDIN_SWATCH), kSwatchSetColourMessage, RGB(1, 2, 3), 0);
      break;
    default:
      KillTimer(nullptr, timer);
      SendMessageA(dialog, WM_COMMAND, IDOK, 0);
      break;
  }
}

TEST(ModalDialog, ValuesSetInsideTheModalLoopAreReadAtOkAndObjectsReleased) {
  InitCustomControls(GetModuleHandleA(nullptr));
  const int before = LiveControlObjects();
  ModalRun run;
  modalRun = &run;
  SetTimer(nullptr, 0, 20, DriveModalDialog);
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr),
                                         MAKEINTRESOURCEA(STANDIN_TEST_DIALOG), nullptr,
                                         ModalDialogProc, 0);
  modalRun = nullptr;
  EXPECT_EQ(result, 1);
  EXPECT_EQ(run.depthAtOk, 0.26f);
  EXPECT_EQ(run.dpiAtOk, 12);
  EXPECT_EQ(run.colourAtOk, RGB(1, 2, 3));
  EXPECT_EQ(LiveControlObjects(), before);
  // Centred over the screen (no parent): the null driver's screen is 1024 x 768.
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int middle = (run.placed.left + run.placed.right) / 2;
  EXPECT_LE(std::abs(middle - screenWidth / 2), 1);
}

// ---- window centring ----------------------------------------------------------------------

TEST(CenterWindowTest, CentresOverTheParentAndStaysOnScreen) {
  HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 100, 50, 400, 300,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HWND child = CreateWindowExA(0, "STATIC", "child", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                               parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(CenterWindow(child, parent), 1);
  RECT placed;
  GetWindowRect(child, &placed);
  EXPECT_EQ(placed.left, 200);
  EXPECT_EQ(placed.top, 150);
  EXPECT_EQ(placed.right - placed.left, 200);  // only moved

  // A parent near the corner would push the child off the screen: it stays inside.
  SetWindowPos(parent, nullptr, -300, -200, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(CenterWindow(child, parent), 1);
  GetWindowRect(child, &placed);
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(placed.left, work.left);
  EXPECT_EQ(placed.top, work.top);

  EXPECT_EQ(CenterWindow(nullptr, parent), 0);
  EXPECT_EQ(CenterWindow(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234)), parent), 0);
  EXPECT_EQ(CenterWindow(child, reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234))), 0);
  DestroyWindow(child);
  DestroyWindow(parent);
}

// ---- colour conversions through core.dll ------------------------------------------------

TEST(CoreColours, ForwardToThePortableConversions) {
  const unsigned long colours[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000,
                                   0x123456, 0x808080, 0xFF00FF, 0x00A5FF};
  for (unsigned long rgb : colours) {
    int h = -1, s = -1, v = -1, ph = -2, ps = -2, pv = -2;
    RGBtoHSV(rgb, &h, &s, &v);
    zavol::RgbToHsv255(static_cast<uint32_t>(rgb), &ph, &ps, &pv);
    EXPECT_EQ(h, ph) << std::hex << rgb;
    EXPECT_EQ(s, ps) << std::hex << rgb;
    EXPECT_EQ(v, pv) << std::hex << rgb;
    EXPECT_EQ(HSVtoRGB(h, s, v), zavol::HsvToRgb255(h, s, v)) << std::hex << rgb;
  }
  EXPECT_EQ(HSVtoRGB(85, 255, 255), 0x00FF00u);
  int v = -1;
  RGBtoHSV(0x0000FF, nullptr, nullptr, &v);  // outputs not wanted may be null
  EXPECT_EQ(v, 255);
}

// ---- debug output -------------------------------------------------------------------------

TEST(DebugOutput, PrintfStyleTextIsCaptured) {
  ClearDebugCapture();
  EXPECT_STREQ(DebugCapture(), "");
  DebugPrint("\nminz=%f", 1.5);
  DebugPrint(" %s %d", "rows", 240);
  EXPECT_STREQ(DebugCapture(), "\nminz=1.500000 rows 240");
  ClearDebugCapture();
  EXPECT_STREQ(DebugCapture(), "");
}

TEST(DebugOutput, LongLinesArriveWhole) {
  ClearDebugCapture();
  const std::string line(5000, 'x');
  DebugPrint("<%s>", line.c_str());
  EXPECT_EQ(std::string(DebugCapture()), "<" + line + ">");
}

TEST(DebugOutput, CaptureKeepsTheNewestTextWithinItsBound) {
  ClearDebugCapture();
  const std::string block(1000, 'a');
  for (int i = 0; i < 200; ++i) DebugPrint("%s%03d\n", block.c_str(), i);
  const std::string captured = DebugCapture();
  EXPECT_LE(captured.size(), 64u * 1024u);
  EXPECT_GE(captured.size(), 60u * 1024u);
  const std::string newest = block + "199\n";
  ASSERT_GE(captured.size(), newest.size());
  EXPECT_EQ(captured.substr(captured.size() - newest.size()), newest);
  EXPECT_EQ(captured.find("a000\n"), std::string::npos);  // the oldest lines are gone
  const std::string huge(100 * 1024, 'z');
  DebugPrint("%s!", huge.c_str());
  const std::string after = DebugCapture();
  EXPECT_EQ(after.size(), 64u * 1024u);
  EXPECT_EQ(after.back(), '!');
  ClearDebugCapture();
}

}  // namespace
