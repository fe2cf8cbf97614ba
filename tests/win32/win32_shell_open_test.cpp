// The shell's "open" of a web address reaches the browser with the address exactly as given.
// The harness's browser is a stand-in that only notes the address (scripts/wine-env.sh,
// TAVORO_WEB_OPEN_LOG); without it this test does not run, so no real browser ever opens.

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "win32/wide_text.h"
#include "win32/com.h"
#include "win32/win32_shell_open.h"

namespace tavoro::platform::win32 {
namespace {

std::wstring OpenedLog() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"TAVORO_WEB_OPEN_LOG", path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? path : L"";
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Waits, pumping, until the log holds `line` as a whole line; the browser starts a moment after
// the shell returns.
bool LogShowsLine(const std::wstring& log, const std::string& line, DWORD limit_ms) {
  const ULONGLONG until = ::GetTickCount64() + limit_ms;
  do {
    std::istringstream lines(ReadAll(log));
    for (std::string each; std::getline(lines, each);) {
      if (each == line)
        return true;
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      ::DispatchMessageW(&message);
    ::Sleep(50);
  } while (::GetTickCount64() < until);
  return false;
}

TEST(Win32ShellOpen, AWebAddressReachesTheBrowserExactly) {
  const std::wstring log = OpenedLog();
  if (log.empty())
    GTEST_SKIP() << "needs the stand-in browser of scripts/wine-tests.sh";
  const ComApartment apartment;
  Win32ShellOpen shell;
  // The About box's link, made unique so that an earlier run's line cannot answer for this one.
  const std::string address =
      "https://www.tavorophone.example.jp/default_jp.htm?run=" + std::to_string(::GetTickCount64());
  EXPECT_TRUE(shell.Open(address));
  EXPECT_TRUE(LogShowsLine(log, address, 20'000)) << "the browser was given:\n" << ReadAll(log);
}

TEST(Win32ShellOpen, ADocumentThatIsNotThereFails) {
  const ComApartment apartment;
  Win32ShellOpen shell;
  EXPECT_FALSE(shell.Open("no-such-document-" + std::to_string(::GetTickCount64()) + ".txt"));
}

}  // namespace
}  // namespace tavoro::platform::win32
