#pragma once
// Forms as real windows: each loaded form is a top-level window with a system control per
// control, laid out from the form's twips at the window's DPI, in the Japanese UI font.
// form_ids.h says how another process finds each window and control.
//
// Keyboard: the event loop's message filter gives every form window the dialog keys (Tab
// through the tab stops, Enter for the default or focused button, Escape for the cancel
// button). Everything runs on the window thread; no C++ exception crosses a window procedure:
// one caught there is handed to the event loop, whose next DoEvents or Run throws it.

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/form.h"
#include "platform/window_system.h"
#include "win32/form_paint.h"
#include "win32/form_window.h"
#include "win32/win32_event_loop.h"

namespace tavoro::platform::win32 {

class Win32WindowSystem final : public forms::WindowSystem, private FormWindowHost {
 public:
  // `instance` holds the window classes and the pictures' icon resources. Installs the loop's
  // message filter. Must outlive every form it shows.
  Win32WindowSystem(HINSTANCE instance, Win32EventLoop& loop);
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  void Create(forms::Form& form) override;
  // Modeless: shown and brought forward. Modal: the program's other windows are disabled and
  // the thread pumps until the form is hidden or unloaded (or WM_QUIT arrives, which is left
  // for the main loop), then they are enabled again and the window that was active before
  // comes back.
  void Show(forms::Form& form, forms::ShowMode mode) override;
  void Hide(forms::Form& form) override;
  void Destroy(forms::Form& form) override;
  void Changed(forms::Form& form, forms::Control* control, forms::Property property) override;

  // The form's window, or nothing while the form is not loaded.
  HWND WindowOf(const forms::Form& form) const;
  // The control's window, or nothing while its form is not loaded.
  HWND ControlWindow(const forms::Control& control) const;

  // Posts WM_QUIT whenever this form's window is destroyed (unloaded, or the form deleted
  // while loaded), so the main loop lives as long as the main window. The form need not be
  // loaded yet.
  void QuitWhenDestroyed(const forms::Form& form) { quit_form_ = &form; }

 private:
  class ModalOwners;

  // FormWindowHost
  HINSTANCE instance() const override { return instance_; }
  BrushCache& brushes() override { return brushes_; }
  FontCache& fonts() override { return fonts_; }
  std::wstring FormClass(const forms::Form& form) override;
  void Fail(std::exception_ptr failure) override { loop_.Fail(std::move(failure)); }
  void EnterProcedure() override { ++procedure_depth_; }
  void LeaveProcedure() override;

  FormWindow* Find(const forms::Form& form) const;
  bool IsShown(const forms::Form& form, std::uint64_t serial) const;
  HWND ActiveFormWindow() const;
  void ReleaseModalOwners(HWND modal);
  bool FilterKeyboard(MSG& message);

  HINSTANCE instance_;
  Win32EventLoop& loop_;
  BrushCache brushes_;
  FontCache fonts_;
  std::vector<std::wstring> registered_classes_;
  std::map<const forms::Form*, std::unique_ptr<FormWindow>> windows_;
  // Closed while one of their procedures ran; deleted when the outermost one returns.
  std::vector<std::unique_ptr<FormWindow>> closed_;
  int procedure_depth_ = 0;
  std::vector<ModalOwners*> modal_stack_;
  const forms::Form* quit_form_ = nullptr;
};

}  // namespace tavoro::platform::win32
