// The stand-in core.dll's custom dialog controls: the "CustEdit", "SpinnerControl" and
// "ColorSwatch" window classes and the spinner and swatch objects bound to them. Depends on
// Windows (user32, gdi32, comdlg32) and util.dll's DebugPrint.
#include <windows.h>
#include <commdlg.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <utility>

#include "host/util.h"
#include "standin/controls.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

HINSTANCE CoreInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

constexpr char kEditClass[] = "CustEdit";
constexpr char kSpinnerClass[] = "SpinnerControl";
constexpr char kSwatchClass[] = "ColorSwatch";
constexpr int kInnerEditId = 1;
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatMs = 400;
constexpr UINT kRepeatMs = 60;
constexpr size_t kNameBytes = 64;

LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK SpinnerProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK SwatchProc(HWND, UINT, WPARAM, LPARAM);

class SpinnerObject;
class SwatchObject;

// Per-window state, kept in the window's extra bytes from WM_NCCREATE to WM_NCDESTROY. A bound
// object and its windows point at each other; whichever goes first unhooks the other, so an
// object outlives its dialog and a window outlives its object safely.
struct EditWindow {
  HWND inner = nullptr;  // the real edit control filling the window
  WNDPROC innerProc = nullptr;
  SpinnerObject* spinner = nullptr;
};
struct SpinnerWindow {
  SpinnerObject* spinner = nullptr;
  int pressed = 0;  // +1 up arrow held, -1 down arrow held, 0 none
};
struct SwatchWindow {
  COLORREF colour = 0;
  SwatchObject* swatch = nullptr;
  char name[kNameBytes] = {};
  bool pressed = false;
  bool choosing = false;
};

template <typename State>
State* StateOf(HWND window, WNDPROC proc) {
  if (!window || !IsWindow(window)) return nullptr;
  if (reinterpret_cast<WNDPROC>(GetClassLongPtrA(window, GCLP_WNDPROC)) != proc) return nullptr;
  return reinterpret_cast<State*>(GetWindowLongPtrA(window, 0));
}

// ---- number text ----------------------------------------------------------------------------

// A whole number of the C locale with optional surrounding blanks; anything else (empty text,
// a lone sign, trailing letters, NaN) is not a number, and the value stays what it was.
bool ParseNumber(const char* text, double* result) {
  while (*text == ' ' || *text == '\t') ++text;
  if (!*text) return false;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end || std::isnan(value)) return false;
  *result = value;
  return true;
}

// The shortest of 6 to 9 significant digits that reads back as the same float, so what the
// field shows is exactly the value the getter returns (0.4f shows as "0.4").
void FormatFloat(float value, char* text, size_t size) {
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, size, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) return;
  }
}

// Rounded to 6 significant digits, so that repeated steps of 0.01 stay on 0.41, 0.42...
// instead of collecting binary rounding errors.
float RoundForDisplay(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return std::strtof(text, nullptr);
}

// ---- objects and their registry -----------------------------------------------------------

class SpinnerObject final : public HostSpinnerControl {
 public:
  SpinnerObject(float minValue, float maxValue, float value, float step) : isInt_(false) {
    if (std::isnan(minValue)) minValue = -FLT_MAX;
    if (std::isnan(maxValue)) maxValue = FLT_MAX;
    if (minValue > maxValue) std::swap(minValue, maxValue);
    fMin_ = minValue;
    fMax_ = maxValue;
    fStep_ = std::isnan(step) ? 0.0f : std::fabs(step);
    fValue_ = ClampFloat(std::isnan(value) ? minValue : value);
  }
  SpinnerObject(int minValue, int maxValue, int value) : isInt_(true) {
    if (minValue > maxValue) std::swap(minValue, maxValue);
    iMin_ = minValue;
    iMax_ = maxValue;
    iValue_ = value < iMin_ ? iMin_ : (value > iMax_ ? iMax_ : value);
  }
  ~SpinnerObject() { Unbind(); }

