// The Skype4COM adapter against the library's stand-in (sim/skype4com), registered for the
// run as the real library would be, created by its ProgID and driven through its control
// channel; and the event decoder against the argument forms COM allows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "skype4com/skype_control.h"
#include "win32/com.h"
#include "win32/skype_com_events.h"
#include "win32/win32_event_loop.h"
#include "win32/win32_process.h"
#include "win32/win32_skype_client.h"

namespace tavoro::platform::win32 {
namespace {

namespace control = sim::skype4com::control;

// One of the registration entry points of the stand-in of this build's bitness (from the
// build folder whose tests\ folder holds this program), called as regsvr32 calls it. The
// stand-in stays loaded: the objects the tests create come from it.
HRESULT CallStandIn(const char* entry_point) {
  static const HMODULE module =
      ::LoadLibraryW((FolderOf(ModulePath()) + L"\\..\\sim\\skype4com\\skype4com.dll").c_str());
  const auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(module != nullptr ? ::GetProcAddress(module, entry_point) : nullptr));
  return entry != nullptr ? entry() : E_NOTIMPL;
}

// What the handlers saw, one line an event: "attachment STATUS", "call STATUS TYPE PARTNER",
// "dtmf CODE TYPE PARTNER". Every call event reads the call's type and partner inside the
// handler, which is where the program reads them.
using Events = std::vector<std::string>;
class Recorder final : public CallClientEvents {
 public:
  void AttachmentStatus(std::int32_t status) override {
    seen.push_back("attachment " + std::to_string(status));
  }
  void CallStatus(std::shared_ptr<RemoteCall> call, std::int32_t status) override {
    seen.push_back("call " + std::to_string(status) + Of(*call));
    calls.push_back(call);
    if (fail_on_call_status)
      throw std::runtime_error("handler failed");
  }
  void CallDtmfReceived(std::shared_ptr<RemoteCall> call, std::string code) override {
    seen.push_back("dtmf " + code + Of(*call));
  }
  static std::string Of(RemoteCall& call) {
    return " " + std::to_string(call.Type()) + " " + call.PartnerHandle();
  }

  Events seen;
  std::vector<std::shared_ptr<RemoteCall>> calls;
  bool fail_on_call_status = false;
};

void ExpectSkypeError(const std::function<void()>& operation, std::uint32_t code,
                      const std::string& description) {
  try {
    operation();
    ADD_FAILURE() << "no ClientError; expected " << description;
  } catch (const ClientError& error) {
    EXPECT_EQ(static_cast<std::uint32_t>(error.code()), code) << error.description();
    EXPECT_EQ(error.description(), description);
  }
}

class Skype4ComClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(CallStandIn("DllRegisterServer"), S_OK) << "cannot register the stand-in";
  }
  static void TearDownTestSuite() { CallStandIn("DllUnregisterServer"); }

  void SetUp() override {
    journal_ = std::filesystem::temp_directory_path() /
               ("tavoro-skype-journal-" + std::to_string(::GetCurrentProcessId()) + ".log");
    ::DeleteFileW(journal_.c_str());
    ::SetEnvironmentVariableW(L"TAVORO_SKYPE_JOURNAL", journal_.c_str());
    client_ = CreateSkype4ComClient(loop_);
    client_->SetEventSink(&recorder_);
    window_ = control::FindStandIn(::GetCurrentProcessId());
    ASSERT_NE(window_, nullptr);
    Command("reset");
  }
  void TearDown() override {
    client_.reset();
    ::SetEnvironmentVariableW(L"TAVORO_SKYPE_JOURNAL", nullptr);
    ::DeleteFileW(journal_.c_str());
  }

  void Command(const std::string& line) {
    ASSERT_EQ(control::SendCommand(window_, line), control::kDone) << line;
  }

  // Dispatches messages, as the window thread does, until `count` events were seen (three
  // seconds at most) and then for `settle` more milliseconds; what was seen by then.
  const Events& Pumped(std::size_t count, ULONGLONG settle = 0) {
    const ULONGLONG give_up = ::GetTickCount64() + 3000;
    while (recorder_.seen.size() < count && ::GetTickCount64() < give_up)
      Pump();
    for (const ULONGLONG until = ::GetTickCount64() + settle; ::GetTickCount64() < until;)
      Pump();
    return recorder_.seen;
  }
  void Pump() {
    loop_.DoEvents();
    ::Sleep(2);
  }

  // The journal's lines for `operation`, without time and operation.
  std::vector<std::string> Journal(const std::string& operation) const {
    std::ifstream file(journal_);
    std::vector<std::string> lines;
    for (std::string line, time, name, rest; std::getline(file, line);) {
      std::istringstream fields(line);
      if (std::getline(std::getline(fields, time, '\t'), name, '\t') && name == operation)
        lines.push_back(std::getline(fields, rest) ? rest : "");
    }
    return lines;
  }

  ComApartment apartment_;
  Win32EventLoop loop_;
  Recorder recorder_;
  std::shared_ptr<CallClient> client_;
  HWND window_ = nullptr;
  std::filesystem::path journal_;
};

