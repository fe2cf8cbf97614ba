// The SIP client against a real peer: Debian's native baresip on 127.0.0.1, driven through its
// UDP console at TAVORO_SIP_PEER_CONSOLE ("host:port"), listening at TAVORO_SIP_PEER
// ("peer@127.0.0.1:5080").

#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "sip/sip_client.h"
#include "win32/wide_text.h"
#include "win32/win32_event_loop.h"
#include "win32/win32_wave_in.h"
#include "win32_test_support.h"

namespace tavoro::platform::sip {
namespace {

using win32::Narrow;

std::string Variable(const wchar_t* name) {
  return Narrow(e2e::Environment(name));
}

// One console command to the peer, as a datagram.
void Peer(const std::string& command) {
  const std::string console = Variable(L"TAVORO_SIP_PEER_CONSOLE");
  const auto colon = console.find(':');
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = inet_addr(console.substr(0, colon).c_str());
  to.sin_port = htons(static_cast<u_short>(std::stoi(console.substr(colon + 1))));
  sendto(s, command.data(), static_cast<int>(command.size()), 0,
         reinterpret_cast<const sockaddr*>(&to), sizeof to);
  closesocket(s);
}

struct Recorder final : CallClientEvents {
  void AttachmentStatus(std::int32_t status) override {
    seen.push_back("attachment " + std::to_string(status));
  }
  void CallStatus(std::shared_ptr<RemoteCall> call, std::int32_t status) override {
    seen.push_back("call " + std::to_string(status) + " " + std::to_string(call->Type()) + " " +
                   call->PartnerHandle());
    last = call;
  }
  void CallDtmfReceived(std::shared_ptr<RemoteCall>, std::string code) override {
    seen.push_back("dtmf " + code);
  }
  std::vector<std::string> seen;
  std::shared_ptr<RemoteCall> last;
};

class SipClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Variable(L"TAVORO_SIP_PEER_CONSOLE").empty())
      GTEST_SKIP() << "no SIP peer (TAVORO_SIP_PEER_CONSOLE)";
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    client_ = Client(Account(5070));
    client_->Attach(5, true);
    ASSERT_TRUE(PumpUntilSeen(1));
    EXPECT_EQ(recorder_.seen[0], "attachment 0");
    recorder_.seen.clear();
  }
  static SipAccount Account(std::uint16_t port) {
    SipAccount account;
    account.address = "gw@127.0.0.1";
    account.port = port;
    account.interface_address = "127.0.0.1";
    return account;
  }
  std::shared_ptr<CallClient> Client(const SipAccount& account) {
    auto client = CreateSipClient(loop_, account);
    client->SetEventSink(&recorder_);
    return client;
  }
  void TearDown() override {
    client_.reset();
    WSACleanup();
  }
  bool PumpUntilSeen(std::size_t count) {
    return ::tavoro::testing::WaitUntil(
        [&] {
          loop_.DoEvents();
          return recorder_.seen.size() >= count;
        },
        std::chrono::milliseconds(10000));
  }
  Win32EventLoop loop_;
  Recorder recorder_;
  std::shared_ptr<CallClient> client_;
};

TEST_F(SipClientTest, APeersCallRingsIsAnsweredCarriesKeysInOrderAndEnds) {
  Peer("/dial sip:gw@127.0.0.1:5070\n");
  ASSERT_TRUE(PumpUntilSeen(1));
  recorder_.last->Answer();
  ASSERT_TRUE(PumpUntilSeen(2));
  for (const char* key : {"1", "#", "0"})
    Peer(key);
  ASSERT_TRUE(PumpUntilSeen(5));
  recorder_.last->Finish();
  ASSERT_TRUE(PumpUntilSeen(6));
  EXPECT_EQ(recorder_.seen,
            (std::vector<std::string>{"call 4 2 peer@127.0.0.1", "call 5 2 peer@127.0.0.1",
                                      "dtmf 1", "dtmf #", "dtmf 0", "call 7 2 peer@127.0.0.1"}));
}

TEST_F(SipClientTest, ACallPlacedRingsAndIsTakenAndHungUpOrDeclinedByThePeer) {
  for (const bool declined : {false, true}) {
    SCOPED_TRACE(declined ? "declined" : "taken");
    recorder_.seen.clear();
    const auto call = client_->PlaceCall("peer@127.0.0.1:5080", "", "", "");
    EXPECT_EQ(call->Type(), skype_call_type::kOutgoingP2p);
    EXPECT_EQ(call->PartnerHandle(), "peer@127.0.0.1");
    ASSERT_TRUE(PumpUntilSeen(1));
    if (!declined) {
      Peer("/accept\n");
      ASSERT_TRUE(PumpUntilSeen(2));
    }
    Peer("/hangup\n");
    ASSERT_TRUE(PumpUntilSeen(declined ? 2 : 3));
    using Seen = std::vector<std::string>;
    const Seen taken{"call 4 3 peer@127.0.0.1", "call 5 3 peer@127.0.0.1",
                     "call 7 3 peer@127.0.0.1"};
    const Seen refused{"call 4 3 peer@127.0.0.1", "call 9 3 peer@127.0.0.1"};
    EXPECT_EQ(recorder_.seen, declined ? refused : taken);
  }
}

