// The PIN an accepted caller keys before the home line is theirs, on the bridge and the
// virtual clock: what reaches X-Lite, what the window shows, and how a caller who keeps
// keying wrong is turned away. Without a PIN the relay's own tests hold unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bridge_harness.h"

namespace tavoro::app::testing {
namespace {

using platform::headless::ScriptedCall;
using ::testing::Each;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using Keys = std::vector<std::string>;
using Times = std::vector<std::uint64_t>;

class Pin : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.call_settings.pin = "2468";
    ASSERT_FALSE(bridge.Listen());
  }
  // Alice is taken at 4000 and keys each character of `codes`, `gap` ms apart from 6000 on.
  std::shared_ptr<ScriptedCall> AliceKeys(std::string_view codes, std::uint64_t gap) {
    auto call = bridge.skype->RingAt(4000, "alice");
    for (std::size_t i = 0; i < codes.size(); ++i)
      bridge.skype->SendDtmfAt(6000 + gap * i, call, std::string(1, codes[i]));
    return call;
  }
  // What the codes box showed up to the first time it was emptied after the caller was taken.
  Keys ShownBeforeTheMatch() const {
    const Keys& history = bridge.display.keypad_history;
    const auto opened = std::find(history.begin() + 1, history.end(), "");
    return Keys(history.begin() + 1, opened);
  }
  const RecordingDisplay& shown() const { return bridge.display; }
  Bridge bridge;
};

TEST_F(Pin, TheRightPinOpensTheRelayAndNoDigitOfItReachesXLiteOrTheScreen) {
  AliceKeys("2468#0312#", 1000);
  std::string state_before_the_pin;
  bridge.headless.loop.PostAt(5900, [&] { state_before_the_pin = shown().softphone_state; });
  std::string state_after_the_pin;
  bridge.headless.loop.PostAt(10'100, [&] { state_after_the_pin = shown().softphone_state; });
  ASSERT_FALSE(bridge.RunUntil(16'500));
  EXPECT_EQ(state_before_the_pin, "暗証番号待ち");
  EXPECT_EQ(state_after_the_pin, "通話中");
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "0", "3", "1", "2", "{ENTER}"}));
  EXPECT_EQ(ShownBeforeTheMatch(), (Keys{"*", "**", "***", "****", "*****"}));
  EXPECT_EQ(shown().keypad_codes, "0312#");
  EXPECT_EQ(shown().softphone_state, "通話中");
  EXPECT_TRUE(bridge.call->flags().NumberDialled);
}

TEST_F(Pin, WrongTriesCountAloneAndTheCodesAfterOneStartTheNext) {
  // Two wrong tries, the second holding the PIN behind a wrong digit, then the PIN.
  auto call = AliceKeys("1357#92468#2468#5#", 100);
  ASSERT_FALSE(bridge.RunUntil(12'000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "5", "{ENTER}"}));
  EXPECT_THAT(ShownBeforeTheMatch(), Each(MatchesRegex("\\**")));
  EXPECT_EQ(ShownBeforeTheMatch().size(), 16u);
  EXPECT_THAT(call->finished_at(), IsEmpty());
}

TEST_F(Pin, CodesFasterThanThePausesAreTakenInOrder) {
  AliceKeys("2468#07#9", 20);
  ASSERT_FALSE(bridge.RunUntil(9000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "0", "7", "{ENTER}", "9"}));
  // The PIN costs no pause: the first relayed code is typed after its own three activations.
  EXPECT_EQ(bridge.KeyTimes(), (Times{4300, 4600, 6400, 6700, 7000, 7300}));
}

TEST_F(Pin, TheThirdWrongTryEndsTheCallAndNothingIsRelayedUntilTheNextCaller) {
  auto call = AliceKeys("1#22#333#2468#5#", 100);
  ASSERT_FALSE(bridge.RunUntil(12'000));
  EXPECT_EQ(call->finished_at(), (Times{6800}));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "^h"})) << "the end of the call hangs up";
  EXPECT_EQ(shown().softphone_state, "待機中");
  EXPECT_TRUE(bridge.Listening());

  // Bob is accepted afresh, with all his tries.
  auto next = bridge.skype->RingAt(13'000, "bob");
  const std::string_view codes = "0#2468#1#";
  for (std::size_t i = 0; i < codes.size(); ++i)
    bridge.skype->SendDtmfAt(15'000 + 100 * i, next, std::string(1, codes[i]));
  ASSERT_FALSE(bridge.RunUntil(20'000));
  const Keys keys = bridge.Keys();
  EXPECT_EQ(Keys(keys.begin() + 3, keys.end()), (Keys{"^h", "{ENTER}", "1", "{ENTER}"}));
}

TEST_F(Pin, AHomeLineCallForwardedByTheGatewayNeedsNone) {
  // A caller who stopped inside a try leaves the gate waiting; the forward opens it.
  auto caller = AliceKeys("24", 100);
  bridge.skype->RemoteFinishesAt(7000, caller);
  ASSERT_FALSE(bridge.RunUntil(11'000));
  ASSERT_TRUE(bridge.Listening());
  bridge.skype->WhenCallPlaced([this](const std::shared_ptr<ScriptedCall>& call) {
    bridge.skype->RemoteAnswersAt(bridge.Now() + 1000, call);
    bridge.skype->SendDtmfAt(bridge.Now() + 3000, call, "5");
    bridge.skype->SendDtmfAt(bridge.Now() + 4000, call, "#");
  });
  bridge.PlayLevels(Levels({{100, 5}, {11, 11}}));
  ASSERT_FALSE(bridge.RunFor(8000));
  ASSERT_EQ(bridge.skype->placed_calls().size(), 1u);
  const Keys keys = bridge.Keys();
  EXPECT_EQ(Keys(keys.end() - 4, keys.end()), (Keys{"^h", "{ENTER}", "5", "{ENTER}"}));
  EXPECT_EQ(shown().keypad_codes, "**5#") << "the box is emptied only for a new caller";
}

}  // namespace
}  // namespace tavoro::app::testing
