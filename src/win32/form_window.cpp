#include "win32/form_window.h"

#include <commctrl.h>

#include <algorithm>
#include <system_error>

#include "forms/controls.h"
#include "win32/control_windows.h"
#include "win32/form_ids.h"
#include "win32/form_layout.h"
#include "win32/twips.h"
#include "win32/wide_text.h"
#include "win32/window_thunk.h"

namespace tavoro::platform::win32 {
namespace {

// How many entries an open drop-down list shows before it scrolls.
constexpr int kComboListLines = 6;

using forms::ControlKind;

// The icon size the system's pictures are drawn at, at 96 DPI.
constexpr int kIconSize = 32;
constexpr int kBaseDpi = 96;
// An etched rule's thickness: its shadow and its highlight.
constexpr int kRulePixels = 2;

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

std::uint64_t NextSerial() {
  static std::uint64_t last = 0;
  return ++last;
}

// Neither border can be resized; a fixed single window can be minimised, a dialog cannot.
DWORD FormStyle(forms::BorderStyle border) {
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  return border == forms::BorderStyle::FixedSingle ? style | WS_MINIMIZEBOX : style;
}

DWORD FormExStyle(forms::BorderStyle border) {
  return border == forms::BorderStyle::FixedDialog ? WS_EX_DLGMODALFRAME : 0;
}

class Counting {
 public:
  explicit Counting(int& count) : count_(count) { ++count_; }
  ~Counting() { --count_; }
  Counting(const Counting&) = delete;
  Counting& operator=(const Counting&) = delete;

