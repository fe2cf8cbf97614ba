#pragma once
// What the form window tests share: the real runtime with message boxes that are recorded
// instead of shown, the window system under test, and pumping with a deadline.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "forms/form.h"
#include "platform/shell_open.h"
#include "win32/control_windows.h"
#include "win32/form_ids.h"
#include "win32/twips.h"
#include "win32/win32_runtime.h"
#include "win32/win32_window_system.h"

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

// The shipped program's manifest asks for version 6 of the common controls, so the windows are
// tested with it: its buttons, edits and group boxes differ from the system's own.
class CommonControls6 {
 public:
  CommonControls6() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"tavoro-cc6-" +
                              std::to_wstring(::GetCurrentProcessId()) + L".manifest";
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, kManifest, sizeof(kManifest) - 1, &written, nullptr);
    ::CloseHandle(file);
    ACTCTXW description{};
    description.cbSize = sizeof(description);
    description.lpSource = path.c_str();
    context_ = ::CreateActCtxW(&description);
    ::DeleteFileW(path.c_str());
    if (context_ != INVALID_HANDLE_VALUE)
      active_ = ::ActivateActCtx(context_, &cookie_) != FALSE;
  }
  ~CommonControls6() {
    if (active_)
      ::DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE)
      ::ReleaseActCtx(context_);
  }
  CommonControls6(const CommonControls6&) = delete;
  CommonControls6& operator=(const CommonControls6&) = delete;

  bool active() const { return active_; }

 private:
  static constexpr char kManifest[] =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)"
      R"(<dependency><dependentAssembly><assemblyIdentity type="win32")"
      R"( name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*")"
      R"( publicKeyToken="6595b64144ccf1df" language="*"/></dependentAssembly></dependency>)"
      R"(</assembly>)";
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
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < give_up) {
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

  CommonControls6 common_controls_;
  Win32Runtime system_;
  RecordedBoxes boxes_;
  Win32WindowSystem windows_{::GetModuleHandleW(nullptr), system_.loop};
};

}  // namespace tavoro::platform::win32::testing
