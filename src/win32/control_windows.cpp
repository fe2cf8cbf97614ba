#include "win32/control_windows.h"

#include <commctrl.h>

#include "forms/controls.h"
#include "win32/form_layout.h"
#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

using forms::ControlKind;
using forms::Property;

std::wstring WideWindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void SetText(HWND window, const std::string& text) {
  const std::wstring wide = Widen(text);
  if (WideWindowText(window) != wide)
    ::SetWindowTextW(window, wide.c_str());
}

// Colours come from the form's WM_CTLCOLOR* answers; painting now, not at the next idle
// moment, so what the program set is on screen before its handler returns.
void Repaint(HWND window) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// The messages that fill a list box and a drop-down list, which differ only in their numbers.
struct ItemMessages {
  UINT reset, add, select;
};

ItemMessages ItemMessagesOf(ControlKind kind) {
  if (kind == ControlKind::ComboBox)
    return {CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL};
  return {LB_RESETCONTENT, LB_ADDSTRING, LB_SETCURSEL};
}

void MirrorItems(const forms::ItemList& list, HWND window) {
  const ItemMessages messages = ItemMessagesOf(list.kind());
  ::SendMessageW(window, WM_SETREDRAW, FALSE, 0);
  ::SendMessageW(window, messages.reset, 0, 0);
  for (const std::string& item : list.items())
    ::SendMessageW(window, messages.add, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  ::SendMessageW(window, messages.select, static_cast<WPARAM>(list.list_index()), 0);
  ::SendMessageW(window, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(window, nullptr, TRUE);
}

// A clip that cannot be opened leaves the control empty; the window goes on without it.
void OpenClip(const forms::Animation& animation, HWND window) {
  if (!animation.clip().empty()) {
    const std::wstring path = Widen(animation.clip());
    if (::SendMessageW(window, ACM_OPENW, 0, reinterpret_cast<LPARAM>(path.c_str())))
      return;
  }
  ::SendMessageW(window, ACM_OPENW, 0, 0);
}

DWORD KindStyle(const forms::Control& control) {
  switch (control.kind()) {
    case ControlKind::TextBox:
      return ES_LEFT | ES_AUTOHSCROLL |
             (static_cast<const forms::TextBox&>(control).masked ? ES_PASSWORD : 0);
    case ControlKind::Label:
      // Notifying statics take the mouse: clicks and moves reach the label, not the form.
      return SS_LEFT | SS_NOTIFY;
    case ControlKind::Button:
      return static_cast<const forms::Button&>(control).is_default ? BS_DEFPUSHBUTTON
                                                                   : BS_PUSHBUTTON;
    case ControlKind::CheckBox:
      return BS_AUTOCHECKBOX;
    case ControlKind::ListBox:
      // Exactly the designed height, not rounded down to whole lines.
      return LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
    case ControlKind::ComboBox:
      // Chosen from the entries only, never typed: the list holds what really exists.
      return CBS_DROPDOWNLIST | WS_VSCROLL;
    case ControlKind::ProgressBar:
      return 0;
    case ControlKind::Frame:
      return BS_GROUPBOX;
    case ControlKind::Picture:
      // Centred in the designed box instead of the box shrinking to the icon.
      return SS_ICON | SS_CENTERIMAGE | SS_NOTIFY;
    case ControlKind::Line: {
      const forms::Bounds& bounds = control.bounds();
      return bounds.height > bounds.width ? SS_ETCHEDVERT : SS_ETCHEDHORZ;
    }
    case ControlKind::Animation:
      return ACS_AUTOPLAY | ACS_TRANSPARENT | ACS_CENTER;
  }
  return 0;
}

const wchar_t* KindClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::TextBox:
      return WC_EDITW;
    case ControlKind::Label:
    case ControlKind::Picture:
    case ControlKind::Line:
      return WC_STATICW;
    case ControlKind::Button:
    case ControlKind::CheckBox:
    case ControlKind::Frame:
      return WC_BUTTONW;
    case ControlKind::ListBox:
      return WC_LISTBOXW;
    case ControlKind::ComboBox:
      return WC_COMBOBOXW;
    case ControlKind::ProgressBar:
      return PROGRESS_CLASSW;
    case ControlKind::Animation:
      return ANIMATE_CLASSW;
  }
  return WC_STATICW;
}

