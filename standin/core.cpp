// The stand-in core.dll's plain functions: window centring and the colour conversions. The
// conversions are the portable ones the command-line tool links too, so both agree exactly.
#include <windows.h>

#include "host/core.h"
#include "render/hsv.h"

// Centred over the parent's window rectangle, or over the work area when there is no parent,
// then moved back inside the work area so that the caption stays reachable.
int CenterWindow(HWND child, HWND parent) {
  if (!child || !IsWindow(child)) return 0;
  if (parent && !IsWindow(parent)) return 0;
  RECT childRect, overRect, workArea;
  if (!GetWindowRect(child, &childRect)) return 0;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0)) {
    workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  if (!parent || IsIconic(parent) || !GetWindowRect(parent, &overRect)) overRect = workArea;
  const LONG width = childRect.right - childRect.left;
  const LONG height = childRect.bottom - childRect.top;
  LONG left = overRect.left + ((overRect.right - overRect.left) - width) / 2;
  LONG top = overRect.top + ((overRect.bottom - overRect.top) - height) / 2;
  if (left + width > workArea.right) left = workArea.right - width;
  if (top + height > workArea.bottom) top = workArea.bottom - height;
  if (left < workArea.left) left = workArea.left;
  if (top < workArea.top) top = workArea.top;
  POINT position = {left, top};
  // A child window is positioned in its parent's client coordinates.
  if (GetWindowLongPtrA(child, GWL_STYLE) & WS_CHILD) {
    MapWindowPoints(HWND_DESKTOP, GetParent(child), &position, 1);
  }
  return SetWindowPos(child, nullptr, position.x, position.y, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
             ? 1
             : 0;
}

void RGBtoHSV(unsigned long rgb, int* hue, int* saturation, int* value) {
  int h, s, v;
  zavol::RgbToHsv255(static_cast<uint32_t>(rgb), &h, &s, &v);
  if (hue) *hue = h;
  if (saturation) *saturation = s;
  if (value) *value = v;
}

unsigned long HSVtoRGB(int hue, int saturation, int value) {
  return zavol::HsvToRgb255(hue, saturation, value);
}
