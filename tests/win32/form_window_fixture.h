#pragma once
// What the form window tests share: the real runtime with message boxes that are recorded
// instead of shown, the window system under test, and pumping with a deadline.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "forms/form.h"
#include "platform/shell_open.h"
#include "win32/control_windows.h"
#include "win32/form_ids.h"
#include "win32/twips.h"
#include "win32/win32_runtime.h"
#include "win32/win32_window_system.h"
#include "win32_test_support.h"

namespace tavoro::platform::win32::testing {

class RecordedBoxes final : public MessageBoxes {
 public:
  void MsgBox(std::string_view text, MsgBoxIcon, std::string_view) override {
    shown.emplace_back(text);
  }
  std::vector<std::string> shown;
};

class RecordedShellOpen final : public ShellOpen {
 public:
  bool Open(std::string_view target) override {
    opened.emplace_back(target);
    return true;
  }
  std::vector<std::string> opened;
};

// The windows are tested in the activation context of the shipped program's own manifest, which
// asks for version 6 of the common controls: its buttons, edits and group boxes differ from the
// system's own.
class ShippedManifest {
 public:
  ShippedManifest() {
    const std::wstring program = ::tavoro::testing::ProgramFile(L"Tavoro.exe");
    ACTCTXW description{};
    description.cbSize = sizeof(description);
    description.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    description.lpSource = program.c_str();
    description.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    context_ = ::CreateActCtxW(&description);
    active_ = context_ != INVALID_HANDLE_VALUE && ::ActivateActCtx(context_, &cookie_);
  }
  ~ShippedManifest() {
    if (active_)
      ::DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE)
      ::ReleaseActCtx(context_);
  }
  ShippedManifest(const ShippedManifest&) = delete;
  ShippedManifest& operator=(const ShippedManifest&) = delete;

  bool active() const { return active_; }

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

class FormWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The pointer rests in a corner no window is centred on, so no hover happens by chance.
    ::SetCursorPos(0, 0);
  }

  Runtime runtime() { return Runtime{system_.clock, system_.loop, boxes_, system_.process}; }

  // Pumps until `done` holds or two seconds have passed; returns whether it holds.
  template <typename Done>
  bool PumpUntil(Done done) {
    for (int waited = 0; !done() && waited < 2000; ++waited) {
      system_.loop.DoEvents();
      ::Sleep(1);
    }
    return done();
  }

  HWND Control(const forms::Control& control) const { return windows_.ControlWindow(control); }

  // Twips in pixels at the DPI of the window that shows them.
  static int Pixels(HWND window, int twips) { return TwipsToPixels(twips, WindowDpi(window)); }

  // Where the control's window lies in its form's client area.
  static RECT PlaceInForm(HWND control) {
    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
  }

  ShippedManifest common_controls_;
  Win32Runtime system_;
  RecordedBoxes boxes_;
  Win32WindowSystem windows_{::GetModuleHandleW(nullptr), system_.loop};
};

}  // namespace tavoro::platform::win32::testing
