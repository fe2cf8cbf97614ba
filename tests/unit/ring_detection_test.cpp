// Ring detection: the statistics that tell a ring from the room, their timing on Timer1, and
// the call to the Skype user of CallTo that a ring starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "app/ring_statistics.h"
#include "bridge_harness.h"

namespace tavoro::app::testing {
namespace {

using platform::MsgBoxIcon;
using platform::headless::ScriptedCall;
using platform::headless::WaveCall;
using Verdict = RingStatistics::Verdict;
using ::testing::IsEmpty;

// Feeds the levels and gives the index of the first reading that fires, or -1.
int FirstRing(RingStatistics& stats, const std::vector<int>& levels) {
  for (std::size_t i = 0; i < levels.size(); ++i) {
    if (stats.Take(levels[i]) == Verdict::Ring)
      return static_cast<int>(i);
  }
  return -1;
}

TEST(RingStatistics, ElevenLoudReadingsInARowAfterTheWarmUpAreARing) {
  struct Case {
    const char* what;
    std::vector<int> levels;
    int fires_at;
  };
  const Case cases[] = {
      {"constant silence", Levels({{5000, 5}}), -1},
      {"exactly twice the average is not loud", Levels({{100, 5}, {50, 10}}), -1},
      {"one above twice the average is", Levels({{100, 5}, {11, 11}}), 110},
      {"ten loud and a quiet one", Levels({{100, 5}, {10, 11}, {1, 5}, {10, 11}}), -1},
      {"the run starts again after a quiet one", Levels({{100, 5}, {10, 11}, {1, 5}, {11, 11}}),
       121},
      {"loud readings within the warm-up only raise the average", Levels({{90, 5}, {30, 11}}), -1},
      {"the 100th reading is not tested yet", Levels({{99, 5}, {12, 133}}), 110},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RingStatistics stats;
    EXPECT_EQ(FirstRing(stats, c.levels), c.fires_at);
  }
}

TEST(RingStatistics, TheAverageIsAPlainMeanThenMovesByAThousandthAndSkipsTheRingReading) {
  RingStatistics stats;
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(stats.Take(i % 2 == 0 ? 5 : 8), Verdict::WarmingUp);
  EXPECT_EQ(stats.AverageLevel, (50 * 5 + 50 * 8) / 100);  // 6, rounded down
  EXPECT_EQ(stats.Take(13), Verdict::Loud);
  EXPECT_EQ(stats.Take(12), Verdict::Quiet) << "exactly twice 6";

  RingStatistics held;
  for (int i = 0; i < 1500; ++i)
    held.Take(5);
  EXPECT_EQ(held.TickCount, 1000);
  EXPECT_EQ(held.LevelSum, 5000);
  held.Take(9);  // sum - 5 + 9
  EXPECT_EQ(held.LevelSum, 5004);
  EXPECT_EQ(held.AverageLevel, 5);

  RingStatistics ring;
  FirstRing(ring, Levels({{100, 5}, {11, 11}}));
  EXPECT_EQ(ring.TickCount, 110) << "the reading that completes the run is not counted";
  EXPECT_EQ(ring.LevelSum, 100 * 5 + 10 * 11);
  ring.Restart();
  EXPECT_EQ(FirstRing(ring, Levels({{100, 5}, {1, 11}})), 100) << "the run is kept: a loud first";
}

class RingDetection : public OnTheBridge {
 protected:
  void SetUp() override {
    OnTheBridge::SetUp();
    enabled_at = bridge.Now();
  }
  // Plays a ring that Timer1 detects on its 111th tick.
  std::uint64_t PlayRing() {
    bridge.PlayLevels(Levels({{100, 5}, {11, 11}}));
    return enabled_at + 1110;
  }
  std::uint64_t enabled_at = 0;
};

TEST_F(RingDetection, TheEleventhLoudTickCallsTheSkypeUserAndGivesUpAfter45To46Seconds) {
  bool heard_when_called = false;
  bridge.skype->WhenCallPlaced(
      [&](const std::shared_ptr<ScriptedCall>&) { heard_when_called = shown().ring_heard; });
  const std::uint64_t ring_at = PlayRing();
  // The tick that hears the ring waits inside the call; probes run inside that wait.
  std::tuple<bool, std::optional<std::int32_t>, bool, bool> then;
  bridge.headless.loop.PostAt(ring_at + 10, [&] {
    then = {shown().ring_heard, shown().level, bridge.Listening(), bridge.meter.capturing()};
  });
  ASSERT_FALSE(bridge.RunUntil(ring_at + 60'000));
  EXPECT_TRUE(heard_when_called) << "shown before the call is placed";
  EXPECT_EQ(then, std::tuple(true, std::optional(11), false, false)) << "heard, 11, closed";
  ASSERT_EQ(bridge.skype->placed_calls().size(), 1u);
  const auto& placed = bridge.skype->placed_calls()[0];
  EXPECT_EQ(placed.at_ms, ring_at);
  EXPECT_EQ(placed.targets, (std::vector<std::string>{"home.user", "", "", ""}));
  EXPECT_EQ(bridge.skype->users_asked(), std::vector<std::string>{"home.user"});

  // Started at 12:00:04.110; more than 45 whole seconds have passed at 12:00:50, 45.9 s on.
  EXPECT_EQ(placed.call->finished_at(), std::vector<std::uint64_t>{ring_at + 45'892});
  EXPECT_TRUE(bridge.Listening() && bridge.meter.capturing()) << "listening again";
  EXPECT_EQ(bridge.Keys(), Keys{"^h"}) << "the finished call hangs up";
}

TEST_F(RingDetection, AnAnswerTakesTheRingingCallOnTheSoftphone) {
  bridge.skype->WhenCallPlaced([this](const std::shared_ptr<ScriptedCall>& call) {
    bridge.skype->RemoteAnswersAt(bridge.Now() + 5000, call);
    bridge.skype->RemoteFinishesAt(bridge.Now() + 65'000, call);
  });
  const std::uint64_t ring_at = PlayRing();
  ASSERT_FALSE(bridge.RunUntil(ring_at + 6000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}"}));
  EXPECT_EQ(bridge.KeyTimes(), (Times{ring_at + 5302, ring_at + 5602}));
  EXPECT_EQ(shown().softphone_state, "通話中");
  EXPECT_FALSE(bridge.Listening()) << "not listening while bridged";
  ASSERT_FALSE(bridge.RunUntil(ring_at + 60'000));
  EXPECT_THAT(bridge.skype->placed_calls()[0].call->finished_at(), IsEmpty());
  EXPECT_FALSE(bridge.Listening());
  ASSERT_FALSE(bridge.RunUntil(ring_at + 70'000));
  EXPECT_TRUE(bridge.Listening()) << "back after the Skype user hung up";
  EXPECT_EQ(bridge.Keys().back(), "^h");
}

TEST_F(RingDetection, ARefusalRestartsDetectionOnceAndPlacesNoFurtherCall) {
  bridge.skype->WhenCallPlaced([this](const std::shared_ptr<ScriptedCall>& call) {
    bridge.skype->RemoteRefusesAt(bridge.Now() + 5000, call);
  });
  const std::uint64_t ring_at = PlayRing();
  bool listening_before = true;
  bridge.headless.loop.PostAt(ring_at + 5000 + 3290,
                              [&] { listening_before = bridge.Listening(); });
  ASSERT_FALSE(bridge.RunUntil(ring_at + 5000 + 3290));
  EXPECT_FALSE(listening_before);
  EXPECT_EQ(bridge.Now(), ring_at + 5000 + 3300 + 2) << "the wait saw the flag and returned";
  EXPECT_TRUE(bridge.Listening());
  EXPECT_TRUE(flags().SkypeCallRefused);
  EXPECT_EQ(bridge.Keys(), Keys{"^h"});
  // The light stays red through the 100 warm-up readings, out at the first quiet one tested.
  ASSERT_FALSE(bridge.RunFor(990));
  EXPECT_TRUE(bridge.display.ring_heard);
  ASSERT_FALSE(bridge.RunFor(30));
  EXPECT_FALSE(bridge.display.ring_heard);
  ASSERT_FALSE(bridge.RunFor(60'000));
  EXPECT_EQ(bridge.skype->placed_calls().size(), 1u);
  EXPECT_THAT(bridge.skype->placed_calls()[0].call->finished_at(), IsEmpty());
  // One restart: the statistics have counted every tick since, uninterrupted.
  EXPECT_EQ(bridge.call->ring_statistics().TickCount, 1000);
}

// The ring is heard while the softphone is being hung up after an unlisted caller gave up: the
// forward follows the hang-up, and its call's answer or refusal is handled in time.
TEST_F(RingDetection, ARingHeardDuringASoftphoneSequenceIsForwardedWhenItIsDone) {
  for (const bool answered : {false, true}) {
    SCOPED_TRACE(answered ? "answered" : "refused");
    Bridge bridge;
    ASSERT_FALSE(bridge.Listen());
    const std::uint64_t enabled = bridge.Now();
    bridge.PlayLevels(Levels({{100, 5}, {10, 11}, {2000, 20}}));
    // Ten loud readings by 1100 ms; the eleventh comes inside the hang-up's activation.
    auto mallory = bridge.skype->RingAt(enabled + 1000, "mallory");
    bridge.skype->RemoteFinishesAt(enabled + 1105, mallory);
    std::uint64_t placed_at = 0;
    bridge.skype->WhenCallPlaced([&](const std::shared_ptr<ScriptedCall>& call) {
      placed_at = bridge.Now();
      if (answered)
        bridge.skype->RemoteAnswersAt(placed_at + 5000, call);
      else
        bridge.skype->RemoteRefusesAt(placed_at + 5000, call);
    });
    ASSERT_FALSE(bridge.RunUntil(enabled + 1105 + 300 + 5000 + 3300 + 10));
    ASSERT_EQ(bridge.skype->placed_calls().size(), 1u);
    EXPECT_EQ(placed_at, enabled + 1105 + 300) << "right after the hang-up";
    EXPECT_THAT(bridge.skype->placed_calls()[0].call->finished_at(), IsEmpty());
    EXPECT_EQ(bridge.display.softphone_state, answered ? "通話中" : "待機中");
    EXPECT_EQ(bridge.Listening(), !answered) << "listening again after one restart";
    EXPECT_EQ(bridge.call->flags().SkypeCallRefused, !answered);
    EXPECT_FALSE(bridge.call->flags().forward_waiting);
    EXPECT_EQ(bridge.Keys(), answered ? (Keys{"^h", "^h", "{ENTER}"}) : (Keys{"^h", "^h"}));
  }
}

TEST_F(RingDetection, ARestartWhileListeningClosesTheCaptureFirstAndNoTickReadsItClosed) {
  bridge.PlayLevels(Levels({{100000, 7}}));
  ASSERT_FALSE(bridge.RunFor(500));
  // Any call's end restarts detection, also while it runs.
  auto call = bridge.skype->RingAt(bridge.Now() + 100, "mallory");
  bridge.skype->RemoteFinishesAt(bridge.Now() + 200, call);
  const std::uint64_t finish_at = bridge.Now() + 200;
  std::vector<bool> polled_while_closed;
  for (std::uint64_t at = finish_at; at < finish_at + 3300; at += 5)
    bridge.headless.loop.PostAt(at, [&] {
      polled_while_closed.push_back(bridge.Listening() && !bridge.meter.capturing());
    });
  const std::optional<std::int32_t> before = shown().level;
  ASSERT_FALSE(bridge.RunFor(5000));
  EXPECT_EQ(std::count(polled_while_closed.begin(), polled_while_closed.end(), true), 0);
  EXPECT_EQ(before, 7);
  EXPECT_TRUE(bridge.Listening());
  EXPECT_THAT(bridge.wave_in.misuse(), IsEmpty());
  EXPECT_EQ(std::pair(bridge.wave_in.open_handles(), bridge.wave_in.live_buffers()),
            (std::pair<std::size_t, std::size_t>(1, 2)));
}

TEST_F(RingDetection, TheMeterFailingTwiceEndsWithItsMessageAndOnceIsRetriedAfterSixSeconds) {
  for (bool second_fails : {false, true}) {
    SCOPED_TRACE(second_fails);
    bridge.wave_in.FailCall(WaveCall::Open, platform::kWaveNoMemory);
    const std::uint64_t finish_at = bridge.Now() + 100;
    auto call = bridge.skype->RingAt(finish_at - 50, "mallory");
    bridge.skype->RemoteFinishesAt(finish_at, call);
    if (!second_fails) {
      // The device is free again during the 6 s wait.
      bridge.headless.loop.PostAt(
          finish_at + 5000, [&] { bridge.wave_in.FailCall(WaveCall::Open, platform::kWaveOk); });
    }
    EXPECT_EQ(bridge.RunUntil(finish_at + 10'000), second_fails);
    if (!second_fails) {
      EXPECT_TRUE(bridge.Listening());
      EXPECT_THAT(bridge.headless.boxes.shown(), IsEmpty()) << "the first failure is silent";
      EXPECT_THAT(bridge.wave_in.misuse(), IsEmpty());
      continue;
    }
    EXPECT_EQ(bridge.Now(), finish_at + 300 + 3000 + 6000);
    EXPECT_EQ(bridge.headless.boxes.shown(),
              (Boxes{{"X-Liteの音量検出機能がエラーを返しました。\r\n"
                      "There is not enough memory available for this task.\r\n"
                      "プログラムを一旦終了し、起動しなおしてみてください。",
                      MsgBoxIcon::Information, "Tavorophone"}}));
  }
}

}  // namespace
}  // namespace tavoro::app::testing
