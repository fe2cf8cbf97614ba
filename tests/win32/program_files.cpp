#include "win32/program_files.h"

#include <vector>

#include "win32/win32_process.h"

namespace tavoro::testing {

std::wstring ProgramFolder() {
  return platform::win32::FolderOf(platform::win32::ModulePath()) + L"\\..\\src\\main";
}

std::wstring ProgramFile(std::wstring_view name) {
  return ProgramFolder() + L"\\" + std::wstring(name);
}

std::optional<VersionBlock> ReadVersionBlock(const std::wstring& executable) {
  DWORD ignored = 0;
  std::vector<unsigned char> data(::GetFileVersionInfoSizeW(executable.c_str(), &ignored));
  if (data.empty() ||
      !::GetFileVersionInfoW(executable.c_str(), 0, static_cast<DWORD>(data.size()), data.data())) {
    return std::nullopt;
  }

  VersionBlock block;
  void* value = nullptr;
  UINT length = 0;
  if (::VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    const auto words = [](DWORD high, DWORD low) {
      return std::array<WORD, 4>{HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low)};
    };
    block.file_version = words(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    block.product_version = words(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }
  if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
      length < 2 * sizeof(WORD)) {
    return block;
  }
  block.language = static_cast<const WORD*>(value)[0];
  block.code_page = static_cast<const WORD*>(value)[1];

  wchar_t prefix[64];
  ::wsprintfW(prefix, L"\\StringFileInfo\\%04x%04x\\", block.language, block.code_page);
  for (const wchar_t* name :
       {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
        L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    if (::VerQueryValueW(data.data(), (std::wstring(prefix) + name).c_str(), &value, &length) &&
        length > 0) {
      // The length counts the terminating NUL where the compiler stored one.
      std::wstring text(static_cast<const wchar_t*>(value), length);
      block.texts[name] = text.erase(text.find_last_not_of(L'\0') + 1);
    }
  }
  return block;
}

}  // namespace tavoro::testing
