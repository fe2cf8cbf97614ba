#include "win32_test_support.h"

#include <filesystem>

#include "win32/win32_process.h"

namespace tavoro::testing {

std::wstring BuildFile(std::wstring_view path) {
  return platform::win32::FolderOf(platform::win32::ModulePath()) + L"\\..\\" + std::wstring(path);
}

ScratchFolder::ScratchFolder(std::wstring path) : path_(std::move(path)) {
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::wstring TempPath(std::wstring_view name) {
  static int serial = 0;
  return (std::filesystem::temp_directory_path() / name).wstring() + L"-" +
         std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
}

ScopedVariable::ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
  ::SetEnvironmentVariableW(name, value.c_str());
}

ScopedVariable::~ScopedVariable() {
  ::SetEnvironmentVariableW(name_, nullptr);
}

bool EnterChildMode(const std::wstring& mode, DWORD (*body)(const std::wstring& argument)) {
  const std::wstring child = e2e::Environment(kChildVariable);
  if (child.substr(0, child.find(L' ')) != mode)
    return false;
  ::ExitProcess(body(child.size() > mode.size() ? child.substr(mode.size() + 1) : L""));
  return true;
}

}  // namespace tavoro::testing
