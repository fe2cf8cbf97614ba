#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "win32/single_instance.h"
#include "win32/wide_text.h"
#include "win32/win32_process.h"
#include "win32_test_support.h"

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

constexpr DWORD kSeesAnother = 10;
constexpr DWORD kSeesNone = 11;

// The child's half: "process" asks a Win32Process; anything else is a mutex name.
[[maybe_unused]] const bool kProbe =
    testing::EnterChildMode(L"instance-probe", [](const std::wstring& probe) -> DWORD {
      const bool sees_another = probe == L"process"
                                    ? Win32Process().PrevInstance()
                                    : SingleInstanceGuard(probe).another_instance_running();
      return sees_another ? kSeesAnother : kSeesNone;
    });

DWORD RunProbe(const std::wstring& probe) {
  const testing::ScopedVariable mode(testing::kChildVariable, L"instance-probe " + probe);
  const testing::Program child(ModulePath());
  child.WaitForEnd(testing::milliseconds(30'000));
  return child.ExitCode();
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