TEST_F(Skype4ComClientTest, TheClientProgramAndItsSettingsAreReadAndStarted) {
  EXPECT_TRUE(client_->ClientIsRunning());
  Command("client stopped");
  Command("start up 300");
  EXPECT_FALSE(client_->ClientIsRunning());
  client_->ClientStart(false, true);
  EXPECT_FALSE(client_->ClientIsRunning());
  ::Sleep(350);
  EXPECT_TRUE(client_->ClientIsRunning());
  EXPECT_EQ(Journal("start"), std::vector<std::string>{"minimized=false\tnosplash=true"});

  Command("start notinstalled");
  ExpectSkypeError([&] { client_->ClientStart(false, false); }, 0x80040207,
                   "Skype client is not installed.");

  Command("audioin Monitor of ひかり電話 line");
  EXPECT_EQ(client_->SettingsAudioIn(), "Monitor of ひかり電話 line");
  Command("audioin");
  EXPECT_EQ(client_->SettingsAudioIn(), "");
}

TEST_F(Skype4ComClientTest, AttachSucceedsOrFailsWithTheLibrarysCodesAndItsStatusFollows) {
  client_->Attach(5, true);
  EXPECT_TRUE(recorder_.seen.empty()) << "an event inside the operation";
  EXPECT_EQ(Pumped(1), (Events{"attachment 0"}));

  Command("attach refuse");
  ExpectSkypeError([&] { client_->Attach(5, true); }, 0x80040204, "Connection refused.");
  EXPECT_EQ(Pumped(2), (Events{"attachment 0", "attachment 2"}));

  Command("attach notavailable");
  ExpectSkypeError([&] { client_->Attach(5, true); }, 0x80040200, "Not attached.");
  EXPECT_EQ(Journal("attach").size(), 3u);
  EXPECT_EQ(Journal("attach")[0], "protocol=5\twait=true\toutcome=success");

  // The same status again is no change and raises nothing.
  Command("attachment 2");
  Command("attachment 4");
  EXPECT_EQ(Pumped(3), (Events{"attachment 0", "attachment 2", "attachment 4"}));
}

TEST_F(Skype4ComClientTest, AttachBlocksUntilTheClientAnswersOrTheTimeoutRunsOut) {
  Command("attach delay 300");
  ULONGLONG started = ::GetTickCount64();
  client_->Attach(5, true);
  EXPECT_GE(::GetTickCount64() - started, 280u);
  ASSERT_EQ(Pumped(1).size(), 1u);

  // The user allows the program while the attachment waits; the command arrives on the
  // waiting thread, and the statuses follow once it pumps again.
  Command("attach pending");
  std::thread user([window = window_] {
    ::Sleep(200);
    control::SendCommand(window, "authorize allow");
  });
  started = ::GetTickCount64();
  client_->Attach(5, true);
  user.join();
  EXPECT_GE(::GetTickCount64() - started, 150u);
  EXPECT_EQ(Pumped(3, 50), (Events{"attachment 0", "attachment 1", "attachment 0"}));

  Command("timeout 300");
  Command("attach noanswer");
  started = ::GetTickCount64();
  ExpectSkypeError([&] { client_->Attach(5, true); }, 0x80040201, "Wait timeout.");
  EXPECT_GE(::GetTickCount64() - started, 280u);
}

