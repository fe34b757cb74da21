// Extras of the stand-in core.dll's custom controls for the host program and the tests: the
// messages the controls answer beyond the standard ones and the live-object counters. Never
// included by the plug-in.
#pragma once

#include <windows.h>

#include "host/core.h"

// Sent to a "ColorSwatch" window: wParam is the new COLORREF (top byte ignored); answers 1.
// The bound IColorSwatch reports the new colour from then on.
constexpr UINT kSwatchSetColourMessage = WM_USER + 0x201;
// Sent to a "ColorSwatch" window: answers its COLORREF.
constexpr UINT kSwatchGetColourMessage = WM_USER + 0x202;
// Sent to a "SpinnerControl" window: wParam 0 steps up, 1 steps down, as a click on that arrow
// does; answers 1 when the spinner is bound and enabled, else 0.
constexpr UINT kSpinnerStepMessage = WM_USER + 0x203;

// Spinner and swatch objects handed out and not yet released.
CORE_API int LiveSpinnerObjects();
CORE_API int LiveSwatchObjects();
CORE_API int LiveControlObjects();  // the sum of the two

// The spinner objects' own interface: the two getters the plug-in calls stay in slots 0 and 1.
class HostSpinnerControl : public ISpinnerControl {
 public:
  // Set the value as if typed, clamped to the limits; the edit field shows it.
  virtual void SetFloatValue(float value) = 0;
  virtual void SetIntValue(int value) = 0;

 protected:
  ~HostSpinnerControl() = default;
};
