// The Skype4COM adapter against the library's stand-in (sim/skype4com), registered for the
// run as the real library would be, created by its ProgID and driven through its control
// channel; and the event decoder against the argument forms COM allows.

#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

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
#include "win32/wide_text.h"
#include "win32/win32_event_loop.h"
#include "win32/win32_skype_client.h"

namespace tavoro::platform::win32 {
namespace {

namespace control = sim::skype4com::control;

// A file the build made; the build passes its path, a Linux one that Wine shows on Z:. The
// variable `name` in the environment names another.
std::wstring BuiltFile(const wchar_t* name, const char* built) {
  wchar_t from_environment[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(name, from_environment, MAX_PATH) > 0)
    return from_environment;
  std::wstring path = Widen(built);
  if (!path.empty() && path[0] == L'/') {
    for (wchar_t& c : path)
      c = c == L'/' ? L'\\' : c;
    path.insert(0, L"Z:");
  }
  return path;
}

// The stand-in of this build's bitness.
std::wstring StandInPath() {
  return BuiltFile(L"TAVORO_SKYPE4COM_DLL", TAVORO_SKYPE4COM_DLL);
}

// The stand-in's own registration entry points, as regsvr32 calls them.
class StandInServer {
 public:
  StandInServer() : module_(::LoadLibraryW(StandInPath().c_str())) {}
  ~StandInServer() {
    if (module_ != nullptr)
      ::FreeLibrary(module_);
  }
  HRESULT Register() { return Call("DllRegisterServer"); }
  HRESULT Unregister() { return Call("DllUnregisterServer"); }

 private:
  HRESULT Call(const char* name) {
    if (module_ == nullptr)
      return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    const auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(module_, name)));
    return entry != nullptr ? entry() : E_NOTIMPL;
  }
  HMODULE module_;
};

// What the handlers saw. Every call event reads the call's type and partner inside the
// handler, which is where the program reads them.
struct Seen {
  std::string event;
  std::int32_t value = 0;  // status
  std::int32_t type = -1;
  std::string partner;
  std::string code;
};

class Recorder final : public SkypeEvents {
 public:
  void AttachmentStatus(std::int32_t status) override {
    seen.push_back({"attachment", status, -1, "", ""});
  }
  void CallStatus(std::shared_ptr<SkypeCall> call, std::int32_t status) override {
    seen.push_back({"call", status, call->Type(), call->PartnerHandle(), ""});
    calls.push_back(call);
    if (fail_on_call_status)
      throw std::runtime_error("handler failed");
  }
  void CallDtmfReceived(std::shared_ptr<SkypeCall> call, std::string code) override {
    seen.push_back({"dtmf", 0, call->Type(), call->PartnerHandle(), code});
  }

  std::vector<Seen> seen;
  std::vector<std::shared_ptr<SkypeCall>> calls;
  bool fail_on_call_status = false;
};

void ExpectSkypeError(const std::function<void()>& operation, std::uint32_t code,
                      const std::string& description) {
  try {
    operation();
    ADD_FAILURE() << "no SkypeError; expected " << description;
  } catch (const SkypeError& error) {
    EXPECT_EQ(static_cast<std::uint32_t>(error.code()), code) << error.description();
    EXPECT_EQ(error.description(), description);
  }
}

class Skype4ComClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new StandInServer();
    ASSERT_EQ(server_->Register(), S_OK) << "cannot register the stand-in";
  }
  static void TearDownTestSuite() {
    server_->Unregister();
    delete server_;
  }

  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    journal_ = std::wstring(folder) + L"tavoro-skype-journal-" +
               std::to_wstring(::GetCurrentProcessId()) + L".log";
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

  // Dispatches messages, as the window thread does, until `done` or three seconds.
  bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG give_up = ::GetTickCount64() + 3000;
    while (!done()) {
      if (::GetTickCount64() > give_up)
        return false;
      loop_.DoEvents();
      ::Sleep(2);
    }
    return true;
  }
  bool PumpUntilSeen(std::size_t count) {
    return PumpUntil([&] { return recorder_.seen.size() >= count; });
  }
  void PumpFor(DWORD milliseconds) {
    const ULONGLONG until = ::GetTickCount64() + milliseconds;
    while (::GetTickCount64() < until) {
      loop_.DoEvents();
      ::Sleep(2);
    }
  }

  // The journal's lines for `operation`, without time and operation.
  std::vector<std::string> Journal(const std::string& operation) const {
    std::ifstream file(journal_.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
      const auto first = line.find('\t');
      const auto second = line.find('\t', first + 1);
      if (first != std::string::npos && line.substr(first + 1, second - first - 1) == operation)
        lines.push_back(second == std::string::npos ? "" : line.substr(second + 1));
    }
    return lines;
  }

  static StandInServer* server_;
  ComApartment apartment_;
  Win32EventLoop loop_;
  Recorder recorder_;
  std::shared_ptr<SkypeClient> client_;
  HWND window_ = nullptr;
  std::wstring journal_;
};