// The adapter only hands conversions to the library, whose tables they are: one answer of each,
// the negative ones included, shows the way there and back.
TEST_F(Skype4ComClientTest, ConversionsAnswerAsTheLibrary) {
  EXPECT_EQ(client_->TextToCallStatus("RINGING"), 4);
  EXPECT_EQ(client_->TextToAttachmentStatus("NOT_AVAILABLE"), -1);
  EXPECT_EQ(client_->CallStatusToText(-1), "Unknown");
  EXPECT_EQ(client_->CallStatusToText(14), "Buffering Greeting");
  EXPECT_EQ(Journal("texttocallstatus")[0], "text=RINGING\tresult=4");
}

TEST_F(Skype4ComClientTest, AnswerAndFinishReturnAtOnceAndTheirStatusesFollow) {
  Command("ring bob");
  ASSERT_EQ(Pumped(1).size(), 1u);
  const auto call = recorder_.calls[0];
  call->Answer();
  EXPECT_EQ(recorder_.seen.size(), 1u) << "an event inside Answer";
  Pumped(2);
  call->Finish();
  EXPECT_EQ(recorder_.seen.size(), 2u) << "an event inside Finish";
  EXPECT_EQ(Pumped(3), (Events{"call 4 2 bob", "call 5 2 bob", "call 7 2 bob"}));
  EXPECT_EQ(Journal("finish").size(), 1u);
}

TEST_F(Skype4ComClientTest, APlacedCallReportsItsProgressAndTheCalledUsersAnswer) {
  const auto user = client_->User("carol.w");
  EXPECT_EQ(user->Handle(), "carol.w");
  const auto call = client_->PlaceCall(user->Handle(), "", "", "");
  EXPECT_EQ(call->Type(), 3);
  EXPECT_EQ(call->PartnerHandle(), "carol.w");
  Pumped(2);
  Command("answer-outgoing");
  EXPECT_EQ(Pumped(3), (Events{"call 1 3 carol.w", "call 4 3 carol.w", "call 5 3 carol.w"}));

  Command("fail placecall 0x80004005 Calls are not allowed.");
  ExpectSkypeError([&] { client_->PlaceCall("dave", "", "", ""); }, 0x80004005,
                   "Calls are not allowed.");
}

TEST_F(Skype4ComClientTest, AFailingHandlerSurfacesOnTheWindowThreadAndDeliveryGoesOn) {
  recorder_.fail_on_call_status = true;
  Command("ring eve");
  EXPECT_THAT([&] { Pumped(1); },
              ::testing::ThrowsMessage<std::runtime_error>(::testing::StrEq("handler failed")));
  recorder_.fail_on_call_status = false;
  Command("dtmf 1");
  EXPECT_EQ(Pumped(2), (Events{"call 4 2 eve", "dtmf 1 2 eve"}));
}

TEST_F(Skype4ComClientTest, NoEventReachesTheProgramWhileNoSinkIsConnected) {
  client_->SetEventSink(nullptr);
  Command("ring mallory");
  Pumped(0, 200);
  client_->SetEventSink(&recorder_);
  Command("dtmf 9");
  EXPECT_EQ(Pumped(1, 50), (Events{"dtmf 9 2 mallory"}));
}

// Calls ring, keys arrive on the latest call and the attachment changes, only once the thread
// pumps, and alike however the library carries the events' arguments: as values, by reference,
// or inside by-reference VARIANTs.
TEST_F(Skype4ComClientTest, EventsArriveWhileTheThreadPumpsHoweverTheirArgumentsAreCarried) {
  for (const auto& [form, attachment] :
       {std::pair{"value", 3}, std::pair{"byref", 1}, std::pair{"variant", 3}}) {
    SCOPED_TRACE(form);
    recorder_.seen.clear();
    Command(std::string("event-args ") + form);
    Command("ring alice");
    Command("ring +81312345678 INCOMING_PSTN");
    Command("dtmf #");
    Command("attachment " + std::to_string(attachment));
    EXPECT_TRUE(recorder_.seen.empty());
    EXPECT_EQ(Pumped(4), (Events{"call 4 2 alice", "call 4 0 +81312345678", "dtmf # 0 +81312345678",
                                 "attachment " + std::to_string(attachment)}));
  }
}

