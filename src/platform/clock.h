#pragma once
// The program's sense of time: a monotonic millisecond count for intervals, and the local
// date and time to the second for the start-up countdowns, which count calendar seconds.

#include <cstdint>

namespace tavoro::platform {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; never goes backwards.
  virtual std::uint64_t Milliseconds() = 0;
  // Current local date and time, to the second (`Now`).
  virtual LocalTime Now() = 0;
};

// Whole seconds from `from` to `to` as a calendar difference: the number of second boundaries
// passed, negative when `to` lies before `from`.
std::int64_t SecondsBetween(const LocalTime& from, const LocalTime& to);

}  // namespace tavoro::platform
