// The host's core library (core.dll): custom dialog controls, window centring and colour
// conversion. Declarations only.
#pragma once

#include <windows.h>

#include "host/api.h"

// A spinner bound to its edit field. The int-value getter directly follows the float-value
// getter in the table; nothing else is called on it by the plug-in.
class ISpinnerControl {
 public:
  virtual float FloatValue() = 0;
  virtual int IntValue() = 0;

 protected:
  ~ISpinnerControl() = default;
};

class IColorSwatch {
 public:
  virtual COLORREF Colour() = 0;

 protected:
  ~IColorSwatch() = default;
};

// Registers the "CustEdit", "SpinnerControl" and "ColorSwatch" window classes.
CORE_API void InitCustomControls(HINSTANCE instance);
CORE_API int CenterWindow(HWND child, HWND parent);
CORE_API ISpinnerControl* SetupFloatSpinner(HWND dialog, int spinId, int editId, float minValue,
                                            float maxValue, float value, float step);
CORE_API ISpinnerControl* SetupIntSpinner(HWND dialog, int spinId, int editId, int minValue,
                                          int maxValue, int value);
CORE_API IColorSwatch* GetIColorSwatch(HWND control, unsigned long colour, char* name);
CORE_API void ReleaseISpinner(ISpinnerControl* spinner);
CORE_API void ReleaseIColorSwatch(IColorSwatch* swatch);
// Hue, saturation and value as integers 0..255.
CORE_API void RGBtoHSV(unsigned long rgb, int* hue, int* saturation, int* value);
CORE_API unsigned long HSVtoRGB(int hue, int saturation, int value);