StandInServer* Skype4ComClientTest::server_ = nullptr;

TEST_F(Skype4ComClientTest, CreationByProgIdFailsClearlyOnceTheLibraryIsUnregistered) {
  ASSERT_EQ(server_->Unregister(), S_OK);
  try {
    CreateSkype4ComClient(loop_);
    ADD_FAILURE() << "created an unregistered class";
  } catch (const SkypeError& error) {
    EXPECT_EQ(error.code(), 429);
    EXPECT_EQ(error.description(), "ActiveX コンポーネントはオブジェクトを作成できません。");
  }
  ASSERT_EQ(server_->Register(), S_OK);
  EXPECT_NE(CreateSkype4ComClient(loop_), nullptr);
}

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
  ASSERT_TRUE(PumpUntilSeen(1));
  EXPECT_EQ(recorder_.seen[0].event, "attachment");
  EXPECT_EQ(recorder_.seen[0].value, 0);

  Command("attach refuse");
  ExpectSkypeError([&] { client_->Attach(5, true); }, 0x80040204, "Connection refused.");
  ASSERT_TRUE(PumpUntilSeen(2));
  EXPECT_EQ(recorder_.seen[1].value, 2);

  Command("attach notavailable");
  ExpectSkypeError([&] { client_->Attach(5, true); }, 0x80040200, "Not attached.");
  EXPECT_EQ(Journal("attach").size(), 3u);
  EXPECT_EQ(Journal("attach")[0], "protocol=5\twait=true\toutcome=success");

  // The same status again is no change and raises nothing.
  Command("attachment 2");
  Command("attachment 4");
  ASSERT_TRUE(PumpUntilSeen(3));
  EXPECT_EQ(recorder_.seen[2].value, 4);
}

TEST_F(Skype4ComClientTest, AttachBlocksUntilTheClientAnswersOrTheTimeoutRunsOut) {
  Command("attach delay 300");
  ULONGLONG started = ::GetTickCount64();
  client_->Attach(5, true);
  EXPECT_GE(::GetTickCount64() - started, 280u);
  ASSERT_TRUE(PumpUntilSeen(1));

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
  ASSERT_TRUE(PumpUntilSeen(3));
  PumpFor(50);
  ASSERT_EQ(recorder_.seen.size(), 3u);
  EXPECT_EQ(recorder_.seen[1].value, 1);
  EXPECT_EQ(recorder_.seen[2].value, 0);

  Command("timeout 300");
  Command("attach noanswer");
  started = ::GetTickCount64();
  ExpectSkypeError([&] { client_->Attach(5, true); }, 0x80040201, "Wait timeout.");
  EXPECT_GE(::GetTickCount64() - started, 280u);
}

TEST_F(Skype4ComClientTest, ConversionsAnswerAsTheLibrary) {
  EXPECT_EQ(client_->TextToCallStatus("RINGING"), 4);
  EXPECT_EQ(client_->TextToCallStatus("INPROGRESS"), 5);
  EXPECT_EQ(client_->TextToCallStatus("FINISHED"), 7);
  EXPECT_EQ(client_->TextToCallStatus("REFUSED"), 9);
  EXPECT_EQ(client_->TextToCallType("INCOMING_PSTN"), 0);
  EXPECT_EQ(client_->TextToCallType("OUTGOING_PSTN"), 1);
  EXPECT_EQ(client_->TextToCallType("INCOMING_P2P"), 2);
  EXPECT_EQ(client_->TextToCallType("OUTGOING_P2P"), 3);
  EXPECT_EQ(client_->TextToAttachmentStatus("SUCCESS"), 0);
  EXPECT_EQ(client_->TextToAttachmentStatus("AVAILABLE"), 4);
  EXPECT_EQ(client_->TextToAttachmentStatus("NOT_AVAILABLE"), -1);
  EXPECT_EQ(client_->CallStatusToText(-1), "Unknown");
  EXPECT_EQ(client_->CallStatusToText(3), "Sorry, call failed!");
  EXPECT_EQ(client_->CallStatusToText(5), "Call in Progress");
  EXPECT_EQ(client_->CallStatusToText(14), "Buffering Greeting");
  EXPECT_EQ(Journal("texttocallstatus")[0], "text=RINGING\tresult=4");
}

