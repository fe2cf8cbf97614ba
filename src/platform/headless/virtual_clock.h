#pragma once
// Time that moves only when told to, so a 45-second wait takes no real time and its length is
// exact. The calendar time is the start time plus the milliseconds elapsed since it was set.

#include <cstdint>

#include "platform/clock.h"

namespace tavoro::platform::headless {

class VirtualClock final : public Clock {
 public:
  // `millisecond` places the start inside its second, so a test can put the next second
  // boundary exactly where it wants it.
  explicit VirtualClock(const LocalTime& start = {}, std::uint32_t millisecond = 0);

  // Counts from 0 at construction.
  std::uint64_t Milliseconds() override { return elapsed_ms_; }
  LocalTime Now() override;

  void Advance(std::uint64_t milliseconds) { elapsed_ms_ += milliseconds; }
  // Moves forward to `milliseconds`; an earlier value leaves the clock where it is.
  void AdvanceTo(std::uint64_t milliseconds);

  // Resets the calendar time as a user changing the system clock would; the millisecond
  // count keeps running undisturbed.
  void SetLocalTime(const LocalTime& time, std::uint32_t millisecond = 0);

 private:
  std::uint64_t elapsed_ms_ = 0;
  // Calendar time at `elapsed_ms_ == base_elapsed_ms_`, in milliseconds since 1970-01-01.
  std::int64_t base_calendar_ms_ = 0;
  std::uint64_t base_elapsed_ms_ = 0;
};

}  // namespace tavoro::platform::headless
