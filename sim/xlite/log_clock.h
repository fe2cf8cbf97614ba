#pragma once
// The clock the X-Lite stand-in stamps its log with: milliseconds since 1970 (UTC) by the
// system clock, which every process of the machine reads alike, Windows or Linux
// (`date +%s%3N`). Header only, so the log's writer and its readers (the end-to-end checkers,
// the demo) cannot disagree on it.

#include <windows.h>

#include <cstdint>

namespace tavoro::sim::xlite {

inline std::uint64_t UnixMilliseconds() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;
  return (ticks - kTicksFrom1601To1970) / 10000;
}

}  // namespace tavoro::sim::xlite
