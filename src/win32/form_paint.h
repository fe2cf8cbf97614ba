#pragma once
// The colours and the font the form windows paint with, made once and shared by every window.

#include <windows.h>

#include <map>

#include "forms/geometry.h"
#include "win32/owned_handles.h"

namespace tavoro::platform::win32 {

// A system colour is looked up now, so a change of the user's colour scheme shows at the next
// paint.
COLORREF ResolveColor(forms::Color color);

class BrushCache {
 public:
  // Valid until the cache goes. System colours use the system's own brushes, which follow the
  // scheme and must never be deleted; others are made once per colour.
  HBRUSH BrushFor(forms::Color color);

 private:
  std::map<COLORREF, OwnedBrush> solid_;
};

// The Japanese UI font, 9 points at each DPI a window asks for.
class FontCache {
 public:
  static constexpr wchar_t kFaceName[] = L"MS UI Gothic";
  static constexpr int kPoints = 9;

  // Throws std::system_error when no font can be made.
  HFONT FontFor(int dpi);

 private:
  std::map<int, OwnedFont> fonts_;
};

}  // namespace tavoro::platform::win32
