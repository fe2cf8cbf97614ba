#include "win32/win32_profile_file.h"

#include <windows.h>

#include <vector>

#include "win32/ansi_path.h"
#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

std::string ToAnsi(std::string_view utf8) {
  return WideToAnsi(Widen(utf8));
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
