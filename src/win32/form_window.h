#pragma once
// The window of one loaded form: a top-level window with a child window per control, and the
// window procedure that turns what the user does into the controls' events.
//
// A handler may unload the form (and its owner delete it) while the procedure that raised the
// event is still running, so after raising an event the procedure touches neither the form nor
// its controls, and a closed window is deleted only once no procedure of it is running (the
// host keeps count).

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "forms/form.h"
#include "win32/form_menu.h"
#include "win32/form_paint.h"
#include "win32/owned_handles.h"

namespace tavoro::platform::win32 {

class FormWindowHost {
 public:
  virtual HINSTANCE instance() const = 0;
  virtual BrushCache& brushes() = 0;
  virtual FontCache& fonts() = 0;
  // The registered window class for this form's window.
  virtual std::wstring FormClass(const forms::Form& form) = 0;
  // A failure caught in a window procedure: it must not cross the system's frames.
  virtual void Fail(std::exception_ptr failure) = 0;
  // Bracket every window procedure of a form window.
  virtual void EnterProcedure() = 0;
  virtual void LeaveProcedure() = 0;

 protected:
  ~FormWindowHost() = default;
};

// One entry into a form window's code from the system, counted for as long as it runs.
class ProcedureScope {
 public:
  explicit ProcedureScope(FormWindowHost& host) : host_(host) { host_.EnterProcedure(); }
  ~ProcedureScope() { host_.LeaveProcedure(); }
  ProcedureScope(const ProcedureScope&) = delete;
  ProcedureScope& operator=(const ProcedureScope&) = delete;

 private:
  FormWindowHost& host_;
};

class FormWindow {
 public:
  // Makes the window hidden, its client area the form's size at the window's DPI, centred on
  // `anchor` (or the screen when there is none), with every control in its designed place.
  // Throws std::system_error when the system refuses a window.
  FormWindow(FormWindowHost& host, forms::Form& form, HWND anchor);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND handle() const { return window_.get(); }
  // Tells this window from a later one made for a form at the same address.
  std::uint64_t serial() const { return serial_; }
  HWND ControlHandle(const forms::Control& control) const;

  void Changed(forms::Control* control, forms::Property property);
  // Shows the window and brings it forward; a shown window only comes forward.
  void ShowForward();
  void Hide();
  // Destroys the window. From here on no message reaches the form, which may already be half
  // destroyed (this is also called from the form's destructor).
  void Close();

 private:
  struct Child {
    forms::Control* control;
    // A child window: destroyed with the form window, which owns it as the system defines.
    HWND window;
    int id;
  };

  static LRESULT CALLBACK ControlProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                           UINT_PTR subclass, DWORD_PTR self);

  void PlaceWindow(HWND window, DWORD style, DWORD ex_style, bool has_menu, HWND anchor);
  void CreateControls(HWND window);
  void CreateControl(HWND window, forms::Control& control, int id);
  void LoadPicture(const Child& child);
  void AddTooltip(HWND window, const Child& child);
  void UpdateTooltip(const Child& child);

  LRESULT OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  bool OnCommand(WPARAM wparam, LPARAM lparam);
  void OnControlCommand(const Child& child, int code);
  LRESULT DefaultButtonId() const;
  HBRUSH ControlColors(HDC dc, HWND control);
  bool FocusControl(HWND window);

  const Child* ChildOf(const forms::Control* control) const;
  const Child* ChildById(int id) const;
  const Child* ChildByWindow(HWND window) const;

  FormWindowHost& host_;
  forms::Form& form_;
  const std::uint64_t serial_;
  int dpi_ = 0;
  std::vector<Child> children_;
  // The item table; the menu itself belongs to the window once it is set.
  MenuBar menu_;
  std::vector<OwnedIcon> icons_;
  HWND tooltip_ = nullptr;  // owned by the form window, destroyed with it
  HWND saved_focus_ = nullptr;
  // Until the controls are made, and after Close, no notification becomes an event.
  bool ready_ = false;
  bool closed_ = false;
  // While the program's own change is written into a window, the window's notification of it
  // is not the user's doing.
  int mirroring_ = 0;
  // Last: destroyed first, while the icons its controls show still exist.
  OwnedWindow window_;
};

}  // namespace tavoro::platform::win32
