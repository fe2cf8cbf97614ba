#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/headless/virtual_clock.h"

namespace tavoro::platform {
namespace {

TEST(SecondsBetween, CountsCalendarSecondsAcrossEveryBoundary) {
  EXPECT_EQ(SecondsBetween({2024, 5, 6, 7, 8, 9}, {2024, 5, 6, 7, 8, 24}), 15);
  EXPECT_EQ(SecondsBetween({2024, 5, 6, 7, 8, 24}, {2024, 5, 6, 7, 8, 9}), -15);
  EXPECT_EQ(SecondsBetween({2024, 4, 30, 23, 59, 58}, {2024, 5, 1, 0, 0, 3}), 5);
  EXPECT_EQ(SecondsBetween({2023, 12, 31, 23, 59, 59}, {2024, 1, 1, 0, 0, 0}), 1);
  EXPECT_EQ(SecondsBetween({1970, 1, 1, 0, 0, 0}, {2000, 1, 1, 0, 0, 0}), 946'684'800);
}

TEST(SecondsBetween, KnowsWhichFebruariesHaveALeapDay) {
  constexpr std::int64_t kDay = 86'400;
  EXPECT_EQ(SecondsBetween({2024, 2, 28}, {2024, 3, 1}), 2 * kDay);
  EXPECT_EQ(SecondsBetween({2023, 2, 28}, {2023, 3, 1}), kDay);
  EXPECT_EQ(SecondsBetween({1900, 2, 28}, {1900, 3, 1}), kDay);
  EXPECT_EQ(SecondsBetween({2000, 2, 28}, {2000, 3, 1}), 2 * kDay);
}

using headless::VirtualClock;

TEST(VirtualClock, NowTicksOverAtTheSecondBoundaryOfItsStart) {
  VirtualClock clock({2024, 2, 28, 23, 59, 59}, 500);
  clock.Advance(499);
  EXPECT_EQ(clock.Now(), (LocalTime{2024, 2, 28, 23, 59, 59}));
  clock.Advance(1);
  EXPECT_EQ(clock.Now(), (LocalTime{2024, 2, 29, 0, 0, 0}));
  clock.Advance(86'400'000);
  EXPECT_EQ(clock.Now(), (LocalTime{2024, 3, 1, 0, 0, 0}));
  EXPECT_EQ(clock.Milliseconds(), 86'400'500u);
}

TEST(VirtualClock, NowAgreesWithSecondsBetweenOverCenturyYears) {
  const LocalTime start{2099, 11, 30, 12, 0, 0};
  VirtualClock clock(start);
  constexpr std::uint64_t kStep = 7 * 3'600'000 + 1234;  // lands on every hour of the day
  for (std::uint64_t elapsed = 0; elapsed < 3 * 365ULL * 86'400'000; elapsed += kStep) {
    clock.AdvanceTo(elapsed);
    const LocalTime now = clock.Now();
    ASSERT_EQ(SecondsBetween(start, now), static_cast<std::int64_t>(elapsed / 1000));
    ASSERT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
    ASSERT_TRUE(now.hour < 24 && now.minute < 60 && now.second < 60);
  }
  EXPECT_EQ(clock.Now().year, 2102);

  VirtualClock no_leap_day({2100, 2, 28, 23, 59, 59});
  no_leap_day.Advance(1000);
  EXPECT_EQ(no_leap_day.Now(), (LocalTime{2100, 3, 1, 0, 0, 0}));
}

TEST(VirtualClock, SettingTheLocalTimeLeavesTheMillisecondCountAlone) {
  VirtualClock clock({2024, 1, 1});
  clock.Advance(2500);
  clock.SetLocalTime({2023, 6, 30, 23, 59, 59}, 900);
  clock.AdvanceTo(2000);  // never backwards
  EXPECT_EQ(clock.Milliseconds(), 2500u);
  clock.Advance(100);
  EXPECT_EQ(clock.Now(), (LocalTime{2023, 7, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace tavoro::platform
