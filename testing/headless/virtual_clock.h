#pragma once
// Time that moves only when told to, so a 45-second wait takes no real time and its length is
// exact. The calendar time is the start time plus the milliseconds elapsed since.

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace tavoro::platform::headless {

// Something that runs by itself while time passes, such as a capture device filling its
// buffers: told after every move of the clock, before anyone can look at the result.
class TimeFollower {
 public:
  virtual ~TimeFollower() = default;
  virtual void TimeMoved(std::uint64_t now_ms) = 0;
};

class VirtualClock final : public Clock {
 public:
  // `millisecond` places the start inside its second, so a test can put the next second
  // boundary exactly where it wants it.
  explicit VirtualClock(const LocalTime& start = {}, std::uint32_t millisecond = 0);

  // Counts from 0 at construction.
  std::uint64_t Milliseconds() override { return elapsed_ms_; }
  LocalTime Now() override;

  void Advance(std::uint64_t milliseconds) { AdvanceTo(elapsed_ms_ + milliseconds); }
  // Moves forward to `milliseconds`; an earlier value leaves the clock where it is.
  void AdvanceTo(std::uint64_t milliseconds);

  // The follower must call Unfollow before it goes.
  void Follow(TimeFollower& follower) { followers_.push_back(&follower); }
  void Unfollow(TimeFollower& follower);

 private:
  std::vector<TimeFollower*> followers_;
  std::uint64_t elapsed_ms_ = 0;
  // The start's calendar time, in milliseconds since 1970-01-01.
  std::int64_t start_calendar_ms_ = 0;
};

}  // namespace tavoro::platform::headless
