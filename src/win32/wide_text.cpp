#include "win32/wide_text.h"

#include <windows.h>

namespace tavoro::platform::win32 {
namespace {

std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty())
    return {};
  const int size = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(needed), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), size, result.data(), needed);
  return result;
}

std::string FromWide(UINT code_page, std::wstring_view text) {
  if (text.empty())
    return {};
  const int size = static_cast<int>(text.size());
  const int needed =
      ::WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(code_page, 0, text.data(), size, result.data(), needed, nullptr, nullptr);
  return result;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  return ToWide(CP_UTF8, utf8);
}
std::string Narrow(std::wstring_view utf16) {
  return FromWide(CP_UTF8, utf16);
}
std::string WideToAnsi(std::wstring_view utf16) {
  return FromWide(CP_ACP, utf16);
}
std::wstring AnsiToWide(std::string_view ansi) {
  return ToWide(CP_ACP, ansi);
}

std::string AnsiFieldText(std::string_view field) {
  std::size_t whole = 0;
  for (std::size_t i = 0; i < field.size();) {
    i += ::IsDBCSLeadByte(static_cast<BYTE>(field[i])) ? 2 : 1;
    if (i <= field.size())
      whole = i;
  }
  return Narrow(AnsiToWide(field.substr(0, whole)));
}

}  // namespace tavoro::platform::win32
