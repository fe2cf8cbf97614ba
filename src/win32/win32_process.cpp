#include "win32/win32_process.h"

#include <windows.h>

#include <cstdio>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {

Win32Process::Win32Process()
    : module_path_(ModulePath()), instance_(InstanceMutexName(module_path_)) {}

std::string Win32Process::AppPath() {
  return Narrow(FolderOf(module_path_));
}

void Win32Process::End() {
  // ExitProcess skips the C runtime's own exit, so anything still buffered is written now.
  std::fflush(nullptr);
  ::ExitProcess(0);
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    // A full buffer means the path was cut short (and, on old systems, left unterminated).
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring FolderOf(std::wstring_view file_path) {
  const std::size_t separator = file_path.find_last_of(L"\\/");
  if (separator == std::wstring_view::npos)
    return {};
  std::wstring folder(file_path.substr(0, separator));
  if (folder.size() == 2 && folder[1] == L':')
    folder += L'\\';
  return folder;
}

}  // namespace tavoro::platform::win32
