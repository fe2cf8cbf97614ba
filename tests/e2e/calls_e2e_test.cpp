// Both directions of a call through the real Tavoro.exe under Wine: the Skype library stand-in
// plays the Skype client (callers ring and key numbers, the called user answers or refuses),
// the X-Lite stand-in plays the softphone (it logs every key as it arrived, takes only the keys
// a keyboard would send, and rings on the capture device the gateway listens to), and each
// case reads back what the gateway did to both of them and what its main window shows.
//
// Environment: TAVORO_E2E_BIN (the folder of Tavoro.exe), TAVORO_E2E_SIM (the stand-ins),
// TAVORO_SOUND_MONITOR (the capture device the softphone's ring reaches), as scripts/e2e.sh
// sets them.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "gateway.h"
#include "tavoro_windows.h"

namespace tavoro::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Keys = std::vector<std::string>;

const std::string kHangUp = XLite::kHangUpKey;
const std::string kCall = XLite::kCallKey;

constexpr milliseconds kStartUp{20000};
// Generous limits that only bound a failing wait: a softphone sequence (three 100 ms pauses
// per activation) normally takes well under a second.
constexpr milliseconds kAct{10000};
// After a restart of ring detection: the 3 s wait, the warm-up readings, and up to a whole
// ring cadence (one second of ring, two of silence) before a burst is heard.
constexpr milliseconds kHearing{20000};
// The gateway gives up on the called user after 45 to 46 s.
constexpr milliseconds kUnanswered{60000};

const std::string kStandby = "待機中";
const std::string kInCall = "通話中";
const std::string kKeyRelayed = "プッシュボタン操作";

std::string Field(const SkypeLibrary::Line& line, const std::string& key) {
  const auto found = line.fields.find(key);
  return found == line.fields.end() ? "" : found->second;
}

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Environment(L"TAVORO_E2E_BIN").empty())
      GTEST_SKIP() << "run by scripts/e2e.sh, which says where the programs are";
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    gateway_.emplace(fs::temp_directory_path() / L"tavoro-calls" / test->name(), kCallSettings,
                     "client running; attach success");
    ASSERT_TRUE(gateway_->ready()) << gateway_->problem();
    ASSERT_TRUE(gateway_->Start(kStartUp)) << gateway_->problem();
  }

  Gateway& gateway() { return *gateway_; }
  SkypeLibrary& skype() { return gateway_->skype(); }
  XLite& xlite() { return gateway_->xlite(); }
  std::string Text(int control) const { return gateway_->Text(control); }

  // The id of the call that the last control command with `command` made or named.
  std::string CallOf(const std::string& command) const {
    std::string call;
    for (const auto& line : gateway_->skype().Journal("control")) {
      if (Field(line, "command") == command)
        call = Field(line, "call");
    }
    return call;
  }

  // The calls that the journal shows `operation` done to.
  std::vector<std::string> CallsOf(std::string_view operation) const {
    std::vector<std::string> calls;
    for (const auto& line : gateway_->skype().Journal(operation))
      calls.push_back(Field(line, "call"));
    return calls;
  }

  bool WaitForKeys(std::size_t count, milliseconds limit) const {
    return WaitUntil([&] { return gateway_->xlite().Keys().size() >= count; }, limit);
  }

  // The gateway is still up and has shown nothing of its own accord.
  void ExpectStillServing() { EXPECT_EQ(gateway_->Trouble(), std::nullopt); }

  std::optional<Gateway> gateway_;
};

