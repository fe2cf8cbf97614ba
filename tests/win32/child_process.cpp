#include "child_process.h"

#include "win32/win32_process.h"

namespace tavoro::testing {

bool EnterChildMode(const std::wstring& mode, DWORD (*body)(const std::wstring& argument)) {
  wchar_t value[512] = {};
  const std::wstring child(value, ::GetEnvironmentVariableW(kChildVariable, value, 512) % 512);
  if (child.substr(0, child.find(L' ')) != mode)
    return false;
  ::ExitProcess(body(child.size() > mode.size() ? child.substr(mode.size() + 1) : L""));
  return true;
}

std::wstring ThisProgram() {
  return L"\"" + platform::win32::ModulePath() + L"\"";
}

HANDLE StartChild(const std::wstring& mode, const std::wstring& argument) {
  ::SetEnvironmentVariableW(kChildVariable, (mode + L" " + argument).c_str());
  std::wstring command_line = ThisProgram();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child{};
  const BOOL started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &child);
  ::SetEnvironmentVariableW(kChildVariable, nullptr);
  if (!started)
    return nullptr;
  ::CloseHandle(child.hThread);
  return child.hProcess;
}

}  // namespace tavoro::testing