 private:
  int& count_;
};

RECT WorkAreaNear(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  const HMONITOR monitor = ::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY);
  if (monitor && ::GetMonitorInfoW(monitor, &info))
    return info.rcWork;
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

// Centred on [start, start + length), but kept on the work area, caption first, so the user can
// always reach the window.
int Centred(int start, int length, int size, int area_start, int area_end) {
  const int at = start + (length - size) / 2;
  return std::max(area_start, std::min(at, area_end - size));
}

}  // namespace

FormWindow::FormWindow(FormWindowHost& host, forms::Form& form, HWND anchor)
    : host_(host), form_(form), serial_(NextSerial()), menu_(BuildMenuBar(form.menu_bar())) {
  const DWORD style = FormStyle(form.border());
  const DWORD ex_style = FormExStyle(form.border());
  const std::wstring class_name = host.FormClass(form);
  const HWND window =
      ::CreateWindowExW(ex_style, class_name.c_str(), Widen(form.caption()).c_str(), style,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                        menu_.menu.get(), host.instance(), this);
  if (!window)
    ThrowLastError("CreateWindowExW");
  window_.reset(window);
  const bool has_menu = static_cast<bool>(menu_.menu);
  // The window destroys its menu from now on.
  menu_.menu.release();
  try {
    dpi_ = WindowDpi(window);
    PlaceWindow(window, style, ex_style, has_menu, anchor);
    CreateControls(window);
  } catch (...) {
    // The window goes with this half-made object; its last messages must not reach it.
    Close();
    throw;
  }
  ready_ = true;
}

FormWindow::~FormWindow() {
  Close();
}

void FormWindow::PlaceWindow(HWND window, DWORD style, DWORD ex_style, bool has_menu, HWND anchor) {
  const int width = TwipsToPixels(form_.client().width, dpi_);
  const int height = TwipsToPixels(form_.client().height, dpi_);
  RECT frame{0, 0, width, height};
  ::AdjustWindowRectEx(&frame, style, has_menu, ex_style);
  int outer_width = frame.right - frame.left;
  int outer_height = frame.bottom - frame.top;
  const RECT area = WorkAreaNear(anchor ? anchor : window);
  RECT around = area;
  if (anchor)
    ::GetWindowRect(anchor, &around);
  const int x =
      Centred(around.left, around.right - around.left, outer_width, area.left, area.right);
  const int y =
      Centred(around.top, around.bottom - around.top, outer_height, area.top, area.bottom);
  ::SetWindowPos(window, nullptr, x, y, outer_width, outer_height, SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar too long for one line wraps and takes client height the estimate left out.
  RECT client{};
  ::GetClientRect(window, &client);
  if (client.right != width || client.bottom != height) {
    outer_width += width - client.right;
    outer_height += height - client.bottom;
    ::SetWindowPos(window, nullptr, 0, 0, outer_width, outer_height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
}

void FormWindow::CreateControls(HWND window) {
  const std::vector<forms::Control*>& controls = form_.controls();
  for (const std::size_t index : CreationOrder(controls))
    CreateControl(window, *controls[index], kFirstControlId + static_cast<int>(index));
}

void FormWindow::CreateControl(HWND window, forms::Control& control, int id) {
  const ControlWindowClass made = DescribeControl(control);
  RECT place = TwipsToPixels(FormBounds(control), dpi_);
  if (control.kind() == ControlKind::Line) {
    if (control.bounds().height > control.bounds().width)
      place.right = place.left + kRulePixels;
    else
      place.bottom = place.top + kRulePixels;
  }
  // A drop-down list's window reaches down over its open list; the closed box keeps the
  // height the font gives it.
  if (control.kind() == ControlKind::ComboBox)
    place.bottom += kComboListLines * (place.bottom - place.top);
  const HWND child = ::CreateWindowExW(
      made.ex_style, made.class_name, made.text.c_str(), made.style, place.left, place.top,
      place.right - place.left, place.bottom - place.top, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), host_.instance(), nullptr);
  if (!child)
    ThrowLastError("CreateWindowExW");
  // Each beneath the ones made before: the z-order is the creation order, and with it the
  // keyboard's order.
  ::SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(host_.fonts().FontFor(dpi_)), FALSE);
  children_.push_back(Child{&control, child, id});
  const Child& added = children_.back();
  MirrorInitialState(control, child);
  if (control.kind() == ControlKind::Picture)
    LoadPicture(added);
  if (control.kind() == ControlKind::Label || control.kind() == ControlKind::Picture) {
    ::SetWindowSubclass(child, &FormWindow::ControlProcedure, static_cast<UINT_PTR>(id),
                        reinterpret_cast<DWORD_PTR>(this));
  }
  if (!control.tooltip.empty())
    AddTooltip(window, added);
}

void FormWindow::LoadPicture(const Child& child) {
  const auto& picture = static_cast<const forms::Picture&>(*child.control);
  if (picture.resource().empty())
    return;
  const int size = ::MulDiv(kIconSize, dpi_, kBaseDpi);
  // A missing resource leaves the picture empty, as a picture box without one is.
  OwnedIcon icon(static_cast<HICON>(::LoadImageW(
      host_.instance(), Widen(picture.resource()).c_str(), IMAGE_ICON, size, size, 0)));
  if (!icon)
    return;
  ::SendMessageW(child.window, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
  icons_.push_back(std::move(icon));
}

void FormWindow::UpdateTooltip(const Child& child) {
  // The old tip, if any, goes; the new text comes as a tip of its own.
  if (tooltip_) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = window_.get();
    tool.uId = reinterpret_cast<UINT_PTR>(child.window);
    ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  if (!child.control->tooltip.empty())
    AddTooltip(window_.get(), child);
}

void FormWindow::AddTooltip(HWND window, const Child& child) {
  if (!tooltip_) {
    // Owned by the form window, so it goes with it.
    tooltip_ =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, host_.instance(), nullptr);
    // A tip is a help, not part of the window: without one the window still works.
    if (!tooltip_)
      return;
    ::SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(host_.fonts().FontFor(dpi_)),
                   FALSE);
  }
  std::wstring text = Widen(child.control->tooltip);
  TTTOOLINFOW tool{};
  // The record size every version of the control accepts.
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(child.window);
  tool.lpszText = text.data();
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND FormWindow::ControlHandle(const forms::Control& control) const {
  const Child* child = ChildOf(&control);
  return child ? child->window : nullptr;
}

void FormWindow::Changed(forms::Control* control, forms::Property property) {
  if (closed_)
    return;
  if (!control) {
    if (property == forms::Property::Text)
      ::SetWindowTextW(window_.get(), Widen(form_.caption()).c_str());
    return;
  }
  const Child* child = ChildOf(control);
  if (!child)
    return;
  if (property == forms::Property::Tooltip) {
    UpdateTooltip(*child);
    return;
  }
  const Counting mirroring(mirroring_);
  MirrorProperty(*control, child->window, property);
}

void FormWindow::ShowForward() {
  const HWND window = window_.get();
  ::ShowWindow(window, ::IsIconic(window) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(window);
  // Painted before the program goes on, so the window is whole while a long handler runs.
  ::UpdateWindow(window);
}

void FormWindow::Hide() {
  ::ShowWindow(window_.get(), SW_HIDE);
}

void FormWindow::Close() {
  closed_ = true;
  ready_ = false;
  window_.reset();
}

LRESULT CALLBACK FormWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = WindowOwner<FormWindow>(window, message, lparam);
  if (message == WM_NCDESTROY)
    DetachWindowOwner(window);
  // A form window is only ever closed by the program: the close box asks the form.
  if (message == WM_CLOSE && (!self || self->closed_))
    return 0;
  if (!self || self->closed_)
    return ::DefWindowProcW(window, message, wparam, lparam);
  const ProcedureScope counted(self->host_);
  try {
    return self->OnMessage(window, message, wparam, lparam);
  } catch (...) {
    // C++ exceptions must not unwind through the system's frames.
    self->host_.Fail(std::current_exception());
    return 0;
  }
}

LRESULT CALLBACK FormWindow::ControlProcedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam, UINT_PTR subclass, DWORD_PTR data) {
  // While the control exists so does its form window, which is deleted only after its
  // children are gone.
  auto* self = reinterpret_cast<FormWindow*>(data);
  const ProcedureScope counted(self->host_);
  if (message == WM_NCDESTROY)
    ::RemoveWindowSubclass(window, &FormWindow::ControlProcedure, subclass);
  const LRESULT result = ::DefSubclassProc(window, message, wparam, lparam);
  if (message != WM_MOUSEMOVE || !self->ready_)
    return result;
  try {
    if (const Child* child = self->ChildById(static_cast<int>(subclass))) {
      forms::Event handler;
      if (child->control->kind() == ControlKind::Label)
        handler = static_cast<forms::Label&>(*child->control).MouseMove;
      else if (child->control->kind() == ControlKind::Picture)
        handler = static_cast<forms::Picture&>(*child->control).MouseMove;
      if (handler)
        handler();
    }
  } catch (...) {
    self->host_.Fail(std::current_exception());
  }
  return result;
}

LRESULT FormWindow::OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (!ready_) {
    return message == WM_CLOSE ? 0 : ::DefWindowProcW(window, message, wparam, lparam);
  }
  switch (message) {
    case WM_COMMAND:
      if (OnCommand(wparam, lparam))
        return 0;
      break;
    case DM_GETDEFID:
      return DefaultButtonId();
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (const HBRUSH brush =
              ControlColors(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam)))
        return reinterpret_cast<LRESULT>(brush);
      break;
    case WM_MOUSEMOVE:
      if (const forms::Event handler = form_.MouseMove)
        handler();
      return 0;
    case WM_CLOSE:
      // Never destroyed here: the form decides, and may refuse.
      form_.RequestClose();
      return 0;
    case WM_ACTIVATE:
      // Focus is kept per window, as dialogs keep it, so coming back lands where the user was.
      if (LOWORD(wparam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(window, focus))
          saved_focus_ = focus;
      } else if (HIWORD(wparam) == 0 && FocusControl(window)) {
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (FocusControl(window))
        return 0;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

bool FormWindow::OnCommand(WPARAM wparam, LPARAM lparam) {
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  if (const Child* child = ChildById(id)) {
    OnControlCommand(*child, code);
    return true;
  }
  if (lparam != 0)
    return false;
  // Escape, through the dialog keys: the cancel button, if the form has one.
  if (id == IDCANCEL) {
    for (const Child& child : children_) {
      if (child.control->kind() == ControlKind::Button &&
          static_cast<forms::Button&>(*child.control).is_cancel) {
        static_cast<forms::Button&>(*child.control).Press();
        return true;
      }
    }
    return true;
  }
  if (forms::MenuItem* item = menu_.ItemOf(id)) {
    item->Choose();
    return true;
  }
  return false;
}

void FormWindow::OnControlCommand(const Child& child, int code) {
  if (mirroring_ > 0)
    return;
  forms::Control& control = *child.control;
  switch (control.kind()) {
    case ControlKind::Button:
      if (code == BN_CLICKED)
        static_cast<forms::Button&>(control).Press();
      return;
    case ControlKind::CheckBox:
      if (code == BN_CLICKED) {
        const bool checked = ::SendMessageW(child.window, BM_GETCHECK, 0, 0) == BST_CHECKED;
        static_cast<forms::CheckBox&>(control).set_checked(checked);
      }
      return;
    case ControlKind::TextBox:
      if (code == EN_CHANGE)
        static_cast<forms::TextBox&>(control).UserEdits(WindowText(child.window));
      return;
    case ControlKind::ListBox:
      if (code == LBN_SELCHANGE) {
        const auto selected = static_cast<int>(::SendMessageW(child.window, LB_GETCURSEL, 0, 0));
        static_cast<forms::ListBox&>(control).set_list_index(selected);
      }
      return;
    case ControlKind::ComboBox:
      if (code == CBN_SELCHANGE) {
        const auto selected = static_cast<int>(::SendMessageW(child.window, CB_GETCURSEL, 0, 0));
        static_cast<forms::ComboBox&>(control).set_list_index(selected);
      }
      return;
    case ControlKind::Label:
      if (code == STN_CLICKED) {
        if (const forms::Event handler = static_cast<forms::Label&>(control).Click)
          handler();
      }
      return;
    default:
      return;
  }
}

LRESULT FormWindow::DefaultButtonId() const {
  // A focused button takes Enter itself; elsewhere Enter goes to the default button.
  const Child* focused = ChildByWindow(::GetFocus());
  if (focused && focused->control->kind() == ControlKind::Button)
    return MAKELRESULT(focused->id, DC_HASDEFID);
  for (const Child& child : children_) {
    if (child.control->kind() == ControlKind::Button &&
        static_cast<const forms::Button&>(*child.control).is_default)
      return MAKELRESULT(child.id, DC_HASDEFID);
  }
  return 0;
}

HBRUSH FormWindow::ControlColors(HDC dc, HWND control_window) {
  const Child* child = ChildByWindow(control_window);
  if (!child)
    return nullptr;
  forms::Color back = 0;
  forms::Color fore = 0;
  switch (child->control->kind()) {
    case ControlKind::TextBox:
      back = static_cast<const forms::TextBox&>(*child->control).back_color();
      fore = forms::kWindowTextColor;
      break;
    case ControlKind::Label: {
      const auto& label = static_cast<const forms::Label&>(*child->control);
      back = label.back_color();
      fore = label.fore_color();
      break;
    }
    default:
      return nullptr;
  }
  ::SetTextColor(dc, ResolveColor(fore));
  ::SetBkColor(dc, ResolveColor(back));
  return host_.brushes().BrushFor(back);
}

bool FormWindow::FocusControl(HWND window) {
  HWND target = saved_focus_;
  if (!target || !::IsWindow(target) || !::IsChild(window, target) || !::IsWindowVisible(target) ||
      !::IsWindowEnabled(target)) {
    target = ::GetNextDlgTabItem(window, nullptr, FALSE);
    if (target && (::GetWindowLongW(target, GWL_STYLE) & WS_TABSTOP) == 0)
      target = nullptr;
  }
  if (!target)
    return false;
  ::SetFocus(target);
  return true;
}

const FormWindow::Child* FormWindow::ChildOf(const forms::Control* control) const {
  const auto found =
      std::find_if(children_.begin(), children_.end(),
                   [control](const Child& child) { return child.control == control; });
  return found == children_.end() ? nullptr : &*found;
}

const FormWindow::Child* FormWindow::ChildById(int id) const {
  const auto found = std::find_if(children_.begin(), children_.end(),
                                  [id](const Child& child) { return child.id == id; });
  return found == children_.end() ? nullptr : &*found;
}

const FormWindow::Child* FormWindow::ChildByWindow(HWND window) const {
  if (!window)
    return nullptr;
  const auto found = std::find_if(children_.begin(), children_.end(),
                                  [window](const Child& child) { return child.window == window; });
  return found == children_.end() ? nullptr : &*found;
}

}  // namespace tavoro::platform::win32
