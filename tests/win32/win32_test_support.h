#pragma once
// What the Windows test programs share besides the desktop helpers of sim/desktop (programs
// started and waited for, windows found, messages pumped): the files the build makes, scratch
// folders, and the half of a test that runs in a process of its own.

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "desktop/desktop.h"
#include "win32/win32_process.h"

namespace tavoro::testing {

using e2e::Program;
using e2e::WaitUntil;
using std::chrono::milliseconds;

// A file the build makes, from the build folder. This program sits in its tests\ folder: a path
// handed over at compile time would be a Linux path, which means nothing to a program under Wine.
inline std::wstring BuildFile(std::wstring_view path) {
  return platform::win32::FolderOf(platform::win32::ModulePath()) + L"\\..\\" + std::wstring(path);
}
// The programs and what the build puts beside them.
inline std::wstring ProgramFile(std::wstring_view name) {
  return BuildFile(L"src\\main\\" + std::wstring(name));
}

// `name` in the temporary folder, made unique to this process and this call.
inline std::wstring TempPath(std::wstring_view name) {
  static int serial = 0;
  return (std::filesystem::temp_directory_path() / name).wstring() + L"-" +
         std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
}

// A folder made for a test, removed with everything in it when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::wstring path) : path_(std::move(path)) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// An environment variable set for the programs started while the object lives.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { ::SetEnvironmentVariableW(name_, nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
};

// The half of a test that runs in a process of its own: this test program started again
// (platform::win32::ModulePath()) while a ScopedVariable sets TAVORO_CHILD to "MODE ARGUMENT".
// The child enters its mode from a static initializer, before GoogleTest starts, so it runs and
// reports no test.
constexpr wchar_t kChildVariable[] = L"TAVORO_CHILD";

// At namespace scope, `[[maybe_unused]] const bool kChild = EnterChildMode(L"mode", body);`: in
// the child started in `mode`, ends the process with `body(argument)`; elsewhere returns false.
inline bool EnterChildMode(const std::wstring& mode, DWORD (*body)(const std::wstring& argument)) {
  const std::wstring child = e2e::Environment(kChildVariable);
  if (child.substr(0, child.find(L' ')) != mode)
    return false;
  ::ExitProcess(body(child.size() > mode.size() ? child.substr(mode.size() + 1) : L""));
  return true;
}

}  // namespace tavoro::testing
