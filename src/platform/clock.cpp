#include "platform/clock.h"

namespace tavoro::platform {
namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil). Counting from March makes the leap day the last day of the shifted year,
// so every month's length but February's follows a fixed pattern.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

std::int64_t SecondsSinceEpoch(const LocalTime& time) {
  const std::int64_t days = DaysFromCivil(time.year, time.month, time.day);
  return days * 86400 + std::int64_t{time.hour} * 3600 + std::int64_t{time.minute} * 60 +
         time.second;
}

}  // namespace

std::int64_t SecondsBetween(const LocalTime& from, const LocalTime& to) {
  return SecondsSinceEpoch(to) - SecondsSinceEpoch(from);
}

}  // namespace tavoro::platform