// A call object for the decoder: any IDispatch will do.
class FakeCall final : public ComObject<IDispatch> {
 public:
  // How many references others hold besides the test's own.
  ULONG HeldElsewhere() {
    AddRef();
    return Release() - 1;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
};

VARIANT Number(VARTYPE type, LONG value) {
  VARIANT v{};
  V_VT(&v) = type;
  V_I4(&v) = value;  // shares its storage with the other 32-bit and narrower members
  return v;
}
// A VARIANT holding a pointer: a reference, an interface or a string.
VARIANT Holding(VARTYPE type, void* pointer) {
  VARIANT v{};
  V_VT(&v) = type;
  V_BYREF(&v) = pointer;  // shares its storage with the interface and string members
  return v;
}

TEST(SkypeEventDecoder, TakesEveryFormOfArgumentComAllows) {
  // A short (4, in a long that reads otherwise) and an unsigned long.
  for (auto [status, expected] : {std::pair{Number(VT_I2, 0x10004), 4}, {Number(VT_UI4, -1), -1}}) {
    EXPECT_EQ(DecodeSkypeEvent(kAttachmentStatusDispid, DISPPARAMS{&status, nullptr, 1, 0}).status,
              expected);
  }

  // CallStatus(pCall, Status): last first, the call as IUnknown, the status by reference
  // inside a by-reference VARIANT.
  ComPtr<FakeCall> call;
  call.Attach(new FakeCall);
  LONG status = 9;
  VARIANT status_value = Holding(VT_I4 | VT_BYREF, &status);
  VARIANT arguments[2] = {Holding(VT_VARIANT | VT_BYREF, &status_value),
                          Holding(VT_UNKNOWN, static_cast<IUnknown*>(call.Get()))};
  DISPPARAMS two{arguments, nullptr, 2, 0};
  {
    const SkypeComEvent event = DecodeSkypeEvent(kCallStatusDispid, two);
    EXPECT_EQ(event.kind, SkypeComEvent::Kind::CallStatus);
    EXPECT_EQ(event.status, 9);
    EXPECT_TRUE(event.call);
    EXPECT_EQ(call->HeldElsewhere(), 1u);
  }
  EXPECT_EQ(call->HeldElsewhere(), 0u);

  // CallDtmfReceived by name: the code (position 1) first, the call (position 0) second.
  BSTR code = ::SysAllocString(L"#");
  VARIANT named[2] = {Holding(VT_BSTR | VT_BYREF, &code),
                      Holding(VT_DISPATCH, static_cast<IDispatch*>(call.Get()))};
  DISPID positions[2] = {1, 0};
  const DISPPARAMS by_name{named, positions, 2, 2};
  EXPECT_EQ(DecodeSkypeEvent(kCallDtmfReceivedDispid, by_name).code, "#");
  ::SysFreeString(code);

  EXPECT_EQ(DecodeSkypeEvent(2, DISPPARAMS{}).kind, SkypeComEvent::Kind::Other);
}

TEST(SkypeEventDecoder, RefusesArgumentsThatCannotBeTheEvents) {
  const auto failure = [](DISPID member, const DISPPARAMS& parameters) -> HRESULT {
    try {
      DecodeSkypeEvent(member, parameters);
    } catch (const ClientError& error) {
      return error.code();
    }
    return S_OK;
  };
  VARIANT status = Number(VT_I4, 4);
  DISPPARAMS only_status{&status, nullptr, 1, 0};
  EXPECT_EQ(failure(kCallStatusDispid, only_status), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(failure(kAttachmentStatusDispid, DISPPARAMS{}), DISP_E_PARAMNOTFOUND);

  VARIANT arguments[2] = {Number(VT_I4, 4), Number(VT_DISPATCH, 0)};
  DISPPARAMS no_call{arguments, nullptr, 2, 0};
  EXPECT_LT(failure(kCallStatusDispid, no_call), 0);

  VARIANT text = Holding(VT_BSTR, ::SysAllocString(L"ringing"));
  DISPPARAMS text_status{&text, nullptr, 1, 0};
  EXPECT_EQ(failure(kAttachmentStatusDispid, text_status), DISP_E_TYPEMISMATCH);
  ::VariantClear(&text);
}

}  // namespace
}  // namespace tavoro::platform::win32
