// Skype calls through the bridge: screening and taking incoming calls, the end of any call,
// keypad codes relayed into the softphone, and the status boxes that flash on each change.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/run_time_error.h"
#include "app/softphone_queue.h"
#include "bridge_harness.h"

namespace tavoro::app::testing {
namespace {

using platform::MsgBoxIcon;
using platform::SkypeError;
using platform::headless::ScriptedCall;
using platform::headless::SkypeOperation;
namespace call_type = platform::skype_call_type;
namespace call_status = platform::skype_call_status;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using Keys = std::vector<std::string>;
using Times = std::vector<std::uint64_t>;

class Calls : public ::testing::Test {
 protected:
  explicit Calls(const char* settings = kUsualSettings) : bridge(settings) {}
  void SetUp() override { ASSERT_FALSE(bridge.Start()); }
  frmMain& main() { return *bridge.main; }
  // An accepted caller rings at `at` and is taken; the bridge is up 600 ms later.
  std::shared_ptr<ScriptedCall> Bridged(std::uint64_t at, std::string partner = "alice") {
    auto call = bridge.skype->RingAt(at, std::move(partner));
    EXPECT_FALSE(bridge.RunUntil(at + 1000));
    return call;
  }
  Bridge bridge;
};

TEST_F(Calls, AnAcceptedCallerIsTakenNoEarlierThan600MsAfterTheRing) {
  auto call = bridge.skype->RingAt(4000, "alice");
  ASSERT_FALSE(bridge.RunUntil(5000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}"}));
  EXPECT_EQ(bridge.KeyTimes(), (Times{4300, 4600}));
  EXPECT_EQ(call->answered_at(), (Times{4600}));
  EXPECT_EQ(main().Text7.text(), "alice");
  EXPECT_EQ(main().Text8.text(), "通話中");
  EXPECT_EQ(main().Text4.text(), "Call in Progress");
  EXPECT_TRUE(main().SkypeCallAnswered) << "status 5 of any call sets the flag";
  EXPECT_FALSE(main().Timer1.enabled());
  EXPECT_FALSE(bridge.meter.capturing());
}

class Screening : public Calls {
 protected:
  Screening()
      : Calls(
            "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\n"
            "AcceptFrom-100=+81312345678\r\n") {}
};

TEST_F(Screening, IsExactOverAllHundredPositionsAndNeverAcceptsAnEmptyHandle) {
  ASSERT_EQ(main().AcceptedCallers()[100], "+81312345678");
  struct Case {
    std::string partner;
    std::int32_t type;
    bool accepted;
  };
  const Case cases[] = {
      {"alice", call_type::kIncomingP2p, true},   {"+81312345678", call_type::kIncomingPstn, true},
      {"Alice", call_type::kIncomingP2p, false},  {" alice", call_type::kIncomingP2p, false},
      {"alice ", call_type::kIncomingP2p, false}, {"", call_type::kIncomingPstn, false},
      {"bob", call_type::kIncomingP2p, false},
  };
  std::uint64_t at = bridge.Now() + 1000;
  for (const Case& c : cases) {
    SCOPED_TRACE("partner '" + c.partner + "'");
    const std::size_t keys_before = bridge.Keys().size();
    auto call = bridge.skype->RingAt(at, c.partner, c.type);
    ASSERT_FALSE(bridge.RunUntil(at + 1000));
    EXPECT_EQ(main().Text7.text(), c.partner);
    EXPECT_EQ(call->answered_at().size(), c.accepted ? 1u : 0u);
    EXPECT_EQ(bridge.Keys().size() - keys_before, c.accepted ? 2u : 0u);
    // Every call ends before the next case; detection is back 3.3 s later.
    bridge.skype->RemoteFinishesAt(bridge.Now(), call);
    ASSERT_FALSE(bridge.RunFor(4000));
    EXPECT_TRUE(main().Timer1.enabled());
    at = bridge.Now() + 1000;
  }
}

TEST_F(Calls, AnOutgoingCallThatRingsIsNotScreened) {
  main().Text7.set_text("earlier");
  auto call = bridge.skype->RingAt(4000, "alice", call_type::kOutgoingP2p);
  ASSERT_FALSE(bridge.RunUntil(5000));
  EXPECT_EQ(main().Text7.text(), "earlier");
  EXPECT_EQ(main().Text4.text(), "Calling");
  EXPECT_THAT(bridge.Keys(), IsEmpty());
  EXPECT_TRUE(main().Timer1.enabled());
}

TEST_F(Calls, StatusSevenOrNineOfAnyCallHangsUpAndListensAgainThreeSecondsLater) {
  for (std::int32_t status : {call_status::kFinished, call_status::kRefused}) {
    SCOPED_TRACE(status);
    const std::uint64_t at = bridge.Now() + 1000;
    main().NumberDialled = true;
    main().SkypeCallRefused = false;
    const std::size_t keys_before = bridge.Keys().size();
    // A call the program never answered: an unlisted caller gives up.
    auto call = bridge.skype->RingAt(at, "mallory");
    bridge.skype->ChangeStatusAt(at + 500, call, status);
    // The flag is set only after the restart's wait.
    bridge.headless.loop.PostAt(at + 3790, [&] {
      EXPECT_FALSE(main().SkypeCallRefused);
      EXPECT_FALSE(main().Timer1.enabled());
    });
    ASSERT_FALSE(bridge.RunUntil(at + 3700));
    EXPECT_EQ(bridge.Now(), at + 3800) << "the handler returns when detection is back";
    EXPECT_TRUE(main().Timer1.enabled());
    EXPECT_TRUE(bridge.meter.capturing());
    const Keys keys = bridge.Keys();
    EXPECT_EQ(Keys(keys.begin() + keys_before, keys.end()), Keys{"^h"});
    EXPECT_EQ(bridge.KeyTimes().back(), at + 800);
    EXPECT_EQ(main().Text8.text(), "待機中");
    EXPECT_FALSE(main().NumberDialled);
    EXPECT_EQ(main().SkypeCallRefused, status == call_status::kRefused);
    EXPECT_FALSE(main().SkypeCallAnswered);
  }
}

TEST_F(Calls, ASecondAcceptedCallerTakesTheSoftphoneOver) {
  auto first = Bridged(4000, "alice");
  auto second = bridge.skype->RingAt(6000, "bob");
  ASSERT_FALSE(bridge.RunUntil(7000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "^h", "{ENTER}"}));
  EXPECT_EQ(second->answered_at(), (Times{6600}));
  EXPECT_EQ(main().Text7.text(), "bob");
}

TEST_F(Calls, AfterTheFirstActivationFailingStepsArePassedOver) {
  bridge.skype->Fail(SkypeOperation::CallAnswer, SkypeError(-2147467259, "Operation failed."));
  bridge.skype->Fail(SkypeOperation::CallStatusToText,
                     SkypeError(-2147467259, "Operation failed."));
  auto call = bridge.skype->RingAt(4000, "alice");
  ASSERT_FALSE(bridge.RunUntil(5000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}"}));
  EXPECT_EQ(main().Text8.text(), "通話中");
  EXPECT_THAT(bridge.headless.boxes.shown(), IsEmpty());
}

TEST_F(Calls, FailuresBeforeTheFirstActivationEndWithTheRunTimeError) {
  bridge.skype->Fail(SkypeOperation::CallPartnerHandle,
                     SkypeError(-2147467259, "Operation failed."));
  bridge.skype->RingAt(4000, "alice");
  EXPECT_TRUE(bridge.RunUntil(5000));
  EXPECT_EQ(bridge.MessageTexts(),
            Keys{"実行時エラー '-2147467259 (80004005)':\r\n\r\nOperation failed."});
  EXPECT_EQ(bridge.headless.boxes.shown()[0].icon, MsgBoxIcon::Critical);
  EXPECT_THAT(bridge.Keys(), IsEmpty());
}

TEST_F(Calls, XLiteGoneWhileTakingACallEndsBeforeTheAnswer) {
  bridge.softphone.CloseWindowAt(bridge.xlite, 4100);
  auto call = bridge.skype->RingAt(4000, "alice");
  EXPECT_TRUE(bridge.RunUntil(5000));
  EXPECT_THAT(call->answered_at(), IsEmpty());
  EXPECT_EQ(bridge.MessageTexts(),
            Keys{"X-Liteが起動していません。X-Lite起動後にこのアプリケーションを再起動してくだ"
                 "さい。"});
}

TEST_F(Calls, KeypadCodesAreTypedInOrderTheFirstHashDialsAndLaterOnesAreTones) {
  auto call = Bridged(4000);
  const Keys codes{"1", "2", "3", "#", "4", "#"};
  for (std::size_t i = 0; i < codes.size(); ++i)
    bridge.skype->SendDtmfAt(6000 + 1000 * i, call, codes[i]);
  std::vector<std::string> text8;
  for (std::size_t i = 0; i < codes.size(); ++i)
    bridge.headless.loop.PostAt(6999 + 1000 * i, [&] { text8.push_back(main().Text8.text()); });
  ASSERT_FALSE(bridge.RunUntil(12'500));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "1", "2", "3", "{ENTER}", "4", "#"}));
  EXPECT_EQ(bridge.KeyTimes(), (Times{4300, 4600, 6300, 7300, 8300, 9300, 10300, 11300}));
  EXPECT_EQ(main().Text3.text(), "123#4#");
  EXPECT_EQ(text8, (Keys{"プッシュボタン操作", "プッシュボタン操作", "プッシュボタン操作", "通話中",
                         "プッシュボタン操作", "プッシュボタン操作"}));
  EXPECT_TRUE(main().NumberDialled);

  // After the call ends the next "#" dials again.
  bridge.skype->RemoteFinishesAt(13'000, call);
  auto next = bridge.skype->RingAt(17'000, "bob");
  bridge.skype->SendDtmfAt(18'000, next, "#");
  ASSERT_FALSE(bridge.RunUntil(19'000));
  EXPECT_EQ(bridge.Keys().back(), "{ENTER}");
  EXPECT_EQ(main().Text3.text(), "#") << "a taken caller starts with an empty display";
}

TEST_F(Calls, CodesArriving50MsApartAreTypedWholeAndInEventOrder) {
  auto call = Bridged(4000);
  // The caller hangs up at 6120, between "*" and "#": the hang-up and its 3 s restart take
  // their turn there, and the "#" after it dials a fresh number.
  const Keys codes{"0", "9", "*", "#", "5", "#", "7"};
  for (std::size_t i = 0; i < codes.size(); ++i)
    bridge.skype->SendDtmfAt(6000 + 50 * i, call, codes[i]);
  bridge.skype->RemoteFinishesAt(6120, call);
  ASSERT_FALSE(bridge.RunUntil(15'000));
  const Keys all = bridge.Keys();
  EXPECT_EQ(Keys(all.begin() + 2, all.end()),
            (Keys{"0", "9", "*", "^h", "{ENTER}", "5", "#", "7"}));
  const Times all_times = bridge.KeyTimes();
  // Each sequence's key follows its own three activations; none of another sequence between.
  EXPECT_EQ(Times(all_times.begin() + 2, all_times.end()),
            (Times{6300, 6600, 6900, 7200, 10500, 10800, 11100, 11400}));
  EXPECT_EQ(main().Text3.text(), "09*#5#7");
  EXPECT_TRUE(main().NumberDialled);
  // The start-up test, the two of taking the call, three per sequence since.
  EXPECT_EQ(bridge.softphone.activations(bridge.xlite).size(), 1u + 6 + 3 * 8);
  EXPECT_EQ(main().softphone_queue().waiting(), 0u);
  EXPECT_FALSE(main().softphone_queue().running());
}

TEST_F(Calls, OtherCodesAreShownAndActivateButTypeNothing) {
  auto call = Bridged(4000);
  const std::size_t activations = bridge.softphone.activations(bridge.xlite).size();
  for (const char* code : {"A", "12", "", "＃"})
    bridge.skype->SendDtmfAt(6000, call, code);
  ASSERT_FALSE(bridge.RunUntil(8000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}"}));
  EXPECT_EQ(main().Text3.text(), "A12＃");
  EXPECT_EQ(bridge.softphone.activations(bridge.xlite).size(), activations + 12);
  EXPECT_EQ(main().Text8.text(), "通話中");
}

TEST(StatusDisplay, EachBoxLightsOnEveryChangeAndRestsHalfASecondAfterItsLast) {
  Bridge bridge;
  bridge.Create();
  frmMain& main = *bridge.main;
  for (forms::TextBox* box : {&main.Text4, &main.Text7, &main.Text3, &main.Text8}) {
    EXPECT_EQ(box->text(), "");
    EXPECT_EQ(box->back_color(), forms::kWindowColor);
  }
  EXPECT_EQ(kFlashColor, 0xC0FFC0u);
  ASSERT_FALSE(bridge.Start());
  ASSERT_FALSE(bridge.RunFor(1000));
  for (forms::TextBox* box : {&main.Text4, &main.Text7, &main.Text3, &main.Text8})
    EXPECT_EQ(box->back_color(), forms::kWindowColor) << box->name();

  const std::uint64_t t = bridge.Now();
  bridge.headless.loop.PostAt(t, [&] { main.Text4.set_text("Calling"); });
  bridge.headless.loop.PostAt(t + 200, [&] { main.Text8.set_text("通話中"); });
  bridge.headless.loop.PostAt(t + 300, [&] { main.Text3.UserEdits("typed"); });
  bridge.headless.loop.PostAt(t + 400, [&] { main.Text3.set_text(""); });  // emptying is a change
  bridge.headless.loop.PostAt(t + 450, [&] { main.Text7.set_text("x"); });
  struct Expect {
    std::uint64_t at;
    bool text4, text8, text3, text7;
  };
  const Expect expectations[] = {
      {t + 499, true, true, true, true},     {t + 500, false, true, true, true},
      {t + 699, false, true, true, true},    {t + 700, false, false, true, true},
      {t + 899, false, false, true, true},   {t + 900, false, false, false, true},
      {t + 950, false, false, false, false},
  };
  auto lit = [](const forms::TextBox& box) { return box.back_color() == kFlashColor; };
  for (const Expect& e : expectations) {
    ASSERT_FALSE(bridge.RunUntil(e.at));
    SCOPED_TRACE(e.at - t);
    EXPECT_EQ(lit(main.Text4), e.text4);
    EXPECT_EQ(lit(main.Text8), e.text8);
    EXPECT_EQ(lit(main.Text3), e.text3);
    EXPECT_EQ(lit(main.Text7), e.text7);
  }
  EXPECT_FALSE(main.timColor1.enabled());
  EXPECT_EQ(main.timColor1.interval(), 500u);
}

TEST(RunTimeError, TheMessageNamesTheNumberAsTheRuntimeDoes) {
  EXPECT_EQ(RunTimeErrorText(5, "プロシージャの呼び出し、または引数が不正です。"),
            "実行時エラー '5':\r\n\r\nプロシージャの呼び出し、または引数が不正です。");
  EXPECT_EQ(RunTimeErrorText(65535, "x"), "実行時エラー '65535':\r\n\r\nx");
  EXPECT_EQ(RunTimeErrorText(65536, "x"), "実行時エラー '65536 (00010000)':\r\n\r\nx");
  EXPECT_EQ(RunTimeErrorText(-2147220988, "Connection refused."),
            "実行時エラー '-2147220988 (80040204)':\r\n\r\nConnection refused.");
}

}  // namespace
}  // namespace tavoro::app::testing
