#include "win32/form_paint.h"

#include <system_error>

namespace tavoro::platform::win32 {
namespace {

int SystemColorIndex(forms::Color color) {
  return static_cast<int>(color & ~0x80000000u);
}

}  // namespace

COLORREF ResolveColor(forms::Color color) {
  if (forms::IsSystemColor(color))
    return ::GetSysColor(SystemColorIndex(color));
  return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

HBRUSH BrushCache::BrushFor(forms::Color color) {
  if (forms::IsSystemColor(color)) {
    if (const HBRUSH system = ::GetSysColorBrush(SystemColorIndex(color)))
      return system;
  }
  // An index the system does not know paints in what GetSysColor gives for it.
  const COLORREF value = ResolveColor(color);
  auto found = solid_.find(value);
  if (found == solid_.end())
    found = solid_.emplace(value, OwnedBrush(::CreateSolidBrush(value))).first;
  return found->second.get();
}

HFONT FontCache::FontFor(int dpi) {
  auto found = fonts_.find(dpi);
  if (found != fonts_.end())
    return found->second.get();
  // A negative height asks for the character height, which is what a point size means.
  OwnedFont font(::CreateFontW(-::MulDiv(kPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFaceName));
  if (!font)
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateFontW");
  return fonts_.emplace(dpi, std::move(font)).first->second.get();
}

}  // namespace tavoro::platform::win32