TEST_F(Skype4ComClientTest, IncomingCallsAndKeypadCodesArriveWhileTheThreadPumps) {
  Command("ring alice");
  Command("ring +81312345678 INCOMING_PSTN");
  EXPECT_TRUE(recorder_.seen.empty());
  ASSERT_TRUE(PumpUntilSeen(2));
  EXPECT_EQ(recorder_.seen[0].value, 4);
  EXPECT_EQ(recorder_.seen[0].type, 2);
  EXPECT_EQ(recorder_.seen[0].partner, "alice");
  EXPECT_EQ(recorder_.seen[1].type, 0);
  EXPECT_EQ(recorder_.seen[1].partner, "+81312345678");

  Command("dtmf 5");
  Command("dtmf #");
  ASSERT_TRUE(PumpUntilSeen(4));
  EXPECT_EQ(recorder_.seen[2].event, "dtmf");
  EXPECT_EQ(recorder_.seen[2].code, "5");
  EXPECT_EQ(recorder_.seen[3].code, "#");
  EXPECT_EQ(recorder_.seen[3].partner, "+81312345678");
}

TEST_F(Skype4ComClientTest, AnswerAndFinishReturnAtOnceAndTheirStatusesFollow) {
  Command("ring bob");
  ASSERT_TRUE(PumpUntilSeen(1));
  const auto call = recorder_.calls[0];
  call->Answer();
  EXPECT_EQ(recorder_.seen.size(), 1u) << "an event inside Answer";
  ASSERT_TRUE(PumpUntilSeen(2));
  EXPECT_EQ(recorder_.seen[1].value, 5);
  call->Finish();
  EXPECT_EQ(recorder_.seen.size(), 2u) << "an event inside Finish";
  ASSERT_TRUE(PumpUntilSeen(3));
  EXPECT_EQ(recorder_.seen[2].value, 7);
  EXPECT_EQ(recorder_.seen[2].partner, "bob");
  ASSERT_EQ(Journal("answer").size(), 1u);
  EXPECT_EQ(Journal("answer")[0].rfind("call=", 0), 0u);
  EXPECT_EQ(Journal("finish").size(), 1u);
}

TEST_F(Skype4ComClientTest, APlacedCallReportsItsProgressAndTheCalledUsersAnswer) {
  const auto user = client_->User("carol.w");
  EXPECT_EQ(user->Handle(), "carol.w");
  const auto call = client_->PlaceCall(user->Handle(), "", "", "");
  EXPECT_EQ(call->Type(), 3);
  EXPECT_EQ(call->PartnerHandle(), "carol.w");
  ASSERT_TRUE(PumpUntilSeen(2));
  EXPECT_EQ(recorder_.seen[0].value, 1);
  EXPECT_EQ(recorder_.seen[1].value, 4);
  Command("answer-outgoing");
  ASSERT_TRUE(PumpUntilSeen(3));
  EXPECT_EQ(recorder_.seen[2].value, 5);
  EXPECT_EQ(recorder_.seen[2].partner, "carol.w");
  ASSERT_EQ(Journal("placecall").size(), 1u);
  EXPECT_NE(Journal("placecall")[0].find("target=carol.w\ttarget2=\ttarget3=\ttarget4="),
            std::string::npos);

  Command("fail placecall 0x80004005 Calls are not allowed.");
  ExpectSkypeError([&] { client_->PlaceCall("dave", "", "", ""); }, 0x80004005,
                   "Calls are not allowed.");
}

