#include "win32/win32_shell.h"

#include <windows.h>

#include <shlobj.h>

#include "win32/com.h"
#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

class Win32StartedProcess final : public StartedProcess {
 public:
  explicit Win32StartedProcess(HANDLE process) : process_(process) {}
  ~Win32StartedProcess() override { ::CloseHandle(process_); }
  Win32StartedProcess(const Win32StartedProcess&) = delete;
  Win32StartedProcess& operator=(const Win32StartedProcess&) = delete;

  bool WaitForEnd(std::uint32_t timeout_ms) override {
    // Wakes for any input or message, posted or sent, so the caller pumps it at once.
    const DWORD result = ::MsgWaitForMultipleObjects(1, &process_, FALSE, timeout_ms, QS_ALLINPUT);
    // A wait that fails would fail every time: the process counts as ended rather than
    // holding the caller for ever.
    return result == WAIT_OBJECT_0 || result == WAIT_FAILED;
  }

 private:
  HANDLE process_;
};

}  // namespace

std::optional<std::string> Win32Shell::SpecialFolderPath(SpecialFolder folder) {
  // SHGetFolderPathW and not the Script Host's SpecialFolders, which on Wine knows no
  // "Programs".
  const int id = folder == SpecialFolder::Desktop ? CSIDL_DESKTOPDIRECTORY : CSIDL_PROGRAMS;
  wchar_t path[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)))
    return std::nullopt;
  return Narrow(path);
}

bool Win32Shell::RemoveFile(std::string_view path) {
  return ::DeleteFileW(Widen(path).c_str()) != FALSE;
}

bool Win32Shell::CreateShortcut(std::string_view path, const Shortcut& shortcut) {
  ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(link.Put())))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->SetPath(Widen(shortcut.target).c_str())) ||
      FAILED(link->SetWorkingDirectory(Widen(shortcut.working_folder).c_str())) ||
      FAILED(link->SetShowCmd(shortcut.window_style)) ||
      FAILED(link->QueryInterface(IID_PPV_ARGS(file.Put())))) {
    return false;
  }
  return SUCCEEDED(file->Save(Widen(path).c_str(), TRUE));
}

std::string Win32Shell::ExpandEnvironment(std::string_view text) {
  const std::wstring source = Widen(text);
  std::wstring expanded(source.size() + 1, L'\0');
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), expanded.data(),
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0)
      return std::string(text);  // left as it was rather than lost
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);  // the count includes the terminating NUL
      return Narrow(expanded);
    }
    expanded.resize(needed);
  }
}

std::unique_ptr<StartedProcess> Win32Shell::Start(std::string_view command_line, WindowShow show) {
  // No application name: the system then looks for the program of an unqualified command
  // (regsvr32) in the starter's own folder before its own folders, as a command would be.
  std::wstring command = Widen(command_line);  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show == WindowShow::NormalFocus ? SW_SHOWNORMAL : SW_SHOWMINIMIZED;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    return nullptr;
  }
  ::CloseHandle(started.hThread);
  // A program started by a process that has no window of its own may not take the
  // foreground on its own; handing on our right lets its first window come to the front.
  if (show == WindowShow::NormalFocus)
    ::AllowSetForegroundWindow(started.dwProcessId);
  return std::make_unique<Win32StartedProcess>(started.hProcess);
}

}  // namespace tavoro::platform::win32
