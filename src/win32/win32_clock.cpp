#include "win32/win32_clock.h"

#include <windows.h>

namespace tavoro::platform::win32 {

// The 64-bit count, because the 32-bit one wraps after 49.7 days and a gateway runs for months.
std::uint64_t Win32Clock::Milliseconds() {
  return ::GetTickCount64();
}

LocalTime Win32Clock::Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace tavoro::platform::win32