  float FloatValue() override { return isInt_ ? static_cast<float>(iValue_) : fValue_; }
  int IntValue() override {
    if (isInt_) return iValue_;
    // Truncation toward zero, defined for every float the spinner can hold.
    if (fValue_ >= 2147483647.0f) return INT_MAX;
    if (fValue_ <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(fValue_);
  }
  void SetFloatValue(float value) override {
    if (std::isnan(value)) return;
    Accept(value);
    ShowValue();
  }
  void SetIntValue(int value) override {
    Accept(value);
    ShowValue();
  }

  void Bind(HWND spinner, HWND edit);
  void Unbind();
  void ForgetSpinnerWindow() { spinWindow_ = nullptr; }
  void ForgetEditWindow() { editWindow_ = nullptr; }
  HWND SpinnerWindowHandle() const { return spinWindow_; }

  // The field's text changed: typing reaches the value at once, clamped, without the text being
  // rewritten under the caret. Text that is not a number leaves the value as it was.
  void TextChanged() {
    if (updatingText_ || !editWindow_) return;
    char text[128];
    GetWindowTextA(editWindow_, text, sizeof text);
    double number;
    if (ParseNumber(text, &number)) Accept(number);
  }
  // Editing ended (focus left the field): the field shows the value it holds.
  void EditDone() { ShowValue(); }

  // One arrow step; the int spinner steps by 1.
  void Step(int direction) {
    if (isInt_) {
      Accept(static_cast<double>(iValue_) + direction);
    } else {
      Accept(RoundForDisplay(static_cast<double>(fValue_) + direction * static_cast<double>(fStep_)));
    }
    ShowValue();
  }

  void ShowValue() {
    if (!editWindow_) return;
    char text[48];
    if (isInt_) {
      std::snprintf(text, sizeof text, "%d", iValue_);
    } else {
      FormatFloat(fValue_, text, sizeof text);
    }
    updatingText_ = true;
    SetWindowTextA(editWindow_, text);
    updatingText_ = false;
  }

 private:
  float ClampFloat(double value) const {
    if (value < fMin_) return fMin_;
    if (value > fMax_) return fMax_;
    const float result = static_cast<float>(value);
    return result == 0.0f ? 0.0f : result;  // no "-0" in the field
  }
  // The int spinner ignores fractions: 12.7 is 12, -3.9 is -3.
  void Accept(double value) {
    if (isInt_) {
      if (value <= iMin_) {
        iValue_ = iMin_;
      } else if (value >= iMax_) {
        iValue_ = iMax_;
      } else {
        iValue_ = static_cast<int>(std::trunc(value));
      }
    } else {
      fValue_ = ClampFloat(value);
    }
  }

  const bool isInt_;
  float fMin_ = 0, fMax_ = 0, fValue_ = 0, fStep_ = 0;
  int iMin_ = 0, iMax_ = 0, iValue_ = 0;
  HWND spinWindow_ = nullptr;
  HWND editWindow_ = nullptr;
  bool updatingText_ = false;
};

class SwatchObject final : public IColorSwatch {
 public:
  SwatchObject(COLORREF colour, const char* name) : colour_(colour & 0x00FFFFFF) {
    if (name) std::snprintf(name_, sizeof name_, "%s", name);
  }
  ~SwatchObject() { Unbind(); }

  COLORREF Colour() override { return colour_; }

  void Bind(HWND window);
  void Unbind();
  void ForgetWindow() { window_ = nullptr; }
  void ColourChosen(COLORREF colour) { colour_ = colour; }

