#include "win32/ansi_path.h"

#include <windows.h>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {

std::string AnsiPath(std::string_view utf8_path) {
  const std::wstring wide = Widen(utf8_path);
  std::string ansi = WideToAnsi(wide);
  if (AnsiToWide(ansi) == wide)
    return ansi;

  const std::size_t separator = wide.find_last_of(L"\\/");
  if (separator == std::wstring::npos)
    return ansi;
  const std::wstring folder = wide.substr(0, separator + 1);
  std::wstring short_folder(MAX_PATH, L'\0');
  DWORD length = ::GetShortPathNameW(folder.c_str(), short_folder.data(),
                                     static_cast<DWORD>(short_folder.size()));
  if (length > short_folder.size()) {
    short_folder.resize(length);
    length = ::GetShortPathNameW(folder.c_str(), short_folder.data(), length);
  }
  if (length == 0)
    return ansi;
  short_folder.resize(length);
  if (short_folder.back() != L'\\')
    short_folder += L'\\';
  return WideToAnsi(short_folder + wide.substr(separator + 1));
}

}  // namespace tavoro::platform::win32