// Against SIPp playing a registrar with digest authentication (sim/sip/registrar.xml) at
// TAVORO_SIP_REGISTRAR.
TEST_F(SipClientTest, ARegistrarTakesRightPasswordsOfAnyCharactersAndEachAttachmentTriesAnew) {
  const std::string registrar = Variable(L"TAVORO_SIP_REGISTRAR");
  if (registrar.empty())
    GTEST_SKIP() << "no registrar (TAVORO_SIP_REGISTRAR)";
  client_.reset();  // one stack to a process
  auto attach = [&](const std::string& user, const std::string& password) {
    SipAccount account = Account(5070);
    account.address = user + "@127.0.0.1";
    account.registrar = registrar;
    account.user = user;
    account.password = password;
    return Client(account);
  };
  auto refusal = [](CallClient& client) {
    try {
      client.Attach(5, true);
    } catch (const ClientError& error) {
      return error.code();
    }
    return 0;
  };
  EXPECT_EQ(refusal(*attach("gw", "wrong-password")), skype_result::kConnectionRefused);
  EXPECT_EQ(refusal(*attach("odd", "a;b>c d'e")), 0);
  // Refused, then taken: only a second registration can be.
  auto again = attach("again", "right-password");
  EXPECT_EQ(refusal(*again), skype_result::kConnectionRefused);
  EXPECT_EQ(refusal(*again), 0);
  again.reset();
  EXPECT_EQ(refusal(*attach("gw\"", "right-password")), skype_result::kNotAttached);
}

TEST_F(SipClientTest, ARegistrationCheckRunsOnTheClientsStackOrOneOfItsOwn) {
  const std::string registrar = Variable(L"TAVORO_SIP_REGISTRAR");
  if (registrar.empty())
    GTEST_SKIP() << "no registrar (TAVORO_SIP_REGISTRAR)";
  using settings::RegistrationOutcome;
  struct Case {
    const char* registrar;
    const char* password;
    RegistrationOutcome outcome;
    int status;
  };
  // Nothing listens on 5099.
  const Case cases[] = {{registrar.c_str(), "right-password", RegistrationOutcome::Registered, 200},
                        {registrar.c_str(), "wrong", RegistrationOutcome::Refused, 403},
                        {"127.0.0.1:5099", "right-password", RegistrationOutcome::NoAnswer, 0}};
  for (const bool client_runs : {true, false}) {
    if (!client_runs)
      client_.reset();
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.registrar) + (client_runs ? " beside the client" : " alone"));
      settings::SipSettings sip;
      sip.address = "gw@127.0.0.1";
      sip.registrar = c.registrar;
      sip.interface_address = "127.0.0.1";
      const auto result = CheckRegistration(sip, c.password, std::chrono::seconds(2));
      EXPECT_EQ(result.outcome, c.outcome) << result.detail;
      EXPECT_EQ(result.sip_status, c.status) << result.detail;
    }
  }
  // Neither way left a stack behind: the client's port opens again.
  client_ = Client(Account(5070));
  EXPECT_NO_THROW(client_->Attach(5, true));
}

// Against SIPp answering calls at TAVORO_SIP_CALLEE (sim/sip/callee.xml) by the number called.
TEST_F(SipClientTest, CallsPlacedEndAsTheCalleeAnswersAndItsKeysByInfoArriveInOrder) {
  const std::string callee = Variable(L"TAVORO_SIP_CALLEE");
  if (callee.empty())
    GTEST_SKIP() << "no callee (TAVORO_SIP_CALLEE)";
  client_.reset();
  SipAccount account = Account(5070);
  account.address = "gw@" + callee;  // a bare number is called at this domain
  client_ = Client(account);
  client_->Attach(5, true);
  using Seen = std::vector<std::string>;
  const std::pair<std::string, Seen> cases[] = {
      {"0312345678",
       {"call 4 3 0312345678@127.0.0.1", "call 5 3 0312345678@127.0.0.1", "dtmf 1", "dtmf #",
        "dtmf 0", "call 7 3 0312345678@127.0.0.1"}},
      {"declined@" + callee, {"call 9 3 declined@127.0.0.1"}},
      {"away@" + callee, {"call 3 3 away@127.0.0.1"}}};
  ASSERT_TRUE(PumpUntilSeen(1));
  for (const auto& [target, expected] : cases) {
    SCOPED_TRACE(target);
    recorder_.seen.clear();
    client_->PlaceCall(target, "", "", "");
    ASSERT_TRUE(PumpUntilSeen(expected.size()));
    EXPECT_EQ(recorder_.seen, expected);
  }
}

TEST_F(SipClientTest, TheMeterListensWhereTheCallsSpeechIsCaptured) {
  win32::Win32WaveIn wave_in;
  WaveInCaps first;
  if (wave_in.DeviceCount() == 0 || wave_in.DeviceCaps(0, first) != 0)
    GTEST_SKIP() << "no capture device";
  EXPECT_EQ(client_->SettingsAudioIn(), first.product_name);
  SipAccount account = Account(5071);
  account.capture_device = "Some Microphone";
  EXPECT_EQ(CreateSipClient(loop_, account)->SettingsAudioIn(), "Some Microphone");
}

}  // namespace
}  // namespace tavoro::platform::sip
