// The shell's "open" of a web address reaches the browser with the address exactly as given.
// The harness's browser is a stand-in that only notes the address (scripts/wine-env.sh,
// TAVORO_WEB_OPEN_LOG); without it this test does not run, so no real browser ever opens.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "desktop/desktop.h"
#include "win32/com.h"
#include "win32/win32_shell_open.h"

namespace tavoro::platform::win32 {
namespace {

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