 private:
  COLORREF colour_;
  char name_[kNameBytes] = {};
  HWND window_ = nullptr;
};

// Objects handed out and not yet released. Never destroyed, so a release during process exit
// still finds them.
std::mutex registryLock;
std::set<ISpinnerControl*>& LiveSpinners() {
  static auto* live = new std::set<ISpinnerControl*>;
  return *live;
}
std::set<IColorSwatch*>& LiveSwatches() {
  static auto* live = new std::set<IColorSwatch*>;
  return *live;
}

void SpinnerObject::Bind(HWND spinner, HWND edit) {
  if (SpinnerWindow* state = StateOf<SpinnerWindow>(spinner, SpinnerProc)) {
    if (state->spinner) state->spinner->ForgetSpinnerWindow();
    state->spinner = this;
    spinWindow_ = spinner;
  }
  if (EditWindow* state = StateOf<EditWindow>(edit, EditProc)) {
    if (state->spinner) state->spinner->ForgetEditWindow();
    state->spinner = this;
    editWindow_ = edit;
  }
  // The arrows follow their field: a spinner beside a disabled field is disabled too.
  if (spinWindow_ && editWindow_) EnableWindow(spinWindow_, IsWindowEnabled(editWindow_));
  ShowValue();
}

void SpinnerObject::Unbind() {
  if (SpinnerWindow* state = StateOf<SpinnerWindow>(spinWindow_, SpinnerProc)) {
    if (state->spinner == this) state->spinner = nullptr;
  }
  if (EditWindow* state = StateOf<EditWindow>(editWindow_, EditProc)) {
    if (state->spinner == this) state->spinner = nullptr;
  }
  spinWindow_ = editWindow_ = nullptr;
}

void SwatchObject::Bind(HWND window) {
  if (SwatchWindow* state = StateOf<SwatchWindow>(window, SwatchProc)) {
    if (state->swatch) state->swatch->ForgetWindow();
    state->swatch = this;
    state->colour = colour_;
    std::memcpy(state->name, name_, sizeof name_);
    window_ = window;
    InvalidateRect(window, nullptr, TRUE);
  }
}

void SwatchObject::Unbind() {
  if (SwatchWindow* state = StateOf<SwatchWindow>(window_, SwatchProc)) {
    if (state->swatch == this) state->swatch = nullptr;
  }
  window_ = nullptr;
}

// ---- "CustEdit": a window holding a real edit control -------------------------------------

LRESULT CALLBACK InnerEditProc(HWND inner, UINT message, WPARAM wParam, LPARAM lParam) {
  EditWindow* state = StateOf<EditWindow>(GetParent(inner), EditProc);
  if (!state || !state->innerProc) return DefWindowProcA(inner, message, wParam, lParam);
  // The arrow keys in the field step its spinner, as the arrow buttons do.
  if (message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN) && state->spinner) {
    state->spinner->TextChanged();
    state->spinner->Step(wParam == VK_UP ? 1 : -1);
    return 0;
  }
  return CallWindowProcA(state->innerProc, inner, message, wParam, lParam);
}

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  EditWindow* state = reinterpret_cast<EditWindow*>(GetWindowLongPtrA(window, 0));
  switch (message) {
    case WM_NCCREATE: {
      EditWindow* created = new (std::nothrow) EditWindow;
      if (!created) return FALSE;
      SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(created));
      // The dialog manager tabs into the inner field rather than onto this window.
      SetWindowLongPtrA(window, GWL_EXSTYLE,
                        GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
      break;
    }
    case WM_CREATE: {
      const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_LEFT;
      if (create->style & WS_DISABLED) style |= WS_DISABLED;
      state->inner = CreateWindowExA(0, "EDIT", create->lpszName, style, 0, 0, create->cx,
                                     create->cy, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInnerEditId)),
                                     CoreInstance(), nullptr);
      if (!state->inner) return -1;
      state->innerProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
          state->inner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(InnerEditProc)));
      return 0;
    }
    case WM_SIZE:
      if (state && state->inner) MoveWindow(state->inner, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
    case WM_SETFONT:
    case WM_GETFONT:
      if (state && state->inner) return SendMessageA(state->inner, message, wParam, lParam);
      break;
    case WM_SETFOCUS:
      if (state && state->inner) SetFocus(state->inner);
      return 0;
    case WM_ENABLE:
      if (state && state->inner) EnableWindow(state->inner, static_cast<BOOL>(wParam));
      // The bound spinner's arrows follow the field.
      if (state && state->spinner && state->spinner->SpinnerWindowHandle()) {
        EnableWindow(state->spinner->SpinnerWindowHandle(), static_cast<BOOL>(wParam));
      }
      return 0;
    case WM_COMMAND:
      if (state && reinterpret_cast<HWND>(lParam) == state->inner && state->inner) {
        const WORD code = HIWORD(wParam);
        if (state->spinner && code == EN_CHANGE) state->spinner->TextChanged();
        if (state->spinner && code == EN_KILLFOCUS) state->spinner->EditDone();
        // The dialog hears from this field as from any edit control.
        if (HWND parent = GetParent(window)) {
          SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code),
                       reinterpret_cast<LPARAM>(window));
        }
        return 0;
      }
      break;
    case WM_NCDESTROY:
      if (state) {
        if (state->spinner) state->spinner->ForgetEditWindow();
        if (state->inner && state->innerProc) {
          SetWindowLongPtrA(state->inner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->innerProc));
        }
        SetWindowLongPtrA(window, 0, 0);
        delete state;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// ---- "SpinnerControl": up and down arrows --------------------------------------------------

