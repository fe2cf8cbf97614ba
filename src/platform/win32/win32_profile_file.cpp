#include "platform/win32/win32_profile_file.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

std::string ToAnsi(std::string_view utf8) {
  return WideToAnsi(Widen(utf8));
}

// The file's path in the ANSI code page. A folder name the code page cannot hold (a Chinese
// folder on a Japanese system) is passed by its short name, which is always ASCII, so the
// settings still land beside the program and not in some other file.
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

}  // namespace

std::string Win32ProfileFile::Read(std::string_view path, std::string_view section,
                                   std::string_view key, std::string_view fallback,
                                   std::size_t capacity) {
  if (capacity == 0)
    return {};
  std::vector<char> buffer(capacity, '\0');
  const DWORD length = ::GetPrivateProfileStringA(
      ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(fallback).c_str(), buffer.data(),
      static_cast<DWORD>(buffer.size()), AnsiPath(path).c_str());
  return Narrow(AnsiToWide(std::string_view(buffer.data(), length)));
}

bool Win32ProfileFile::Write(std::string_view path, std::string_view section, std::string_view key,
                             std::string_view value) {
  return ::WritePrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(),
                                      ToAnsi(value).c_str(), AnsiPath(path).c_str()) != FALSE;
}

}  // namespace tavoro::platform::win32