// The accepted caller is answered with the softphone made ready first, keys a number that the
// softphone dials on "#", and hanging up on Skype hangs up the softphone.
TEST_F(Calls, AcceptedCallerDialsTheHomeLineAndHangsItUp) {
  ASSERT_TRUE(gateway().Skype("ring alice INCOMING_P2P"));
  ASSERT_TRUE(gateway().WaitForJournal("answer", 1, kAct));
  EXPECT_EQ(CallsOf("answer"), std::vector<std::string>{CallOf("ring alice INCOMING_P2P")});
  // Made ready before the answer, so the caller never keys into a softphone still busy.
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp, kCall));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text4, "Call in Progress", kAct));
  EXPECT_EQ(Text(frmMain::Text7), "alice");
  EXPECT_EQ(Text(frmMain::Text8), kInCall);

  // Keyed faster than the gateway types them: they must still arrive whole and in order.
  for (const char code : std::string("0312345678#"))
    ASSERT_TRUE(gateway().Skype(std::string("dtmf ") + code)) << code;
  EXPECT_TRUE(xlite().WaitForLine("dialled 0312345678", kAct));
  Keys dialled = {kHangUp, kCall};
  for (const char digit : std::string("0312345678"))
    dialled.push_back(XLite::DigitKey(digit));
  dialled.push_back(kCall);
  EXPECT_EQ(xlite().Keys(), dialled);
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, kInCall, kAct));
  EXPECT_EQ(Text(frmMain::Text3), "0312345678#");

  ASSERT_TRUE(gateway().Skype("finish"));
  EXPECT_TRUE(xlite().WaitForLine("hung up", kAct));
  dialled.push_back(kHangUp);
  EXPECT_EQ(xlite().Keys(), dialled);
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, kStandby, kAct));
  EXPECT_EQ(Text(frmMain::Text4), "Finished");
  // The caller hung up: the gateway ends nothing itself.
  EXPECT_THAT(skype().Journal("finish"), IsEmpty());
  ExpectStillServing();
}

// Callers not on the list ring on untouched: shown, never answered or ended, and the softphone
// gets no key. An accepted caller afterwards is the proof that the gateway had looked at them.
TEST_F(Calls, UnlistedCallersAreShownButNeverTaken) {
  ASSERT_TRUE(gateway().Skype("ring mallory INCOMING_P2P"));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text7, "mallory", kAct));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text4, "Calling", kAct));
  // A different letter case is a different name.
  ASSERT_TRUE(gateway().Skype("ring Alice INCOMING_PSTN"));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text7, "Alice", kAct));

  ASSERT_TRUE(gateway().Skype("ring alice INCOMING_P2P"));
  ASSERT_TRUE(gateway().WaitForJournal("answer", 1, kAct));
  EXPECT_TRUE(WaitForKeys(2, kAct));
  EXPECT_EQ(CallsOf("answer"), std::vector<std::string>{CallOf("ring alice INCOMING_P2P")});
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp, kCall));
  EXPECT_THAT(skype().Journal("finish"), IsEmpty());
  EXPECT_EQ(Text(frmMain::Text7), "alice");
  ExpectStillServing();
}

// The home line rings: the gateway hears the softphone, calls the Skype user, takes the
// ringing call on the softphone once the user answers, and hangs it up when the user does.
TEST_F(Calls, HomeLineRingIsForwardedAndBridgedWhenTheSkypeUserAnswers) {
  ASSERT_TRUE(xlite().Ring());
  ASSERT_TRUE(gateway().WaitForJournal("placecall", 1, kHearing)) << "the ring was not heard";
  const auto placed = skype().Journal("placecall").front();
  EXPECT_EQ(Field(placed, "target"), "home.user");
  // Nothing is typed while the user is being called: the home line rings on.
  EXPECT_THAT(xlite().Keys(), IsEmpty());

  ASSERT_TRUE(gateway().Skype("answer-outgoing"));
  EXPECT_TRUE(xlite().WaitForLine("answered", kAct));
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp, kCall));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, kInCall, kAct));
  EXPECT_EQ(Text(frmMain::Text4), "Call in Progress");

  ASSERT_TRUE(gateway().Skype("finish"));
  EXPECT_TRUE(xlite().WaitForLine("hung up", kAct));
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp, kCall, kHangUp));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, kStandby, kAct));
  EXPECT_EQ(Text(frmMain::Text4), "Finished");
  EXPECT_EQ(skype().Journal("placecall").size(), 1U);
  ExpectStillServing();
}

