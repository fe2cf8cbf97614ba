// skypectl: sends one command to the Skype4COM stand-in of a running program, for scripts and
// the demo.
//
//   skypectl [--pid <process id>] [--wait <ms>] <command words...>
//
// The words are joined by single spaces into one command line (see README.md). --wait gives
// a program that is still starting that long to create its Skype object. Exit code 0 when
// the stand-in took the command, 1 when it refused it, 2 when no stand-in answered, 3 on bad
// usage.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "skype_control.h"
#include "win32/wide_text.h"

namespace {

namespace control = tavoro::sim::skype4com::control;
using tavoro::platform::win32::Narrow;

int Usage() {
  std::fputs("usage: skypectl [--pid <process id>] [--wait <ms>] <command words...>\n", stderr);
  return 3;
}

bool ParseNumber(const wchar_t* text, unsigned long& value) {
  wchar_t* end = nullptr;
  value = std::wcstoul(text, &end, 10);
  return end != text && *end == L'\0';
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  unsigned long process_id = 0;
  unsigned long wait_ms = 0;
  int first = 1;
  while (first < argc && std::wcsncmp(argv[first], L"--", 2) == 0) {
    const std::wstring option = argv[first];
    if (first + 1 >= argc)
      return Usage();
    unsigned long* target = option == L"--pid"    ? &process_id
                            : option == L"--wait" ? &wait_ms
                                                  : nullptr;
    if (target == nullptr || !ParseNumber(argv[first + 1], *target))
      return Usage();
    first += 2;
  }
  if (first >= argc)
    return Usage();

  std::wstring command;
  for (int i = first; i < argc; ++i) {
    if (!command.empty())
      command += L' ';
    command += argv[i];
  }

  const ULONGLONG give_up = ::GetTickCount64() + wait_ms;
  HWND window = control::FindStandIn(process_id);
  while (window == nullptr && ::GetTickCount64() < give_up) {
    ::Sleep(20);
    window = control::FindStandIn(process_id);
  }
  if (window == nullptr) {
    std::fputs("skypectl: no Skype4COM stand-in is running\n", stderr);
    return 2;
  }
  const LRESULT result = control::SendCommand(window, Narrow(command));
  if (result == control::kDone)
    return 0;
  std::fprintf(stderr, "skypectl: %s: %s\n", Narrow(command).c_str(), control::ResultText(result));
  return result == control::kNotDelivered ? 2 : 1;
}
