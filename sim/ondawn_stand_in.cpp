// A stand-in for a program the first-run tool starts ("regsvr32", "tavoro.exe"). It appends
// one line to the file named by TAVORO_SIM_LOG, written in one piece when it ends:
//
//   <start ms> <end ms> <show command or -1> <own path> TAB <command line>
//
// Times are the system's tick count, which all processes share, so the lines of several
// stand-ins tell whether they ran one after the other. Text is UTF-8.

#include <windows.h>

#include <string>

#include "win32/wide_text.h"

#ifndef TAVORO_STAND_IN_RUN_MS
#define TAVORO_STAND_IN_RUN_MS 0
#endif

namespace {

using tavoro::platform::win32::Narrow;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const ULONGLONG started = ::GetTickCount64();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  ::GetStartupInfoW(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  if (TAVORO_STAND_IN_RUN_MS > 0)
    ::Sleep(TAVORO_STAND_IN_RUN_MS);

  wchar_t own_path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own_path, MAX_PATH);
  wchar_t log_path[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"TAVORO_SIM_LOG", log_path, MAX_PATH) == 0)
    return 0;
  const std::string line = std::to_string(started) + " " + std::to_string(::GetTickCount64()) +
                           " " + std::to_string(show) + " " + Narrow(own_path) + "\t" +
                           Narrow(::GetCommandLineW()) + "\n";
  // Append access: the system puts each write at the end, whoever else is writing.
  const HANDLE log = ::CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE)
    return 1;
  DWORD written = 0;
  ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(log);
  return 0;
}
