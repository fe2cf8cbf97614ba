#include <gtest/gtest.h>

#include "platform/clock.h"

namespace tavoro::platform {
namespace {

TEST(SecondsBetween, CountsCalendarSecondsAcrossDaysMonthsYearsAndLeapDays) {
  constexpr std::int64_t kDay = 86'400;
  EXPECT_EQ(SecondsBetween({2024, 5, 6, 7, 8, 24}, {2024, 5, 6, 7, 8, 9}), -15);
  EXPECT_EQ(SecondsBetween({2024, 4, 30, 23, 59, 58}, {2024, 5, 1, 0, 0, 3}), 5);
  EXPECT_EQ(SecondsBetween({2023, 12, 31, 23, 59, 59}, {2024, 1, 1, 0, 0, 0}), 1);
  EXPECT_EQ(SecondsBetween({1970, 1, 1}, {2000, 1, 1}), 946'684'800);
  EXPECT_EQ(SecondsBetween({2024, 2, 28}, {2024, 3, 1}), 2 * kDay);
  EXPECT_EQ(SecondsBetween({2023, 2, 28}, {2023, 3, 1}), kDay);
  EXPECT_EQ(SecondsBetween({1900, 2, 28}, {1900, 3, 1}), kDay);
  EXPECT_EQ(SecondsBetween({2000, 2, 28}, {2000, 3, 1}), 2 * kDay);
}

}  // namespace
}  // namespace tavoro::platform
