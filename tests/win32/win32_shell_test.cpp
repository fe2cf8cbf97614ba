// What the end-to-end run of Ondawn.exe cannot single out: the wait for a started program
// returns for a message, so the waiting thread keeps pumping.

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>

#include "win32/wide_text.h"
#include "win32/win32_process.h"
#include "win32/win32_shell.h"
#include "win32_test_support.h"

namespace tavoro::platform::win32 {
namespace {

// The child's half of the test below: it runs for a while.
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

}  // namespace
}  // namespace tavoro::platform::win32
