// Skype calls through the bridge: screening, taking and ending them, keypad codes relayed into
// the softphone; and the main window's status boxes, which flash on each change.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "app/run_time_error.h"
#include "bridge_harness.h"

namespace tavoro::app::testing {
namespace {

using platform::ClientError;
using platform::MsgBoxIcon;
using platform::headless::AttachOutcome;
using platform::headless::SkypeOperation;
namespace call_type = platform::skype_call_type;
namespace call_status = platform::skype_call_status;
using ::testing::IsEmpty;

using Calls = OnTheBridge;

TEST_F(Calls, AnAcceptedCallerIsTakenNoEarlierThan600MsAfterTheRingAndASecondOneTakesOver) {
  auto call = bridge.skype->RingAt(4000, "alice");
  ASSERT_FALSE(bridge.RunUntil(5000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}"}));
  EXPECT_EQ(bridge.KeyTimes(), (Times{4300, 4600}));
  EXPECT_EQ(call->answered_at(), (Times{4600}));
  EXPECT_EQ(shown().caller, "alice");
  EXPECT_EQ(shown().softphone_state, "通話中");
  EXPECT_EQ(shown().skype_state, "Call in Progress");
  EXPECT_TRUE(flags().SkypeCallAnswered) << "status 5 of any call sets the flag";
  EXPECT_FALSE(bridge.Listening() || bridge.meter.capturing());

  auto second = bridge.skype->RingAt(6000, "bob");
  ASSERT_FALSE(bridge.RunUntil(7000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "^h", "{ENTER}"}));
  EXPECT_EQ(second->answered_at(), (Times{6600}));
  EXPECT_EQ(shown().caller, "bob");
}

// An outgoing call that rings is not screened, and its partner not shown.
TEST_F(Calls, ScreeningIsExactOverAllHundredPositionsAndNeverAcceptsAnEmptyHandle) {
  bridge.call_settings.accepted_callers[2] = "";
  bridge.call_settings.accepted_callers[100] = "+81312345678";
  struct Case {
    std::string partner;
    std::int32_t type;
    bool accepted;
  };
  const Case cases[] = {
      {"alice", call_type::kIncomingP2p, true},   {"+81312345678", call_type::kIncomingPstn, true},
      {"Alice", call_type::kIncomingP2p, false},  {" alice", call_type::kIncomingP2p, false},
      {"alice ", call_type::kIncomingP2p, false}, {"", call_type::kIncomingPstn, false},
      {"bob", call_type::kIncomingP2p, false},    {"alice", call_type::kOutgoingP2p, false},
  };
  std::uint64_t at = bridge.Now() + 1000;
  for (const Case& c : cases) {
    SCOPED_TRACE("partner '" + c.partner + "'");
    const std::size_t keys_before = bridge.Keys().size();
    bridge.display.caller = "earlier";
    auto call = bridge.skype->RingAt(at, c.partner, c.type);
    ASSERT_FALSE(bridge.RunUntil(at + 1000));
    EXPECT_EQ(std::tuple(shown().caller, shown().skype_state, bridge.Listening(),
                         call->answered_at().size(), bridge.Keys().size() - keys_before),
              std::tuple(c.type == call_type::kOutgoingP2p ? "earlier" : c.partner,
                         c.accepted ? "Call in Progress" : "Calling", !c.accepted,
                         c.accepted ? 1u : 0u, c.accepted ? 2u : 0u));
    // Every call ends before the next case; detection is back 3.3 s later.
    bridge.skype->RemoteFinishesAt(bridge.Now(), call);
    ASSERT_FALSE(bridge.RunFor(4000));
    EXPECT_TRUE(bridge.Listening());
    at = bridge.Now() + 1000;
  }
}

TEST_F(Calls, StatusSevenOrNineOfAnyCallHangsUpAndListensAgainThreeSecondsLater) {
  for (std::int32_t status : {call_status::kFinished, call_status::kRefused}) {
    SCOPED_TRACE(status);
    const std::uint64_t at = bridge.Now() + 1000;
    // A call the program never answered: an unlisted caller keys a "#" that dials, gives up.
    auto call = bridge.skype->RingAt(at, "mallory");
    bridge.skype->SendDtmfAt(at + 100, call, "#");
    bridge.skype->ChangeStatusAt(at + 500, call, status);
    const std::size_t keys_before = bridge.Keys().size();
    bridge.headless.loop.PostAt(at + 450, [&] { EXPECT_TRUE(flags().NumberDialled); });
    // The flag is set only after the restart's wait.
    bridge.headless.loop.PostAt(at + 3790, [&] {
      EXPECT_FALSE(flags().SkypeCallRefused);
      EXPECT_FALSE(bridge.Listening());
    });
    ASSERT_FALSE(bridge.RunUntil(at + 3700));
    EXPECT_EQ(bridge.Now(), at + 3800) << "the handler returns when detection is back";
    EXPECT_TRUE(bridge.Listening() && bridge.meter.capturing());
    const Keys keys = bridge.Keys();
    EXPECT_EQ(Keys(keys.begin() + keys_before, keys.end()), (Keys{"{ENTER}", "^h"}));
    EXPECT_EQ(bridge.KeyTimes().back(), at + 800);
    EXPECT_EQ(shown().softphone_state, "待機中");
    EXPECT_EQ(
        std::tuple(flags().NumberDialled, flags().SkypeCallRefused, flags().SkypeCallAnswered),
        std::tuple(false, status == call_status::kRefused, false));
  }
}

TEST_F(Calls, AfterTheFirstActivationFailingStepsArePassedOver) {
  bridge.skype->Fail(SkypeOperation::CallAnswer, ClientError(-2147467259, "Operation failed."));
  bridge.skype->Fail(SkypeOperation::CallStatusToText,
                     ClientError(-2147467259, "Operation failed."));
  auto call = bridge.skype->RingAt(4000, "alice");
  ASSERT_FALSE(bridge.RunUntil(5000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}"}));
  EXPECT_EQ(shown().softphone_state, "通話中");
  EXPECT_THAT(bridge.headless.boxes.shown(), IsEmpty());
}

// Before its first activation a failure reaches the run-time error; X-Lite gone ends in the
// activation that misses it.
TEST(CallsEnding, FailuresBeforeTheFirstActivationAndXLiteGoneEndBeforeTheAnswer) {
  const Boxes run_time_error{{"実行時エラー '-2147467259 (80004005)':\r\n\r\nOperation failed.",
                              MsgBoxIcon::Critical, "Tavorophone"}};
  const Boxes xlite_gone{
      {"X-Liteが起動していません。X-Lite起動後にこのアプリケーションを再起動してください。",
       MsgBoxIcon::Exclamation, "Tavorophone"}};
  for (const bool xlite_closes : {false, true}) {
    Bridge bridge;
    ASSERT_FALSE(bridge.Listen());
    if (xlite_closes)
      bridge.softphone.CloseWindowAt(bridge.xlite, 4100);
    else
      bridge.skype->Fail(SkypeOperation::CallPartnerHandle,
                         ClientError(-2147467259, "Operation failed."));
    auto call = bridge.skype->RingAt(4000, "alice");
    EXPECT_TRUE(bridge.RunUntil(5000));
    EXPECT_THAT(call->answered_at(), IsEmpty());
    EXPECT_THAT(bridge.Keys(), IsEmpty());
    EXPECT_EQ(bridge.headless.boxes.shown(), xlite_closes ? xlite_gone : run_time_error);
  }
}

TEST_F(Calls, KeypadCodesAreTypedInOrderTheFirstHashDialsAndLaterOnesAreTones) {
  bridge.Rings(4000, "alice", "123#4#", 1000);
  std::vector<std::string> states;
  for (std::size_t i = 0; i < 6; ++i)
    bridge.headless.loop.PostAt(6999 + 1000 * i,
                                [&] { states.push_back(shown().softphone_state); });
  ASSERT_FALSE(bridge.RunUntil(12'500));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "1", "2", "3", "{ENTER}", "4", "#"}));
  EXPECT_EQ(bridge.KeyTimes(), (Times{4300, 4600, 6300, 7300, 8300, 9300, 10300, 11300}));
  EXPECT_EQ(shown().keypad_codes, "123#4#");
  EXPECT_EQ(states, (Keys{"プッシュボタン操作", "プッシュボタン操作", "プッシュボタン操作",
                          "通話中", "プッシュボタン操作", "プッシュボタン操作"}));
}

TEST_F(Calls, CodesArriving50MsApartAreTypedWholeAndInEventOrder) {
  auto call = bridge.Rings(4000, "alice");
  // The caller hangs up at 6120, between "*" and "#": the hang-up and its 3 s restart take
  // their turn there, and the "#" after it dials a fresh number. Other codes are shown and
  // take their turn, but type nothing.
  const Keys codes{"0", "9", "*", "#", "5", "#", "7", "A", "12"};
  for (std::size_t i = 0; i < codes.size(); ++i)
    bridge.skype->SendDtmfAt(6000 + 50 * i, call, codes[i]);
  bridge.skype->RemoteFinishesAt(6120, call);
  ASSERT_FALSE(bridge.RunUntil(15'000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "0", "9", "*", "^h", "{ENTER}", "5", "#", "7"}));
  // Each sequence's key follows its own three activations; none of another sequence between.
  EXPECT_EQ(bridge.KeyTimes(),
            (Times{4300, 4600, 6300, 6600, 6900, 7200, 10500, 10800, 11100, 11400}));
  EXPECT_EQ(shown().keypad_codes, "09*#5#7A12");
  EXPECT_EQ(shown().softphone_state, "プッシュボタン操作");
  EXPECT_TRUE(flags().NumberDialled);
  // The start-up test, the two of taking the call, three per sequence since.
  EXPECT_EQ(bridge.softphone.activations(bridge.xlite).size(), 1u + 6 + 3 * 10);
  EXPECT_EQ(bridge.call->softphone_queue().waiting(), 0u);
  EXPECT_FALSE(bridge.call->softphone_queue().running());
}

TEST_F(Calls, TheClientComingBackIsAttachedAgainAndAFailureThereEnds) {
  bridge.skype->ClientGoesAwayAt(10'000);
  bridge.skype->ClientAnnouncesItselfAt(20'000);
  ASSERT_FALSE(bridge.RunUntil(21'000));
  ASSERT_EQ(bridge.skype->attaches().size(), 2u);
  EXPECT_EQ(bridge.skype->attaches()[1].at_ms, 20'000u);

  bridge.skype->ClientGoesAwayAt(30'000);
  bridge.skype->ClientAnnouncesItselfAt(40'000);
  bridge.skype->ScriptAttach(AttachOutcome::Refuse);
  EXPECT_TRUE(bridge.RunUntil(41'000));
  EXPECT_EQ(bridge.headless.boxes.shown(),
            (Boxes{{"実行時エラー '-2147220988 (80040204)':\r\n\r\nConnection refused.",
                    MsgBoxIcon::Critical, "Tavorophone"}}));
}

// What a digit, "*" and "#" type is held by the call cases above; anything else types nothing.
TEST(DecideKeypadKey, CodesOtherThanOneDigitStarOrHashTypeNothing) {
  for (const std::string_view code : {"#1", "", "＃", "A"})
    EXPECT_EQ(DecideKeypadKey(code, true), KeypadAction{}) << code;
}

// The window shows each of the bridge's reports; a code is appended to what the codes box
// holds, also when the user typed into it.
TEST(MainWindow, ShowsWhatTheBridgeReports) {
  Bridge bridge;
  ASSERT_FALSE(bridge.Start());
  frmMain& main = *bridge.main;
  bridge.PlayLevels(Levels({{100, 5}, {10, 11}}));
  ASSERT_FALSE(bridge.RunFor(1100));
  EXPECT_EQ(std::tuple(main.level_label.caption(), main.level_bar.value(),
                       main.average_label.caption(), main.detection_light.back_color()),
            std::tuple("11", 11, "5", kDetectIdleColor));

  auto call = bridge.skype->RingAt(bridge.Now() + 100, "alice");
  ASSERT_FALSE(bridge.RunFor(1000));
  EXPECT_EQ(
      (Keys{main.caller_box.text(), main.softphone_state_box.text(), main.skype_state_box.text()}),
      (Keys{"alice", "通話中", "Call in Progress"}));
  main.keypad_codes_box.UserEdits("0");
  bridge.skype->SendDtmfAt(bridge.Now() + 100, call, "1");
  ASSERT_FALSE(bridge.RunFor(1000));
  EXPECT_EQ(main.keypad_codes_box.text(), "01");
  EXPECT_EQ(main.softphone_state_box.text(), "プッシュボタン操作");
}

TEST(MainWindow, EachStatusBoxLightsOnEveryChangeAndRestsHalfASecondAfterItsLast) {
  Bridge bridge;
  ASSERT_FALSE(bridge.Start());
  ASSERT_FALSE(bridge.RunFor(1000));
  frmMain& main = *bridge.main;
  // Each box is lit until half a second after its last change, in the order they rest.
  const std::pair<forms::TextBox*, std::uint64_t> rests[] = {{&main.skype_state_box, 500},
                                                             {&main.softphone_state_box, 700},
                                                             {&main.keypad_codes_box, 900},
                                                             {&main.caller_box, 950}};
  for (const auto& [box, at] : rests)
    EXPECT_EQ(box->back_color(), forms::kWindowColor) << box->name();

  const std::uint64_t t = bridge.Now();
  bridge.headless.loop.PostAt(t, [&] { main.skype_state_box.set_text("Calling"); });
  bridge.headless.loop.PostAt(t + 200, [&] { main.softphone_state_box.set_text("通話中"); });
  bridge.headless.loop.PostAt(t + 300, [&] { main.keypad_codes_box.UserEdits("typed"); });
  // Emptying is a change.
  bridge.headless.loop.PostAt(t + 400, [&] { main.keypad_codes_box.set_text(""); });
  bridge.headless.loop.PostAt(t + 450, [&] { main.caller_box.set_text("x"); });
  for (const auto& [box, at] : rests) {
    ASSERT_FALSE(bridge.RunUntil(t + at - 1));
    EXPECT_EQ(box->back_color(), kFlashColor) << box->name();
    ASSERT_FALSE(bridge.RunUntil(t + at));
    EXPECT_EQ(box->back_color(), forms::kWindowColor) << box->name();
  }
  EXPECT_FALSE(main.skype_state_flash.enabled());
}

TEST(RunTimeError, TheMessageNamesTheNumberAsTheRuntimeDoes) {
  EXPECT_EQ(RunTimeErrorText(65535, "x"), "実行時エラー '65535':\r\n\r\nx");
  EXPECT_EQ(RunTimeErrorText(65536, "x"), "実行時エラー '65536 (00010000)':\r\n\r\nx");
}

}  // namespace
}  // namespace tavoro::app::testing
