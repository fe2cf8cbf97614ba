#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "win32/single_instance.h"
#include "win32/wide_text.h"
#include "win32/win32_process.h"

namespace tavoro::platform::win32 {
namespace {

TEST(Win32Process, AppPathIsTheExecutablesExistingFolderWithoutATrailingSeparator) {
  const std::wstring folder = Widen(Win32Process().AppPath());
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\');
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(FolderOf(ModulePath()), folder);
  EXPECT_EQ(FolderOf(L"T:\\Tavoro.exe"), L"T:\\");
  EXPECT_EQ(FolderOf(L"C:\\Program Files\\Tavorophone\\Tavoro.exe"),
            L"C:\\Program Files\\Tavorophone");
  EXPECT_EQ(FolderOf(L"\\\\server\\share\\Tavoro.exe"), L"\\\\server\\share");
}

std::wstring UniqueMutexName() {
  return L"Local\\Tavorophone.test." + std::to_wstring(::GetCurrentProcessId());
}

constexpr wchar_t kProbeVariable[] = L"TAVORO_INSTANCE_PROBE";
constexpr DWORD kSeesAnother = 10;
constexpr DWORD kSeesNone = 11;

// The child's half: started by RunProbe with the variable set, it answers in its exit code.
// "process" asks a Win32Process; anything else is a mutex name.
TEST(SingleInstance, ChildProbe) {
  wchar_t probe[256] = {};
  if (::GetEnvironmentVariableW(kProbeVariable, probe, 256) == 0)
    GTEST_SKIP() << "only runs as the child of the tests beside it";
  const bool sees_another = std::wstring(probe) == L"process"
                                ? Win32Process().PrevInstance()
                                : SingleInstanceGuard(probe).another_instance_running();
  ::ExitProcess(sees_another ? kSeesAnother : kSeesNone);
}

struct ClosedOnExit {
  HANDLE handle;
  ~ClosedOnExit() { ::CloseHandle(handle); }
};

DWORD RunProbe(const std::wstring& probe) {
  ::SetEnvironmentVariableW(kProbeVariable, probe.c_str());
  std::wstring command_line = L"\"" + ModulePath() + L"\" --gtest_filter=SingleInstance.ChildProbe";
  // The child's test report would only clutter ours: it writes to NUL.
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  const ClosedOnExit null_device{::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE,
                                               &inheritable, OPEN_EXISTING, 0, nullptr)};
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = null_device.handle;
  PROCESS_INFORMATION child{};
  const BOOL started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &child);
  ::SetEnvironmentVariableW(kProbeVariable, nullptr);
  if (!started)
    return 0;
  const ClosedOnExit process{child.hProcess};
  const ClosedOnExit thread{child.hThread};
  DWORD exit_code = 0;
  if (::WaitForSingleObject(process.handle, 30'000) == WAIT_OBJECT_0)
    ::GetExitCodeProcess(process.handle, &exit_code);
  else
    ::TerminateProcess(process.handle, 1);
  return exit_code;
}

TEST(SingleInstance, AGuardIsSeenHereAndInAnotherProcessOnlyWhileItLives) {
  {
    SingleInstanceGuard first(UniqueMutexName());
    EXPECT_FALSE(first.another_instance_running());
    EXPECT_TRUE(SingleInstanceGuard(UniqueMutexName()).another_instance_running());
    EXPECT_EQ(RunProbe(UniqueMutexName()), kSeesAnother);
  }
  EXPECT_FALSE(SingleInstanceGuard(UniqueMutexName()).another_instance_running());
  EXPECT_EQ(RunProbe(UniqueMutexName()), kSeesNone);
  Win32Process running;
  EXPECT_EQ(RunProbe(L"process"), kSeesAnother);
}

}  // namespace
}  // namespace tavoro::platform::win32