TEST_F(Skype4ComClientTest, AFailingHandlerSurfacesOnTheWindowThreadAndDeliveryGoesOn) {
  recorder_.fail_on_call_status = true;
  Command("ring eve");
  std::string surfaced;
  for (const ULONGLONG give_up = ::GetTickCount64() + 3000;
       surfaced.empty() && ::GetTickCount64() < give_up; ::Sleep(2)) {
    try {
      loop_.DoEvents();
    } catch (const std::runtime_error& error) {
      surfaced = error.what();
    }
  }
  EXPECT_EQ(surfaced, "handler failed");
  recorder_.fail_on_call_status = false;
  Command("dtmf 1");
  ASSERT_TRUE(PumpUntilSeen(2));
  EXPECT_EQ(recorder_.seen[1].code, "1");
}

TEST_F(Skype4ComClientTest, NoEventReachesTheProgramWhileNoSinkIsConnected) {
  client_->SetEventSink(nullptr);
  Command("ring mallory");
  PumpFor(200);
  client_->SetEventSink(&recorder_);
  Command("dtmf 9");
  ASSERT_TRUE(PumpUntilSeen(1));
  PumpFor(50);
  ASSERT_EQ(recorder_.seen.size(), 1u);
  EXPECT_EQ(recorder_.seen[0].code, "9");
}

TEST_F(Skype4ComClientTest, EventArgumentsByReferenceAreReadAlike) {
  const struct {
    const char* form;
    int attachment;
  } kCases[] = {{"byref", 3}, {"variant", 1}};
  for (const auto& [form, attachment] : kCases) {
    SCOPED_TRACE(form);
    recorder_.seen.clear();
    Command(std::string("event-args ") + form);
    Command("ring trent INCOMING_PSTN");
    Command("dtmf *");
    Command("attachment " + std::to_string(attachment));
    ASSERT_TRUE(PumpUntilSeen(3));
    EXPECT_EQ(recorder_.seen[0].value, 4);
    EXPECT_EQ(recorder_.seen[0].type, 0);
    EXPECT_EQ(recorder_.seen[0].partner, "trent");
    EXPECT_EQ(recorder_.seen[1].code, "*");
    EXPECT_EQ(recorder_.seen[2].value, attachment);
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

TEST(SkypeEventDecoder, TakesEveryFormOfArgumentComAllows) {
  VARIANT as_short = Number(VT_I2, 0);
  V_I2(&as_short) = 4;
  DISPPARAMS one{&as_short, nullptr, 1, 0};
  EXPECT_EQ(DecodeSkypeEvent(kAttachmentStatusDispid, one).status, 4);
  VARIANT unsigned_minus_one = Number(VT_UI4, -1);
  one.rgvarg = &unsigned_minus_one;
  EXPECT_EQ(DecodeSkypeEvent(kAttachmentStatusDispid, one).status, -1);

  // CallStatus(pCall, Status): last first, the call as IUnknown, the status by reference
  // inside a by-reference VARIANT.
  ComPtr<FakeCall> call;
  call.Attach(new FakeCall);
  LONG status = 9;
  VARIANT status_value = Number(VT_I4 | VT_BYREF, 0);
  V_I4REF(&status_value) = &status;
  VARIANT arguments[2];
  ::VariantInit(&arguments[0]);
  V_VT(&arguments[0]) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&arguments[0]) = &status_value;
  ::VariantInit(&arguments[1]);
  V_VT(&arguments[1]) = VT_UNKNOWN;
  V_UNKNOWN(&arguments[1]) = call.Get();
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
  VARIANT named[2];
  ::VariantInit(&named[0]);
  V_VT(&named[0]) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&named[0]) = &code;
  ::VariantInit(&named[1]);
  V_VT(&named[1]) = VT_DISPATCH;
  V_DISPATCH(&named[1]) = call.Get();
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
    } catch (const SkypeError& error) {
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

  VARIANT text;
  ::VariantInit(&text);
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = ::SysAllocString(L"ringing");
  DISPPARAMS text_status{&text, nullptr, 1, 0};
  EXPECT_EQ(failure(kAttachmentStatusDispid, text_status), DISP_E_TYPEMISMATCH);
  ::VariantClear(&text);
}

}  // namespace
}  // namespace tavoro::platform::win32
