#include "headless/virtual_clock.h"

namespace tavoro::platform::headless {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Floor division, so instants before 1970 fall on the right day and second.
std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// The inverse of the days-from-civil count that SecondsBetween uses (H. Hinnant's
// civil_from_days): the date `days` after 1970-01-01.
LocalTime CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  LocalTime date;
  date.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  date.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  date.year = static_cast<int>(year_of_era + era * 400 + (date.month <= 2 ? 1 : 0));
  return date;
}

}  // namespace

VirtualClock::VirtualClock(const LocalTime& start, std::uint32_t millisecond)
    : start_calendar_ms_(SecondsBetween(LocalTime{}, start) * 1000 + millisecond) {}

void VirtualClock::AdvanceTo(std::uint64_t milliseconds) {
  if (milliseconds <= elapsed_ms_)
    return;
  elapsed_ms_ = milliseconds;
  for (TimeFollower* follower : followers_)
    follower->TimeMoved(elapsed_ms_);
}

void VirtualClock::Unfollow(TimeFollower& follower) {
  std::erase(followers_, &follower);
}

LocalTime VirtualClock::Now() {
  const std::int64_t calendar_ms = start_calendar_ms_ + static_cast<std::int64_t>(elapsed_ms_);
  const std::int64_t days = FloorDiv(calendar_ms, kMsPerDay);
  const std::int64_t second_of_day = (calendar_ms - days * kMsPerDay) / 1000;
  LocalTime now = CivilFromDays(days);
  now.hour = static_cast<int>(second_of_day / 3600);
  now.minute = static_cast<int>(second_of_day / 60 % 60);
  now.second = static_cast<int>(second_of_day % 60);
  return now;
}

}  // namespace tavoro::platform::headless
