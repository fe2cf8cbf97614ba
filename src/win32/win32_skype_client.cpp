#include "win32/win32_skype_client.h"

#include <windows.h>

#include <ocidl.h>

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "win32/late_bound.h"
#include "win32/skype_com_events.h"

namespace tavoro::platform::win32 {
namespace {

constexpr wchar_t kProgId[] = L"Skype4COM.Skype";

// The dispatch ids of each interface of the library, shared by all its objects.
struct InterfaceIds {
  std::shared_ptr<DispatchIds> skype = std::make_shared<DispatchIds>();
  std::shared_ptr<DispatchIds> client = std::make_shared<DispatchIds>();
  std::shared_ptr<DispatchIds> conversion = std::make_shared<DispatchIds>();
  std::shared_ptr<DispatchIds> call = std::make_shared<DispatchIds>();
  std::shared_ptr<DispatchIds> user = std::make_shared<DispatchIds>();
  std::shared_ptr<DispatchIds> settings = std::make_shared<DispatchIds>();
};

void Check(HRESULT result, const char* step) {
  if (SUCCEEDED(result))
    return;
  const std::string text = SystemText(result);
  throw ClientError(
      result, std::string("Skype4COM.Skype: ") + step + (text.empty() ? "" : " (" + text + ")"));
}

class ComCall final : public RemoteCall {
 public:
  ComCall(ComPtr<IDispatch> call, std::shared_ptr<DispatchIds> ids)
      : call_(std::move(call), std::move(ids)) {}

  std::int32_t Type() override { return ToInt32(call_.Get(L"Type").value()); }
  std::string PartnerHandle() override { return ToText(call_.Get(L"PartnerHandle").value()); }
  void Answer() override { call_.Call(L"Answer"); }
  void Finish() override { call_.Call(L"Finish"); }

 private:
  LateBound call_;
};

class ComUser final : public RemoteUser {
 public:
  ComUser(ComPtr<IDispatch> user, std::shared_ptr<DispatchIds> ids)
      : user_(std::move(user), std::move(ids)) {}

  std::string Handle() override { return ToText(user_.Get(L"Handle").value()); }

 private:
  LateBound user_;
};

class Skype4ComClient;

// The object the library calls with its events. It holds its client without a reference:
// the client detaches it before it goes, and the library may keep the sink a little longer.
class EventSink final : public ComObject<IDispatch> {
 public:
  explicit EventSink(Skype4ComClient& client) : client_(&client) {}

  void Detach() { client_ = nullptr; }

  // The library calls by dispatch id and needs no type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr)
      return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr)
      *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;

 private:
  // The connection point advises with the events' own id.
  void* OtherInterface(REFIID iid) override {
    return iid == kSkypeEventsIid ? static_cast<IDispatch*>(this) : nullptr;
  }

