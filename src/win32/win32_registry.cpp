#include "win32/win32_registry.h"

#include <windows.h>

#include <cstring>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

HKEY RootHandle(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM AccessMask(RegistryAccess access) {
  switch (access) {
    case RegistryAccess::SetValue:
      return KEY_SET_VALUE;
    case RegistryAccess::Read:
      return KEY_QUERY_VALUE;
    case RegistryAccess::All:
      return KEY_ALL_ACCESS;
  }
  return KEY_QUERY_VALUE;
}

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY handle) : handle_(handle) {}
  ~Win32RegistryKey() override { ::RegCloseKey(handle_); }
  Win32RegistryKey(const Win32RegistryKey&) = delete;
  Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

  SystemCode SetString(std::string_view name, std::string_view data) override {
    const std::wstring wide = Widen(data);
    const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    return static_cast<SystemCode>(::RegSetValueExW(handle_, Widen(name).c_str(), 0, REG_SZ,
                                                    reinterpret_cast<const BYTE*>(wide.c_str()),
                                                    bytes));
  }

  SystemCode DeleteValue(std::string_view name) override {
    return static_cast<SystemCode>(::RegDeleteValueW(handle_, Widen(name).c_str()));
  }

  SystemCode QueryString(std::string_view name, std::string& data) override {
    const std::wstring wide_name = Widen(name);
    DWORD type = 0;
    DWORD bytes = 0;
    LONG result = ::RegQueryValueExW(handle_, wide_name.c_str(), nullptr, &type, nullptr, &bytes);
    if (result != ERROR_SUCCESS)
      return static_cast<SystemCode>(result);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
      return ERROR_INVALID_DATA;
    // Room for a terminating NUL the stored data may lack.
    std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    result = ::RegQueryValueExW(handle_, wide_name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (result != ERROR_SUCCESS)
      return static_cast<SystemCode>(result);
    buffer.resize(bytes / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0')
      buffer.pop_back();
    data = Narrow(buffer);
    return kSuccess;
  }

  SystemCode QueryDword(std::string_view name, std::uint32_t& data) override {
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    const LONG result = ::RegQueryValueExW(handle_, Widen(name).c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(&value), &bytes);
    if (result != ERROR_SUCCESS)
      return static_cast<SystemCode>(result);
    if (type != REG_DWORD)
      return ERROR_INVALID_DATA;
    data = value;
    return kSuccess;
  }

 private:
  HKEY handle_;
};

}  // namespace

SystemCode Win32Registry::CreateKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                                    std::unique_ptr<RegistryKey>& key) {
  HKEY handle = nullptr;
  const LONG result =
      ::RegCreateKeyExW(RootHandle(root), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        AccessMask(access), nullptr, &handle, nullptr);
  if (result == ERROR_SUCCESS)
    key = std::make_unique<Win32RegistryKey>(handle);
  return static_cast<SystemCode>(result);
}

SystemCode Win32Registry::OpenKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                                  std::unique_ptr<RegistryKey>& key) {
  HKEY handle = nullptr;
  const LONG result =
      ::RegOpenKeyExW(RootHandle(root), Widen(path).c_str(), 0, AccessMask(access), &handle);
  if (result == ERROR_SUCCESS)
    key = std::make_unique<Win32RegistryKey>(handle);
  return static_cast<SystemCode>(result);
}

std::string Win32Registry::MessageText(SystemCode code) {
  wchar_t buffer[260] = {};
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code), 0, buffer,
                                        static_cast<DWORD>(std::size(buffer)), nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return Narrow(text);
}

}  // namespace tavoro::platform::win32
