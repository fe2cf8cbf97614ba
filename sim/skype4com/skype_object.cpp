// The objects of the library's object model: Skype (with its connection point), Client,
// Conversion, User, Settings and Call. Each operation is journaled with its arguments, may
// carry a failure the scenario injected, and otherwise does what the scenario says the client
// does; what follows an operation (a status change) is raised as an event afterwards.

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <utility>

#include "automation_object.h"
#include "platform/skype_conversions.h"
#include "stand_in.h"

namespace tavoro::sim::skype4com {
namespace {

namespace conversion = tavoro::platform::skype_conversion;

bool IsTrue(VARIANT_BOOL value) {
  return value != VARIANT_FALSE;
}

// The client calls a number when the target looks like one, a Skype user otherwise.
TCallType OutgoingTypeFor(const std::wstring& target) {
  const bool number =
      !target.empty() && (target[0] == L'+' || (target[0] >= L'0' && target[0] <= L'9'));
  return number ? cltOutgoingPSTN : cltOutgoingP2P;
}

std::wstring AttachmentStatusText(long status) {
  switch (status) {
    case apiAttachSuccess:
      return L"Success";
    case apiAttachPendingAuthorization:
      return L"Pending Authorization";
    case apiAttachRefused:
      return L"Refused";
    case apiAttachNotAvailable:
      return L"Not Available";
    case apiAttachAvailable:
      return L"API Available";
    default:
      return L"Unknown";
  }
}

HRESULT Deliver(BSTR* out, std::wstring_view text) {
  if (out == nullptr)
    return E_POINTER;
  *out = NewBstr(text);
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

class ConversionObject final : public AutomationObject<IConversion> {
 public:
  HRESULT STDMETHODCALLTYPE CallStatusToText(TCallStatus status, BSTR* text) override {
    if (const HRESULT failed = Injected("callstatustotext"); FAILED(failed))
      return failed;
    const std::string result = conversion::CallStatusToText(status);
    JournalLine("callstatustotext").Add("status", status).Add("result", result).Write();
    return Deliver(text, Wide(result));
  }
  HRESULT STDMETHODCALLTYPE TextToCallStatus(BSTR text, TCallStatus* status) override {
    if (const HRESULT failed = Injected("texttocallstatus"); FAILED(failed))
      return failed;
    const std::string name = Utf8(FromBstr(text));
    *status = static_cast<TCallStatus>(conversion::TextToCallStatus(name));
    JournalLine("texttocallstatus").Add("text", name).Add("result", *status).Write();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TextToCallType(BSTR text, TCallType* type) override {
    if (const HRESULT failed = Injected("texttocalltype"); FAILED(failed))
      return failed;
    const std::string name = Utf8(FromBstr(text));
    *type = static_cast<TCallType>(conversion::TextToCallType(name));
    JournalLine("texttocalltype").Add("text", name).Add("result", *type).Write();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AttachmentStatusToText(TAttachmentStatus status, BSTR* text) override {
    if (const HRESULT failed = Injected("attachmentstatustotext"); FAILED(failed))
      return failed;
    const std::wstring result = AttachmentStatusText(status);
    JournalLine("attachmentstatustotext").Add("status", status).Add("result", result).Write();
    return Deliver(text, result);
  }
  HRESULT STDMETHODCALLTYPE TextToAttachmentStatus(BSTR text, TAttachmentStatus* status) override {
    if (const HRESULT failed = Injected("texttoattachmentstatus"); FAILED(failed))
      return failed;
    const std::string name = Utf8(FromBstr(text));
    *status = static_cast<TAttachmentStatus>(conversion::TextToAttachmentStatus(name));
    JournalLine("texttoattachmentstatus").Add("text", name).Add("result", *status).Write();
    return S_OK;
  }
  // Only the default language is known; another one is kept and read back, and changes
  // nothing.
  HRESULT STDMETHODCALLTYPE get_Language(BSTR* language) override {
    return Deliver(language, language_);
  }
  HRESULT STDMETHODCALLTYPE put_Language(BSTR language) override {
    language_ = FromBstr(language);
    JournalLine("language").Add("set", language_).Write();
    return S_OK;
  }

 private:
  std::wstring language_ = L"en";
};

class UserObject final : public AutomationObject<IUser> {
 public:
  explicit UserObject(std::wstring handle) : handle_(std::move(handle)) {}

  HRESULT STDMETHODCALLTYPE get_Handle(BSTR* handle) override {
    if (const HRESULT failed = Injected("handle"); FAILED(failed))
      return failed;
    JournalLine("handle").Add("result", handle_).Write();
    return Deliver(handle, handle_);
  }

 private:
  std::wstring handle_;
};

class SettingsObject final : public AutomationObject<ISettings> {
 public:
  HRESULT STDMETHODCALLTYPE get_AudioIn(BSTR* device) override {
    if (const HRESULT failed = Injected("audioin"); FAILED(failed))
      return failed;
    const std::wstring& name = TheScenario().audio_in;
    JournalLine("audioin").Add("result", name).Write();
    return Deliver(device, name);
  }
};

class ClientObject final : public AutomationObject<IClient> {
 public:
  HRESULT STDMETHODCALLTYPE Start(VARIANT_BOOL minimized, VARIANT_BOOL nosplash) override {
    JournalLine("start")
        .Flag("minimized", IsTrue(minimized))
        .Flag("nosplash", IsTrue(nosplash))
        .Write();
    if (const HRESULT failed = Injected("start"); FAILED(failed))
      return failed;
    Scenario& scenario = TheScenario();
    switch (scenario.start_effect) {
      case StartEffect::NotInstalled:
        return Fail(kNotInstalled, L"Skype client is not installed.");
      case StartEffect::Nothing:
        return S_OK;
      case StartEffect::BringUp:
        if (!scenario.IsClientRunning() && !scenario.client_up_at) {
          if (scenario.start_delay_ms == 0)
            scenario.client_running = true;
          else
            scenario.client_up_at = ::GetTickCount64() + scenario.start_delay_ms;
        }
        return S_OK;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsRunning(VARIANT_BOOL* running) override {
    if (const HRESULT failed = Injected("isrunning"); FAILED(failed))
      return failed;
    const bool result = TheScenario().IsClientRunning();
    JournalLine("isrunning").Flag("result", result).Write();
    *running = result ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
};

class CallObject final : public AutomationObject<ICall> {
 public:
  CallObject(std::weak_ptr<SkypeCore> core, std::shared_ptr<CallRecord> call)
      : core_(std::move(core)), call_(std::move(call)) {}

  HRESULT STDMETHODCALLTYPE get_PartnerHandle(BSTR* handle) override {
    if (const HRESULT failed = Injected("partnerhandle"); FAILED(failed))
      return failed;
    JournalLine("partnerhandle").Add("call", call_->id).Add("result", call_->partner).Write();
    return Deliver(handle, call_->partner);
  }
  HRESULT STDMETHODCALLTYPE get_Type(TCallType* type) override {
    if (const HRESULT failed = Injected("calltype"); FAILED(failed))
      return failed;
    JournalLine("calltype").Add("call", call_->id).Add("result", call_->type).Write();
    *type = call_->type;
    return S_OK;
  }
  // Answering takes a ringing incoming call into progress, finishing ends a call that has not
  // ended; both return at once and the status follows as an event. Anything else changes
  // nothing, as the client ignores such requests.
  HRESULT STDMETHODCALLTYPE Answer() override {
    JournalLine("answer").Add("call", call_->id).Add("status", call_->status).Write();
    if (const HRESULT failed = Injected("answer"); FAILED(failed))
      return failed;
    if (const auto core = core_.lock(); core && call_->Incoming() && call_->status == clsRinging)
      core->ChangeCallStatus(call_, clsInProgress, TheScenario().follow_up_delay_ms);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Finish() override {
    JournalLine("finish").Add("call", call_->id).Add("status", call_->status).Write();
    if (const HRESULT failed = Injected("finish"); FAILED(failed))
      return failed;
    if (const auto core = core_.lock(); core && !call_->Ended())
      core->ChangeCallStatus(call_, clsFinished, TheScenario().follow_up_delay_ms);
    return S_OK;
  }

 private:
  std::weak_ptr<SkypeCore> core_;
  std::shared_ptr<CallRecord> call_;
};

class SkypeObject final
    : public AutomationObject<ISkype, IConnectionPointContainer, IProvideClassInfo> {
 public:
  explicit SkypeObject(std::shared_ptr<SkypeCore> core)
      : core_(std::move(core)), connection_point_(*this) {}

  // ISkype
  HRESULT STDMETHODCALLTYPE get_Convert(IConversion** conversion) override {
    return MakeObject<ConversionObject>(IID_IConversion, reinterpret_cast<void**>(conversion));
  }
  HRESULT STDMETHODCALLTYPE get_AttachmentStatus(TAttachmentStatus* status) override {
    if (const HRESULT failed = Injected("attachmentstatus"); FAILED(failed))
      return failed;
    *status = core_->attachment_status();
    JournalLine("attachmentstatus").Add("result", *status).Write();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Attach(LONG protocol, VARIANT_BOOL wait) override;
  HRESULT STDMETHODCALLTYPE PlaceCall(BSTR target, BSTR target2, BSTR target3, BSTR target4,
                                      ICall** call) override {
    if (const HRESULT failed = Injected("placecall"); FAILED(failed))
      return failed;
    const Scenario& scenario = TheScenario();
    const std::wstring partner = FromBstr(target);
    const auto placed = core_->NewCall(OutgoingTypeFor(partner), partner);
    JournalLine("placecall")
        .Add("call", placed->id)
        .Add("target", partner)
        .Add("target2", FromBstr(target2))
        .Add("target3", FromBstr(target3))
        .Add("target4", FromBstr(target4))
        .Write();
    for (const long status : scenario.after_placing)
      core_->ChangeCallStatus(placed, static_cast<TCallStatus>(status),
                              scenario.follow_up_delay_ms);
    return NewCallObject(core_, placed, call);
  }
  HRESULT STDMETHODCALLTYPE get_User(BSTR username, IUser** user) override {
    if (const HRESULT failed = Injected("user"); FAILED(failed))
      return failed;
    const std::wstring name = FromBstr(username);
    JournalLine("user").Add("name", name).Write();
    return MakeObject<UserObject>(IID_IUser, reinterpret_cast<void**>(user), name);
  }
  HRESULT STDMETHODCALLTYPE get_Settings(ISettings** settings) override {
    return MakeObject<SettingsObject>(IID_ISettings, reinterpret_cast<void**>(settings));
  }
  HRESULT STDMETHODCALLTYPE get_Client(IClient** client) override {
    return MakeObject<ClientObject>(IID_IClient, reinterpret_cast<void**>(client));
  }

  // IConnectionPointContainer: the one source interface, the events.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points != nullptr)
      *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (point == nullptr)
      return E_POINTER;
    *point = nullptr;
    if (iid != DIID__ISkypeEvents)
      return CONNECT_E_NOCONNECTION;
    *point = &connection_point_;
    connection_point_.AddRef();
    return S_OK;
  }

  // IProvideClassInfo, for clients that look for the event interface at run time.
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
    if (info == nullptr)
      return E_POINTER;
    return TypeInfoOf(CLSID_Skype, info);
  }

 private:
  // Part of the Skype object: it lives and dies with it, so its references are the object's.
  class ConnectionPoint final : public IConnectionPoint {
   public:
    explicit ConnectionPoint(SkypeObject& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      if (object == nullptr)
        return E_POINTER;
      if (iid == IID_IUnknown || iid == IID_IConnectionPoint) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
      }
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
      if (iid == nullptr)
        return E_POINTER;
      *iid = DIID__ISkypeEvents;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** container) override {
      if (container == nullptr)
        return E_POINTER;
      *container = &owner_;
      owner_.AddRef();
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
      return owner_.core_->Advise(sink, cookie);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
      return owner_.core_->Unadvise(cookie);
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
      if (connections != nullptr)
        *connections = nullptr;
      return E_NOTIMPL;
    }

   private:
    SkypeObject& owner_;
  };

  std::shared_ptr<SkypeCore> core_;
  ConnectionPoint connection_point_;
};

HRESULT SkypeObject::Attach(LONG protocol, VARIANT_BOOL wait) {
  Scenario& scenario = TheScenario();
  PlannedAttach plan{scenario.IsClientRunning() ? AttachOutcome::Succeed
                                                : AttachOutcome::NotAvailable};
  if (!scenario.attaches.empty()) {
    plan = scenario.attaches.front();
    scenario.attaches.pop_front();
  }
  static constexpr const char* kOutcomeNames[] = {"success",  "refuse",  "notavailable",
                                                  "noanswer", "pending", "delay"};
  JournalLine("attach")
      .Add("protocol", protocol)
      .Flag("wait", IsTrue(wait))
      .Add("outcome", kOutcomeNames[static_cast<int>(plan.outcome)])
      .Write();
  if (const HRESULT failed = Injected("attach"); FAILED(failed))
    return failed;

  const bool waits = IsTrue(wait);
  const auto refused = [this] {
    core_->ChangeAttachmentStatus(apiAttachRefused);
    return Fail(kConnectionRefused, L"Connection refused.");
  };
  switch (plan.outcome) {
    case AttachOutcome::Succeed:
      core_->ChangeAttachmentStatus(apiAttachSuccess);
      return S_OK;
    case AttachOutcome::Refuse:
      return refused();
    case AttachOutcome::NotAvailable:
      return Fail(kNotAttached, L"Not attached.");
    case AttachOutcome::Delay:
      if (!waits) {
        core_->ChangeAttachmentStatus(apiAttachSuccess, plan.delay_ms);
        return S_OK;
      }
      core_->WaitTakingSentMessages(plan.delay_ms, [] { return false; });
      core_->ChangeAttachmentStatus(apiAttachSuccess);
      return S_OK;
    case AttachOutcome::NoAnswer:
      // Without waiting, the attempt simply never completes.
      if (!waits)
        return S_OK;
      core_->WaitTakingSentMessages(scenario.timeout_ms, [] { return false; });
      return Fail(kWaitTimeout, L"Wait timeout.");
    case AttachOutcome::Pending:
      scenario.authorization.reset();
      core_->ChangeAttachmentStatus(apiAttachPendingAuthorization);
      // Without waiting, the user's answer arrives later as a status change only.
      if (!waits)
        return S_OK;
      if (!core_->WaitTakingSentMessages(
              scenario.timeout_ms, [&scenario] { return scenario.authorization.has_value(); }))
        return Fail(kWaitTimeout, L"Wait timeout.");
      if (!*scenario.authorization)
        return refused();
      core_->ChangeAttachmentStatus(apiAttachSuccess);
      return S_OK;
  }
  return S_OK;
}

}  // namespace

HRESULT NewCallObject(std::weak_ptr<SkypeCore> core, std::shared_ptr<CallRecord> call,
                      ICall** object) {
  return MakeObject<CallObject>(IID_ICall, reinterpret_cast<void**>(object), std::move(core),
                                std::move(call));
}

HRESULT CreateSkypeObject(REFIID iid, void** object) {
  ApplySetupOnce();
  std::shared_ptr<SkypeCore> core;
  try {
    core = std::make_shared<SkypeCore>();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (core->window() == nullptr)
    return HRESULT_FROM_WIN32(core->creation_error());
  return MakeObject<SkypeObject>(iid, object, std::move(core));
}

}  // namespace tavoro::sim::skype4com
