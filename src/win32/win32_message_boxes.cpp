#include "win32/win32_message_boxes.h"

#include <windows.h>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

UINT IconStyle(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::None:
      return 0;
    case MsgBoxIcon::Information:
      return MB_ICONINFORMATION;
    case MsgBoxIcon::Exclamation:
      return MB_ICONEXCLAMATION;
    case MsgBoxIcon::Critical:
      return MB_ICONERROR;
  }
  return 0;
}

}  // namespace

void Win32MessageBoxes::MsgBox(std::string_view text, MsgBoxIcon icon, std::string_view title) {
  // Owned by the active window so it stays above it. With no active window (the program is
  // in the background, or has no window yet) task-modal still disables the thread's windows,
  // so no handler behind the box runs from a click while it is up.
  HWND owner = ::GetActiveWindow();
  UINT style = MB_OK | IconStyle(icon);
  if (owner == nullptr)
    style |= MB_TASKMODAL;
  ::MessageBoxW(owner, Widen(text).c_str(), Widen(title).c_str(), style);
}

}  // namespace tavoro::platform::win32
