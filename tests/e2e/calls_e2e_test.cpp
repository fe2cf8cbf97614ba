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

#include <optional>
#include <string>
#include <vector>

#include "desktop/gateway.h"
#include "desktop/tavoro_windows.h"
#include "settings/pin_setting.h"
#include "win32/win32_credential_store.h"

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

const std::string kStandby = "待機中";
const std::string kInCall = "通話中";

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

  // The calls of the journal's `operation` lines, only those of control `command` if one is
  // named.
  std::vector<std::string> CallsOf(std::string_view operation, const std::string& command = "") {
    std::vector<std::string> calls;
    for (auto line : skype().Journal(operation)) {
      if (command.empty() || line.fields["command"] == command)
        calls.push_back(line.fields["call"]);
    }
    return calls;
  }

  std::optional<Gateway> gateway_;
};

// The accepted caller is answered with the softphone made ready first, keys a number that the
// softphone dials on "#", and hanging up on Skype hangs up the softphone.
TEST_F(Calls, AcceptedCallerDialsTheHomeLineAndHangsItUp) {
  ASSERT_TRUE(gateway().Skype("ring alice INCOMING_P2P"));
  ASSERT_TRUE(gateway().WaitForJournal("answer", 1, kAct));
  EXPECT_EQ(CallsOf("answer"), CallsOf("control", "ring alice INCOMING_P2P"));
  // Made ready before the answer, so the caller never keys into a softphone still busy.
  EXPECT_THAT(xlite().Keys(), ElementsAre(kHangUp, kCall));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text4, "Call in Progress", kAct));
  EXPECT_EQ(Text(frmMain::Text7), "alice");
  EXPECT_EQ(Text(frmMain::Text8), kInCall);

  // Keyed faster than the gateway types them: they must still arrive whole and in order.
  for (const char code : std::string("0312345678#"))
    ASSERT_TRUE(gateway().Skype(std::string("dtmf ") + code)) << code;
  EXPECT_TRUE(xlite().WaitForLine("dialled 0312345678", kAct));
  Keys dialled = XLite::KeysToTakeAndDial("0312345678");
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
  EXPECT_EQ(gateway().Trouble(), std::nullopt) << "the gateway gave up or spoke up";
}

// The home line rings: the gateway hears the softphone, calls the Skype user, takes the
// ringing call on the softphone once the user answers, and hangs it up when the user does.
TEST_F(Calls, HomeLineRingIsForwardedAndBridgedWhenTheSkypeUserAnswers) {
  ASSERT_TRUE(xlite().Ring());
  ASSERT_TRUE(gateway().WaitForJournal("placecall", 1, kHearing)) << "the ring was not heard";
  EXPECT_EQ(skype().Journal("placecall").front().fields["target"], "home.user");
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
  EXPECT_EQ(gateway().Trouble(), std::nullopt) << "the gateway gave up or spoke up";
}

// With a PIN kept for the user, the caller's codes up to "#" are the PIN: a wrong one and the
// right one reach neither X-Lite nor the screen, and only then does the number dial.
class CallsWithAPin : public Calls {
 protected:
  void SetUp() override {
    ASSERT_EQ(settings::SavePin(credentials_, "2468"), platform::kSuccess);
    Calls::SetUp();
  }
  void TearDown() override { settings::SavePin(credentials_, ""); }
  platform::win32::Win32CredentialStore credentials_;
};

TEST_F(CallsWithAPin, AWrongPinThenTheRightOneAndTheNumberDials) {
  ASSERT_TRUE(gateway().Skype("ring alice INCOMING_P2P"));
  ASSERT_TRUE(gateway().WaitForJournal("answer", 1, kAct));
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, "暗証番号待ち", kAct));
  for (const char code : std::string("1357#"))
    ASSERT_TRUE(gateway().Skype(std::string("dtmf ") + code)) << code;
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text3, "*****", kAct));
  for (const char code : std::string("2468#0312#"))
    ASSERT_TRUE(gateway().Skype(std::string("dtmf ") + code)) << code;
  EXPECT_TRUE(xlite().WaitForLine("dialled 0312", kAct));
  Keys dialled = XLite::KeysToTakeAndDial("0312");
  EXPECT_EQ(xlite().Keys(), dialled);
  EXPECT_EQ(Text(frmMain::Text3), "0312#");
  EXPECT_TRUE(gateway().WaitForText(frmMain::Text8, kInCall, kAct));
  EXPECT_THAT(skype().Journal("finish"), IsEmpty());
  EXPECT_EQ(gateway().Trouble(), std::nullopt) << "the gateway gave up or spoke up";
}

}  // namespace
}  // namespace tavoro::e2e
