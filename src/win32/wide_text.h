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

// What a fixed-size ANSI field holds (`field` is its bytes before the terminator), in UTF-8.
// The field's cut can split a double-byte character, whose lone lead byte would turn into some
// other character; it is left out, so the text is the exact beginning of the full name.
std::string AnsiFieldText(std::string_view field);

}  // namespace tavoro::platform::win32