// Acting on a disabled spinner or one without an object does nothing.
bool StepSpinner(HWND window, SpinnerWindow* state, int direction) {
  if (!state || !state->spinner || !IsWindowEnabled(window)) return false;
  state->spinner->TextChanged();  // a value being typed counts before the step
  state->spinner->Step(direction);
  return true;
}

void PaintSpinner(HWND window, SpinnerWindow* state) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const LONG middle = (client.top + client.bottom) / 2;
  RECT up = {client.left, client.top, client.right, middle};
  RECT down = {client.left, middle, client.right, client.bottom};
  const UINT inactive = IsWindowEnabled(window) ? 0 : DFCS_INACTIVE;
  DrawFrameControl(dc, &up, DFC_SCROLL,
                   DFCS_SCROLLUP | inactive | (state && state->pressed > 0 ? DFCS_PUSHED : 0));
  DrawFrameControl(dc, &down, DFC_SCROLL,
                   DFCS_SCROLLDOWN | inactive | (state && state->pressed < 0 ? DFCS_PUSHED : 0));
  if (GetFocus() == window) {
    RECT focus = client;
    InflateRect(&focus, -1, -1);
    DrawFocusRect(dc, &focus);
  }
  EndPaint(window, &paint);
}

void StopRepeat(HWND window, SpinnerWindow* state) {
  KillTimer(window, kRepeatTimer);
  if (state && state->pressed) {
    state->pressed = 0;
    InvalidateRect(window, nullptr, FALSE);
  }
}

LRESULT CALLBACK SpinnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SpinnerWindow* state = reinterpret_cast<SpinnerWindow*>(GetWindowLongPtrA(window, 0));
  switch (message) {
    case WM_NCCREATE: {
      SpinnerWindow* created = new (std::nothrow) SpinnerWindow;
      if (!created) return FALSE;
      SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(created));
      break;
    }
    case WM_PAINT:
      PaintSpinner(window, state);
      return 0;
    case WM_LBUTTONDOWN: {
      if (!state || !IsWindowEnabled(window)) return 0;
      RECT client;
      GetClientRect(window, &client);
      const int y = static_cast<short>(HIWORD(lParam));
      const int direction = y < (client.top + client.bottom) / 2 ? 1 : -1;
      if (!StepSpinner(window, state, direction)) return 0;
      state->pressed = direction;
      SetCapture(window);
      SetTimer(window, kRepeatTimer, kFirstRepeatMs, nullptr);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kRepeatTimer && state && state->pressed) {
        SetTimer(window, kRepeatTimer, kRepeatMs, nullptr);
        if (!StepSpinner(window, state, state->pressed)) StopRepeat(window, state);
      }
      return 0;
    case WM_LBUTTONUP:
      StopRepeat(window, state);
      if (GetCapture() == window) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      StopRepeat(window, state);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN) {
        StepSpinner(window, state, wParam == VK_UP ? 1 : -1);
        return 0;
      }
      break;
    case WM_ENABLE:
      if (!wParam) StopRepeat(window, state);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case kSpinnerStepMessage:
      return StepSpinner(window, state, wParam == 0 ? 1 : -1) ? 1 : 0;
    case WM_NCDESTROY:
      if (state) {
        KillTimer(window, kRepeatTimer);
        if (state->spinner) state->spinner->ForgetSpinnerWindow();
        SetWindowLongPtrA(window, 0, 0);
        delete state;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// ---- "ColorSwatch": a patch of colour that opens the colour chooser -------------------------

COLORREF customColours[16];  // the chooser's custom colours, kept for the process

UINT_PTR CALLBACK ChooserHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const CHOOSECOLORA* choose = reinterpret_cast<const CHOOSECOLORA*>(lParam);
    const char* name = reinterpret_cast<const char*>(choose->lCustData);
    if (name && *name) SetWindowTextA(dialog, name);  // the swatch's name as the title
  }
  return 0;
}

