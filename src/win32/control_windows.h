#pragma once
// The system control that stands for each kind of form control, and how the control's state is
// written into it. The form window makes the windows and routes their notifications back.

#include <windows.h>

#include <string>

#include "forms/control.h"

namespace tavoro::platform::win32 {

struct ControlWindowClass {
  const wchar_t* class_name;
  DWORD style;
  DWORD ex_style;
  std::wstring text;
};

// Class, styles and initial text of the control's window as it stands now.
ControlWindowClass DescribeControl(const forms::Control& control);

// Writes `property` of the control into its window. Writing what the window already shows
// changes nothing, so a user's edit mirrored back leaves the caret where it is.
void MirrorProperty(const forms::Control& control, HWND window, forms::Property property);

// What creation cannot give: list entries and selection, check state, progress range and
// value, the clip.
void MirrorInitialState(const forms::Control& control, HWND window);

// The text a window shows, in UTF-8.
std::string WindowText(HWND window);

}  // namespace tavoro::platform::win32
