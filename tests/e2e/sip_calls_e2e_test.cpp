// The real Tavoro.exe under Wine with a SIP account as its remote side: Debian's native baresip
// plays the remote user (SipPeer), Kamailio the account's service (registrar and proxy with
// digest authentication), the X-Lite stand-in the softphone. Each case starts the gateway once
// and plays several calls on it.
//
// Environment: as for the other call checks, plus TAVORO_SIP_PEER_CONSOLE, TAVORO_SIP_PEER_LOG
// and TAVORO_SIP_PROXY, as scripts/e2e.sh sets them.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "desktop/gateway.h"
#include "desktop/sip_peer.h"
#include "desktop/tavoro_windows.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {
namespace {

using Event = SipPeer::Event;

constexpr milliseconds kStartUp{30000};
constexpr milliseconds kAct{10000};
// A restart of ring detection and a whole ring cadence; see calls_e2e_test.cpp.
constexpr milliseconds kHearing{20000};
// The 45 s a called user has to answer, or the countdown before a second registration.
constexpr milliseconds kLong{70000};

const std::string kStandby = "待機中";

class SipCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Environment(L"TAVORO_E2E_BIN").empty() || !peer_.available() || registrar_.empty())
      GTEST_SKIP() << "run by scripts/e2e.sh with baresip and kamailio installed";
  }
  // The gateway with the PIN 2468 and the password `password` for `registrar`.
  Gateway& Make(const std::string& registrar, const std::string& password,
                const std::string& accepted = SipPeer::kUser) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return gateway_.emplace(fs::temp_directory_path() / L"tavoro-sip-calls" / test->name(),
                            SipAccountSetup{registrar, password, "2468", accepted});
  }
  XLite& xlite() { return gateway_->xlite(); }

  const std::string registrar_ = platform::win32::Narrow(Environment(L"TAVORO_SIP_PROXY"));
  // The peer calls the account at its service, which hands the call to the registered gateway.
  const std::string account_ = "gw@" + registrar_;
  SipPeer peer_;
  std::optional<Gateway> gateway_;
};

TEST_F(SipCalls, AWrongPasswordIsRefusedAndAfterTheWaitTheProgramSaysSoAndEnds) {
  Gateway& gateway = Make(registrar_, "wrong-password");
  ASSERT_TRUE(gateway.Launch(kStartUp)) << gateway.problem();
  // Refused, it counts down and asks again before it gives up.
  EXPECT_TRUE(WaitUntil([&] { return gateway.WaitCaption().starts_with("SIPの応答待ち"); }, kLong));
  EXPECT_EQ(AnswerMessageBox(gateway.tavoro().id(), kLong),
            (MessageBoxSeen{"Tavorophone",
                            "SIPアカウントを登録できませんでした。\r\n\r\n"
                            "一旦このアプリケーションを終了しますので、設定画面の「SIPの設定」で"
                            "SIPアドレス、登録先、ユーザー名とパスワードを確かめてください。\r\n"
                            "確かめたら、再度このアプリケーションを起動してください。",
                            true}));
  EXPECT_TRUE(gateway.tavoro().WaitForEnd(kAct));
}

// Registered, the window names SIP; a caller who is not accepted rings unanswered.
TEST_F(SipCalls, RegisteredTheGatewayLeavesAnUnlistedCallerUnanswered) {
  ASSERT_TRUE(Make(registrar_, "right-password", "someone@127.0.0.1").Start(kStartUp))
      << gateway_->problem();
  EXPECT_EQ(gateway_->Text(frmMain::Label3) + " " + gateway_->Text(frmMain::Label11) + " " +
                gateway_->Text(frmMain::Text4),
            "SIPの状態 SIP呼び出し元 " + kStandby);
  ASSERT_TRUE(peer_.Dial(account_));
  EXPECT_TRUE(gateway_->WaitForText(frmMain::Text7, SipPeer::kUser, kAct));
  EXPECT_FALSE(peer_.WaitFor(Event::Established, 1, milliseconds(5000))) << peer_.Log();
  ASSERT_TRUE(peer_.HangUp());
  EXPECT_EQ(std::ranges::count(xlite().Keys(), XLite::kCallKey), 0);
}

// Both ways through the service, as a provider passes calls on.
TEST_F(SipCalls, CallsBothWaysKeysAndEnds) {
  ASSERT_TRUE(Make(registrar_, "right-password").Start(kStartUp)) << gateway_->problem();
  // The accepted caller keys the PIN, then a number that X-Lite dials; hanging up ends X-Lite's
  // call too.
  ASSERT_TRUE(peer_.Dial(account_));
  ASSERT_TRUE(peer_.WaitFor(Event::Established, 1, kAct)) << peer_.Log();
  EXPECT_TRUE(gateway_->WaitForText(frmMain::Text8, "暗証番号待ち", kAct));
  ASSERT_TRUE(peer_.WaitFor(Event::Sounding, 1, kAct)) << peer_.Log();
  ASSERT_TRUE(peer_.Key("2468#0312#"));
  EXPECT_TRUE(xlite().WaitForLine("dialled 0312", kAct));
  EXPECT_EQ(xlite().Keys(), XLite::KeysToTakeAndDial("0312"));
  ASSERT_TRUE(peer_.HangUp());
  EXPECT_TRUE(xlite().WaitForLine("hung up", kAct));
  EXPECT_TRUE(gateway_->WaitForText(frmMain::Text8, kStandby, kAct));

  // A ring of the home line calls the peer; X-Lite takes it once the peer answers, and hangs
  // up when the peer does.
  peer_.Skip();
  ASSERT_TRUE(xlite().Ring());
  ASSERT_TRUE(peer_.WaitFor(Event::Incoming, 1, kHearing)) << "not forwarded\n" << peer_.Log();
  ASSERT_TRUE(peer_.Accept());
  EXPECT_TRUE(xlite().WaitForLine("answered", kAct));
  EXPECT_TRUE(gateway_->WaitForText(frmMain::Text8, "通話中", kAct));
  ASSERT_TRUE(peer_.HangUp());
  EXPECT_TRUE(xlite().WaitForLine("hung up", kAct, 2));

  // Declined, the ring going on is forwarded again; unanswered, the gateway gives up on it.
  peer_.Skip();
  ASSERT_TRUE(xlite().Ring());
  ASSERT_TRUE(peer_.WaitFor(Event::Incoming, 1, kHearing)) << peer_.Log();
  ASSERT_TRUE(peer_.HangUp());
  ASSERT_TRUE(peer_.WaitFor(Event::Incoming, 2, kHearing)) << "not again\n" << peer_.Log();
  EXPECT_TRUE(peer_.WaitFor(Event::EndedByFar, 1, kLong)) << peer_.Log();
  ASSERT_TRUE(xlite().Stop());
  EXPECT_EQ(std::ranges::count(xlite().Lines(), "answered"), 1);
  EXPECT_EQ(gateway_->Trouble(), std::nullopt);
}

}  // namespace
}  // namespace tavoro::e2e
