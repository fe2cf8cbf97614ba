#pragma once
// From a window procedure, which the system calls with a window handle only, to the object the
// window works for.

#include <windows.h>

namespace tavoro::platform::win32 {

// The object the window was created for: the pointer given as CreateWindowExW's last argument,
// kept with the window from WM_NCCREATE on. Nothing for the few messages that come before it
// (WM_GETMINMAXINFO), and nothing after DetachWindowOwner.
template <typename Owner>
Owner* WindowOwner(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  return reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Parts the window from its object, so that the messages of the window's own destruction never
// reach an object that is being destroyed.
inline void DetachWindowOwner(HWND window) {
  ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

}  // namespace tavoro::platform::win32
