// The running program (its folder, its single instance), the programs it starts and waits for,
// and what the shell opens for it.
//
// The shell's "open" of a web address must reach the browser with the address exactly as given.
// The harness's browser is a stand-in that only notes the address (scripts/wine-env.sh,
// TAVORO_WEB_OPEN_LOG); without it that test does not run, so no real browser ever opens.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "win32/com.h"
#include "win32/single_instance.h"
#include "win32/wide_text.h"
#include "win32/win32_process.h"
#include "win32/win32_shell.h"
#include "win32/win32_shell_open.h"
#include "win32_test_support.h"

namespace tavoro::platform::win32 {
namespace {

TEST(Win32Process, AppPathIsTheExecutablesFolderWithoutATrailingSeparator) {
  EXPECT_EQ(Widen(Win32Process().AppPath()), FolderOf(ModulePath()));
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

// The child's half: a guard of the mutex name it was given.
[[maybe_unused]] const bool kProbe =
    testing::EnterChildMode(L"instance-probe", [](const std::wstring& name) -> DWORD {
      return SingleInstanceGuard(name).another_instance_running() ? kSeesAnother : kSeesNone;
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
}

// What the end-to-end run of Ondawn.exe cannot single out: the wait for a started program
// returns for a message, so the waiting thread keeps pumping. The child runs for a while.
[[maybe_unused]] const bool kChild =
    testing::EnterChildMode(L"shell-child", [](const std::wstring&) -> DWORD {
      ::Sleep(400);
      return 0;
    });

TEST(Win32Shell, WaitingForAProgramReturnsEarlyForAMessageAndTrueOnceItEnded) {
  Win32Shell shell;
  EXPECT_EQ(shell.Start("tavoro-no-such-program", WindowShow::MinimizedFocus), nullptr);

  const testing::ScopedVariable mode(testing::kChildVariable, L"shell-child");
  const auto child = shell.Start("\"" + Narrow(ModulePath()) + "\"", WindowShow::MinimizedFocus);
  ASSERT_NE(child, nullptr);

  MSG message{};
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0));
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(child->WaitForEnd(20'000));
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  EXPECT_TRUE(::PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));

  bool ended = false;
  for (int i = 0; i < 20 && !ended; ++i)
    ended = child->WaitForEnd(1'000);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(child->WaitForEnd(0));
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(Win32ShellOpen, AWebAddressReachesTheBrowserExactly) {
  const std::wstring log = e2e::Environment(L"TAVORO_WEB_OPEN_LOG");
  if (log.empty())
    GTEST_SKIP() << "needs the stand-in browser of scripts/wine-tests.sh";
  const ComApartment apartment;
  Win32ShellOpen shell;
  // The About box's link, made unique so that an earlier run's line cannot answer for this one.
  const std::string address =
      "https://www.tavorophone.example.jp/default_jp.htm?run=" + std::to_string(::GetTickCount64());
  EXPECT_TRUE(shell.Open(address));
  // As a whole line, once the browser has started, a moment after the shell returned.
  const std::string line = "\n" + address + "\n";
  EXPECT_TRUE(e2e::WaitUntil([&] { return ("\n" + ReadAll(log)).find(line) != std::string::npos; },
                             std::chrono::milliseconds(20'000)))
      << "the browser was given:\n"
      << ReadAll(log);
}

TEST(Win32ShellOpen, ADocumentThatIsNotThereFails) {
  const ComApartment apartment;
  Win32ShellOpen shell;
  EXPECT_FALSE(shell.Open("no-such-document-" + std::to_string(::GetTickCount64()) + ".txt"));
}

}  // namespace
}  // namespace tavoro::platform::win32
