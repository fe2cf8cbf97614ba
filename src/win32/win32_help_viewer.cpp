#include "win32/win32_help_viewer.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "win32/ansi_path.h"

namespace tavoro::platform::win32 {
namespace {

using HtmlHelpAFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

constexpr UINT kDisplayToc = 0x0001;  // HH_DISPLAY_TOC

// Loaded on first use and never released: the viewer's windows run the library's code for as
// long as they are open, which may be until the process ends. From the system folder by its
// full path, so that no hhctrl.ocx placed beside the program is loaded instead.
HtmlHelpAFunction HtmlHelpEntry() {
  static const HtmlHelpAFunction entry = []() -> HtmlHelpAFunction {
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = ::GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
    if (length == 0 || length >= path.size())
      return nullptr;
    path.resize(length);
    path += L"\\hhctrl.ocx";
    const HMODULE library = ::LoadLibraryW(path.c_str());
    if (library == nullptr)
      return nullptr;
    return reinterpret_cast<HtmlHelpAFunction>(
        reinterpret_cast<void*>(::GetProcAddress(library, "HtmlHelpA")));
  }();
  return entry;
}

}  // namespace

WindowHandle Win32HelpViewer::DisplayContents(WindowHandle owner, std::string_view help_file) {
  const HtmlHelpAFunction html_help = HtmlHelpEntry();
  if (html_help == nullptr)
    return WindowHandle{};
  const HWND viewer = html_help(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(owner)),
                                AnsiPath(help_file).c_str(), kDisplayToc, 0);
  return static_cast<WindowHandle>(reinterpret_cast<std::uintptr_t>(viewer));
}

}  // namespace tavoro::platform::win32