std::string InitialText(const forms::Control& control) {
  switch (control.kind()) {
    case ControlKind::TextBox:
      return static_cast<const forms::TextBox&>(control).text();
    case ControlKind::Label:
      return static_cast<const forms::Label&>(control).caption();
    case ControlKind::Button:
      return static_cast<const forms::Button&>(control).caption();
    case ControlKind::CheckBox:
      return static_cast<const forms::CheckBox&>(control).caption();
    case ControlKind::Frame:
      return static_cast<const forms::Frame&>(control).caption();
    default:
      return {};
  }
}

}  // namespace

ControlWindowClass DescribeControl(const forms::Control& control) {
  const ControlKind kind = control.kind();
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | KindStyle(control);
  if (control.visible())
    style |= WS_VISIBLE;
  if (!control.enabled())
    style |= WS_DISABLED;
  if (TakesFocus(kind) && control.tab_index >= 0)
    style |= WS_TABSTOP;
  const DWORD ex_style =
      (kind == ControlKind::TextBox || kind == ControlKind::ListBox) ? WS_EX_CLIENTEDGE : 0;
  return {KindClass(kind), style, ex_style, Widen(InitialText(control))};
}

void MirrorProperty(const forms::Control& control, HWND window, Property property) {
  switch (property) {
    case Property::Enabled:
      ::EnableWindow(window, control.enabled());
      return;
    case Property::Visible:
      ::ShowWindow(window, control.visible() ? SW_SHOWNA : SW_HIDE);
      return;
    case Property::BackColor:
    case Property::ForeColor:
      Repaint(window);
      return;
    default:
      break;
  }
  switch (control.kind()) {
    case ControlKind::TextBox:
      if (property == Property::Text)
        SetText(window, static_cast<const forms::TextBox&>(control).text());
      return;
    case ControlKind::Label:
      if (property == Property::Text)
        SetText(window, static_cast<const forms::Label&>(control).caption());
      return;
    case ControlKind::Frame:
      if (property == Property::Text)
        SetText(window, static_cast<const forms::Frame&>(control).caption());
      return;
    case ControlKind::CheckBox:
      if (property == Property::Value) {
        const bool checked = static_cast<const forms::CheckBox&>(control).checked();
        ::SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      return;
    case ControlKind::ListBox:
    case ControlKind::ComboBox: {
      const auto& list = static_cast<const forms::ItemList&>(control);
      if (property == Property::Items)
        MirrorItems(list, window);
      else if (property == Property::Selection)
        ::SendMessageW(window, ItemMessagesOf(list.kind()).select,
                       static_cast<WPARAM>(list.list_index()), 0);
      return;
    }
    case ControlKind::ProgressBar:
      if (property == Property::Value) {
        const int value = static_cast<const forms::ProgressBar&>(control).value();
        ::SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(value), 0);
      }
      return;
    case ControlKind::Animation:
      if (property == Property::Clip)
        OpenClip(static_cast<const forms::Animation&>(control), window);
      return;
    default:
      return;
  }
}

void MirrorInitialState(const forms::Control& control, HWND window) {
  switch (control.kind()) {
    case ControlKind::CheckBox:
      MirrorProperty(control, window, Property::Value);
      return;
    case ControlKind::ListBox:
    case ControlKind::ComboBox:
      MirrorProperty(control, window, Property::Items);
      return;
    case ControlKind::ProgressBar: {
      const auto& bar = static_cast<const forms::ProgressBar&>(control);
      ::SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(bar.min()),
                     static_cast<LPARAM>(bar.max()));
      MirrorProperty(control, window, Property::Value);
      return;
    }
    case ControlKind::Animation:
      if (!static_cast<const forms::Animation&>(control).clip().empty())
        MirrorProperty(control, window, Property::Clip);
      return;
    default:
      return;
  }
}

std::string WindowText(HWND window) {
  return Narrow(WideWindowText(window));
}

}  // namespace tavoro::platform::win32