void SetSwatchColour(HWND window, SwatchWindow* state, COLORREF colour) {
  state->colour = colour & 0x00FFFFFF;
  if (state->swatch) state->swatch->ColourChosen(state->colour);
  InvalidateRect(window, nullptr, TRUE);
}

void ChooseSwatchColour(HWND window, SwatchWindow* state) {
  if (!state || state->choosing || !IsWindowEnabled(window)) return;
  char name[kNameBytes];
  std::memcpy(name, state->name, sizeof name);
  CHOOSECOLORA choose = {};
  choose.lStructSize = sizeof choose;
  choose.hwndOwner = GetAncestor(window, GA_ROOT);
  choose.rgbResult = state->colour;
  choose.lpCustColors = customColours;
  choose.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK;
  choose.lCustData = reinterpret_cast<LPARAM>(name);
  choose.lpfnHook = ChooserHook;
  state->choosing = true;
  const BOOL chosen = ChooseColorA(&choose);
  // The chooser runs a message loop: the swatch may have been destroyed meanwhile.
  SwatchWindow* still = StateOf<SwatchWindow>(window, SwatchProc);
  if (!still) return;
  still->choosing = false;
  if (chosen) SetSwatchColour(window, still, choose.rgbResult);
}

void PaintSwatch(HWND window, const SwatchWindow* state) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const bool enabled = IsWindowEnabled(window);
  HBRUSH frame = GetSysColorBrush(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
  FrameRect(dc, &client, frame);
  RECT inside = client;
  InflateRect(&inside, -1, -1);
  if (HBRUSH fill = CreateSolidBrush(state ? state->colour : 0)) {
    FillRect(dc, &inside, fill);
    DeleteObject(fill);
  }
  if (GetFocus() == window) {
    InflateRect(&inside, -1, -1);
    DrawFocusRect(dc, &inside);
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK SwatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SwatchWindow* state = reinterpret_cast<SwatchWindow*>(GetWindowLongPtrA(window, 0));
  switch (message) {
    case WM_NCCREATE: {
      SwatchWindow* created = new (std::nothrow) SwatchWindow;
      if (!created) return FALSE;
      SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(created));
      break;
    }
    case WM_PAINT:
      PaintSwatch(window, state);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      if (state && IsWindowEnabled(window)) {
        SetFocus(window);
        state->pressed = true;
        SetCapture(window);
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!state || !state->pressed) return 0;
      state->pressed = false;
      if (GetCapture() == window) ReleaseCapture();
      RECT client;
      GetClientRect(window, &client);
      const POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (PtInRect(&client, at)) ChooseSwatchColour(window, state);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (state) state->pressed = false;
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) {
        ChooseSwatchColour(window, state);
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case kSwatchSetColourMessage:
      if (!state) return 0;
      SetSwatchColour(window, state, static_cast<COLORREF>(wParam));
      return 1;
    case kSwatchGetColourMessage:
      return state ? static_cast<LRESULT>(state->colour) : 0;
    case WM_NCDESTROY:
      if (state) {
        if (state->swatch) state->swatch->ForgetWindow();
        SetWindowLongPtrA(window, 0, 0);
        delete state;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterControlClass(const char* name, WNDPROC proc, HCURSOR cursor, int background) {
  WNDCLASSEXA existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(CoreInstance(), name, &existing)) return true;
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  // Global, so that dialogs of every module in the process (the plug-in's) find them.
  windowClass.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = proc;
  windowClass.cbWndExtra = sizeof(LONG_PTR);
  windowClass.hInstance = CoreInstance();
  windowClass.hCursor = cursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
  windowClass.lpszClassName = name;
  return RegisterClassExA(&windowClass) != 0;
}

}  // namespace

// Registered with this library's own instance; the argument (the caller's module) is not
// needed for global classes.
void InitCustomControls(HINSTANCE) {
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  RegisterControlClass(kEditClass, EditProc, arrow, COLOR_WINDOW);
  RegisterControlClass(kSpinnerClass, SpinnerProc, arrow, COLOR_BTNFACE);
  RegisterControlClass(kSwatchClass, SwatchProc, arrow, COLOR_BTNFACE);
}

// An id naming no spinner or edit field of ours still gives a working object: it keeps its
// value, so a dialog that reads it without a test gets the starting value back.
ISpinnerControl* SetupFloatSpinner(HWND dialog, int spinId, int editId, float minValue,
                                   float maxValue, float value, float step) {
  SpinnerObject* spinner = new (std::nothrow) SpinnerObject(minValue, maxValue, value, step);
  if (!spinner) return nullptr;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    LiveSpinners().insert(spinner);
  }
  spinner->Bind(GetDlgItem(dialog, spinId), GetDlgItem(dialog, editId));
  return spinner;
}

