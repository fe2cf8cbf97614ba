#include "win32/win32_shell_open.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {

bool Win32ShellOpen::Open(std::string_view target) {
  const std::wstring wide = Widen(target);
  const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", wide.c_str(), L"", L"", SW_SHOWNORMAL);
  // Not a module handle: a number above 32 for success, an error code otherwise.
  return reinterpret_cast<std::intptr_t>(result) > 32;
}

}  // namespace tavoro::platform::win32
