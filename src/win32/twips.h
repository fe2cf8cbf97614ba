#pragma once
// Twips (1/1440 inch), the unit the forms are designed in, to pixels at a window's DPI.

#include <windows.h>

#include "forms/geometry.h"

namespace tavoro::platform::win32 {

inline constexpr int kTwipsPerInch = 1440;

// The DPI the window is drawn at: its own where the system knows one per window (Windows 10
// 1607 and later), else the screen's, which is what a system-aware program is scaled to.
int WindowDpi(HWND window);

inline int TwipsToPixels(int twips, int dpi) {
  return ::MulDiv(twips, dpi, kTwipsPerInch);
}

// The rectangle `bounds` covers, in pixels from the same origin. Edges are scaled one by one,
// not summed, so neighbours designed to touch still touch.
RECT TwipsToPixels(const forms::Bounds& bounds, int dpi);

}  // namespace tavoro::platform::win32