ISpinnerControl* SetupIntSpinner(HWND dialog, int spinId, int editId, int minValue, int maxValue,
                                 int value) {
  SpinnerObject* spinner = new (std::nothrow) SpinnerObject(minValue, maxValue, value);
  if (!spinner) return nullptr;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    LiveSpinners().insert(spinner);
  }
  spinner->Bind(GetDlgItem(dialog, spinId), GetDlgItem(dialog, editId));
  return spinner;
}

IColorSwatch* GetIColorSwatch(HWND control, unsigned long colour, char* name) {
  SwatchObject* swatch = new (std::nothrow) SwatchObject(static_cast<COLORREF>(colour), name);
  if (!swatch) return nullptr;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    LiveSwatches().insert(swatch);
  }
  swatch->Bind(control);
  return swatch;
}

// Releasing an object twice, or one never handed out, is reported and otherwise ignored.
void ReleaseISpinner(ISpinnerControl* spinner) {
  if (!spinner) return;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    if (LiveSpinners().erase(spinner) == 0) {
      DebugPrint("ReleaseISpinner: %p is not a live spinner (released twice?)\n",
                 static_cast<void*>(spinner));
      return;
    }
  }
  delete static_cast<SpinnerObject*>(spinner);
}

void ReleaseIColorSwatch(IColorSwatch* swatch) {
  if (!swatch) return;
  {
    std::lock_guard<std::mutex> hold(registryLock);
    if (LiveSwatches().erase(swatch) == 0) {
      DebugPrint("ReleaseIColorSwatch: %p is not a live swatch (released twice?)\n",
                 static_cast<void*>(swatch));
      return;
    }
  }
  delete static_cast<SwatchObject*>(swatch);
}

int LiveSpinnerObjects() {
  std::lock_guard<std::mutex> hold(registryLock);
  return static_cast<int>(LiveSpinners().size());
}

int LiveSwatchObjects() {
  std::lock_guard<std::mutex> hold(registryLock);
  return static_cast<int>(LiveSwatches().size());
}

int LiveControlObjects() { return LiveSpinnerObjects() + LiveSwatchObjects(); }
