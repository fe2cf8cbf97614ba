#include "win32/twips.h"

namespace tavoro::platform::win32 {
namespace {

constexpr int kDefaultDpi = 96;
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Looked up, not linked: the program also runs on Windows versions that lack it.
GetDpiForWindowFunction FindGetDpiForWindow() {
  const HMODULE user = ::GetModuleHandleW(L"user32.dll");
  return user ? reinterpret_cast<GetDpiForWindowFunction>(
                    reinterpret_cast<void*>(::GetProcAddress(user, "GetDpiForWindow")))
              : nullptr;
}

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen)
    ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDefaultDpi;
}

}  // namespace

int WindowDpi(HWND window) {
  static const GetDpiForWindowFunction get_dpi_for_window = FindGetDpiForWindow();
  if (get_dpi_for_window && window) {
    if (const UINT dpi = get_dpi_for_window(window); dpi != 0)
      return static_cast<int>(dpi);
  }
  return ScreenDpi();
}

RECT TwipsToPixels(const forms::Bounds& bounds, int dpi) {
  return RECT{TwipsToPixels(bounds.left, dpi), TwipsToPixels(bounds.top, dpi),
              TwipsToPixels(bounds.left + bounds.width, dpi),
              TwipsToPixels(bounds.top + bounds.height, dpi)};
}

}  // namespace tavoro::platform::win32