  Skype4ComClient* client_;
};

class Skype4ComClient final : public CallClient {
 public:
  explicit Skype4ComClient(Win32EventLoop& loop) : loop_(loop) {
    CLSID clsid{};
    ComPtr<IDispatch> object;
    if (FAILED(::CLSIDFromProgID(kProgId, &clsid)) ||
        FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_PPV_ARGS(object.Put())))) {
      throw ClientError(skype_result::kCannotCreateObject, skype_result::kCannotCreateObjectText);
    }
    ComPtr<IConnectionPointContainer> container;
    Check(object->QueryInterface(IID_PPV_ARGS(container.Put())), "the object has no events");
    Check(container->FindConnectionPoint(kSkypeEventsIid, point_.Put()),
          "the object has no events");
    sink_ = new EventSink(*this);
    const HRESULT advised = point_->Advise(sink_, &cookie_);
    if (FAILED(advised)) {
      sink_->Detach();
      sink_->Release();
      Check(advised, "its events cannot be connected");
    }
    skype_.emplace(std::move(object), ids_.skype);
  }

  ~Skype4ComClient() override {
    sink_->Detach();
    point_->Unadvise(cookie_);
    sink_->Release();
  }

  Skype4ComClient(const Skype4ComClient&) = delete;
  Skype4ComClient& operator=(const Skype4ComClient&) = delete;

  void SetEventSink(CallClientEvents* sink) override { events_ = sink; }

  bool ClientIsRunning() override { return ToBool(Client().Get(L"IsRunning").value()); }
  void ClientStart(bool minimized, bool nosplash) override {
    Client().Call(L"Start", Variant::Bool(minimized), Variant::Bool(nosplash));
  }
  void Attach(std::int32_t protocol, bool wait) override {
    skype_->Call(L"Attach", Variant::Long(protocol), Variant::Bool(wait));
  }

  std::int32_t TextToAttachmentStatus(std::string_view text) override {
    return ToInt32(Convert().Call(L"TextToAttachmentStatus", Variant::Text(text)).value());
  }
  std::int32_t TextToCallStatus(std::string_view text) override {
    return ToInt32(Convert().Call(L"TextToCallStatus", Variant::Text(text)).value());
  }
  std::int32_t TextToCallType(std::string_view text) override {
    return ToInt32(Convert().Call(L"TextToCallType", Variant::Text(text)).value());
  }
  std::string CallStatusToText(std::int32_t status) override {
    return ToText(Convert().Call(L"CallStatusToText", Variant::Long(status)).value());
  }

  std::shared_ptr<RemoteUser> User(std::string_view username) override {
    return std::make_shared<ComUser>(
        ToObject(skype_->Get(L"User", Variant::Text(username)).value()), ids_.user);
  }
  std::shared_ptr<RemoteCall> PlaceCall(std::string_view target, std::string_view target2,
                                        std::string_view target3,
                                        std::string_view target4) override {
    const Variant call = skype_->Call(L"PlaceCall", Variant::Text(target), Variant::Text(target2),
                                      Variant::Text(target3), Variant::Text(target4));
    return std::make_shared<ComCall>(ToObject(call.value()), ids_.call);
  }

  std::string SettingsAudioIn() override {
    LateBound settings(ToObject(skype_->Get(L"Settings").value()), ids_.settings);
    return ToText(settings.Get(L"AudioIn").value());
  }

  // From the sink. Nothing of this object is touched after a handler returns, since a
  // handler may end the client's life.
  void Deliver(DISPID member, const DISPPARAMS& parameters) {
    if (events_ == nullptr)
      return;
    SkypeComEvent event = DecodeSkypeEvent(member, parameters);
    CallClientEvents& events = *events_;
    switch (event.kind) {
      case SkypeComEvent::Kind::AttachmentStatus:
        events.AttachmentStatus(event.status);
        break;
      case SkypeComEvent::Kind::CallStatus:
        events.CallStatus(std::make_shared<ComCall>(std::move(event.call), ids_.call),
                          event.status);
        break;
      case SkypeComEvent::Kind::CallDtmfReceived:
        events.CallDtmfReceived(std::make_shared<ComCall>(std::move(event.call), ids_.call),
                                std::move(event.code));
        break;
      case SkypeComEvent::Kind::Other:
        break;
    }
  }

  Win32EventLoop& loop() { return loop_; }

 private:
  // The library's nested objects are fetched for each operation, as `oSkype.Client.IsRunning`
  // would fetch them.
  LateBound Client() { return LateBound(ToObject(skype_->Get(L"Client").value()), ids_.client); }
  LateBound Convert() {
    return LateBound(ToObject(skype_->Get(L"Convert").value()), ids_.conversion);
  }

  Win32EventLoop& loop_;
  InterfaceIds ids_;
  std::optional<LateBound> skype_;
  ComPtr<IConnectionPoint> point_;
  EventSink* sink_ = nullptr;
  DWORD cookie_ = 0;
  CallClientEvents* events_ = nullptr;
};

HRESULT STDMETHODCALLTYPE EventSink::Invoke(DISPID member, REFIID, LCID, WORD,
                                            DISPPARAMS* parameters, VARIANT* result, EXCEPINFO*,
                                            UINT*) {
  if (result != nullptr)
    ::VariantInit(result);
  if (client_ == nullptr || parameters == nullptr)
    return S_OK;
  // Kept apart from the client, which a handler may destroy.
  Win32EventLoop& loop = client_->loop();
  AddRef();
  try {
    client_->Deliver(member, *parameters);
  } catch (...) {
    loop.Fail(std::current_exception());
  }
  Release();
  return S_OK;
}

}  // namespace

std::shared_ptr<CallClient> CreateSkype4ComClient(Win32EventLoop& loop) {
  return std::make_shared<Skype4ComClient>(loop);
}

}  // namespace tavoro::platform::win32