// The Skype user refuses: the softphone is only cleared (Ctrl+H leaves a ringing call
// ringing), and the gateway listens again, so the same ring still going is heard again and
// forwarded once more.
TEST_F(Calls, RefusedForwardLeavesTheHomeLineRingingAndListensAgain) {
  ASSERT_TRUE(xlite().Ring());
  ASSERT_TRUE(gateway().WaitForJournal("placecall", 1, kHearing)) << "the ring was not heard";
  ASSERT_TRUE(gateway().Skype("refuse-outgoing"));
  EXPECT_TRUE(WaitForKeys(1, kAct));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text4, "Refused", kAct));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, kStandby, kAct));

  EXPECT_TRUE(gateway().WaitForJournal("placecall", 2, kHearing)) << "not listening again";
  const auto lines = xlite().Lines();
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "answered"), 0);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "ring stopped"), 0);
  EXPECT_TRUE(xlite().Stop());
  ExpectStillServing();
}

// Nobody answers: the gateway ends its own call 45 to 46 s after placing it (the clock is
// read in whole seconds), hangs up nothing it had not taken, and listens again.
TEST_F(Calls, UnansweredForwardIsEndedByTheGatewayAfterFortyFiveSeconds) {
  ASSERT_TRUE(xlite().Ring());
  ASSERT_TRUE(gateway().WaitForJournal("placecall", 1, kHearing)) << "the ring was not heard";
  ASSERT_TRUE(gateway().WaitForJournal("finish", 1, kUnanswered));
  const auto placed = skype().Journal("placecall").front();
  const auto finished = skype().Journal("finish").front();
  EXPECT_EQ(Field(finished, "call"), Field(placed, "call"));
  const auto waited = static_cast<std::int64_t>(finished.ms - placed.ms);
  EXPECT_GE(waited, 44500);
  EXPECT_LE(waited, 48000);

  // The end of the call runs the end-of-call steps like any other.
  EXPECT_TRUE(WaitForKeys(1, kAct));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text4, "Finished", kAct));
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp));
  EXPECT_TRUE(gateway().WaitForJournal("placecall", 2, kHearing)) << "not listening again";
  EXPECT_TRUE(xlite().Stop());
  ExpectStillServing();
}

// The Skype client was restarted: once it says it is available again the gateway attaches
// again, and calls reach it as before.
TEST_F(Calls, RestartedClientIsAttachedAgain) {
  ASSERT_EQ(skype().Journal("attach").size(), 1U);
  ASSERT_TRUE(gateway().Skype("client stopped"));
  ASSERT_TRUE(gateway().Skype("client running"));
  ASSERT_TRUE(gateway().Skype("attachment 4"));
  ASSERT_TRUE(gateway().WaitForJournal("attach", 2, kAct));
  const auto again = skype().Journal("attach").back();
  EXPECT_EQ(Field(again, "protocol"), "5");
  EXPECT_EQ(Field(again, "wait"), "true");
  EXPECT_EQ(Field(again, "outcome"), "success");

  ASSERT_TRUE(gateway().Skype("ring alice INCOMING_P2P"));
  EXPECT_TRUE(gateway().WaitForJournal("answer", 1, kAct));
  ExpectStillServing();
}

// The softphone went away during a call: the next key finds no window, and the gateway says
// so and ends, leaving the Skype call as it is.
TEST_F(Calls, SoftphoneGoneDuringACallEndsTheGatewayWithItsMessage) {
  ASSERT_TRUE(gateway().Skype("ring alice INCOMING_P2P"));
  ASSERT_TRUE(gateway().WaitForJournal("answer", 1, kAct));
  xlite().Close();
  ASSERT_FALSE(xlite().running());

  ASSERT_TRUE(gateway().Skype("dtmf 5"));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text3, "5", kAct));
  const auto box = AnswerMessageBox(gateway().tavoro().id(), kAct);
  ASSERT_TRUE(box.has_value()) << "no message for the missing softphone";
  EXPECT_EQ(*box, (MessageBoxSeen{"Tavorophone",
                                  "X-Liteが起動していません。X-Lite起動後にこのアプリケーション"
                                  "を再起動してください。",
                                  true}));
  EXPECT_TRUE(gateway().tavoro().WaitForEnd(kAct));
  EXPECT_THAT(skype().Journal("finish"), IsEmpty());
}

}  // namespace
}  // namespace tavoro::e2e
