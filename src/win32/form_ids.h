#pragma once
// How the windows of a form are named to the system, fixed so that another process (an
// end-to-end check, an accessibility tool) can find every control without knowing its handle.
//
// - A form's window has the class kFormClassPrefix + the form's name ("TavoroForm.frmMain") and
//   its caption as title.
// - The control at index i of Form::controls() (the order the form declares its controls in)
//   is a child of that window with the dialog id kFirstControlId + i: GetDlgItem finds it.
// - Menu items are numbered depth-first over the menu bar from kFirstMenuId, drop-down entries
//   and separators included, so the numbers follow the menu's written order.

namespace tavoro::platform::win32 {

inline constexpr int kFirstControlId = 1000;
inline constexpr int kFirstMenuId = 40000;
inline constexpr wchar_t kFormClassPrefix[] = L"TavoroForm.";

}  // namespace tavoro::platform::win32
