#pragma once
// Conversions at the Win32 boundary: UTF-8 inside the program, UTF-16 for the W functions,
// the system's ANSI code page for the few A functions the programs must call.

#include <string>
#include <string_view>

namespace tavoro::platform::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// Through the ANSI code page (CP_ACP): characters it cannot hold become its default
// character, as the system's own conversion does.
std::string WideToAnsi(std::wstring_view utf16);
std::wstring AnsiToWide(std::string_view ansi);

}  // namespace tavoro::platform::win32
