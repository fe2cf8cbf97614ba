// The event source behind a Skype object. Events are queued with the time they are due and
// raised from the object's hidden window, from a posted message or a timer, so a client sees
// them only while its thread dispatches messages, never inside one of the library's
// operations. The same window takes the control channel's commands.

#include <windows.h>

#include <olectl.h>

#include <algorithm>
#include <utility>

#include "skype_control.h"
#include "stand_in.h"
#include "win32/window_thunk.h"

namespace tavoro::sim::skype4com {
namespace {

constexpr UINT kDrainMessage = WM_APP + 1;
constexpr UINT_PTR kDrainTimer = 1;

constexpr DISPID kAttachmentStatusEvent = 4;
constexpr DISPID kCallStatusEvent = 8;
constexpr DISPID kCallDtmfReceivedEvent = 14;

std::vector<SkypeCore*>& Cores() {
  static std::vector<SkypeCore*> cores;
  return cores;
}

const char* EventName(DISPID dispid) {
  switch (dispid) {
    case kAttachmentStatusEvent:
      return "AttachmentStatus";
    case kCallStatusEvent:
      return "CallStatus";
    default:
      return "CallDtmfReceived";
  }
}

}  // namespace

bool CallRecord::Ended() const {
  return status == clsFailed || status == clsFinished || status == clsMissed ||
         status == clsRefused || status == clsBusy || status == clsCancelled;
}

SkypeCore::SkypeCore() {
  // The class lives while any core does, so a DLL unloaded and loaded again registers it anew.
  if (Cores().empty()) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof(description);
    description.lpfnWndProc = &SkypeCore::Procedure;
    description.hInstance = Module();
    description.lpszClassName = control::kWindowClass;
    if (::RegisterClassExW(&description) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      creation_error_ = ::GetLastError();
      return;
    }
  }
  const std::wstring title = control::kWindowTitlePrefix + std::to_wstring(::GetCurrentProcessId());
  window_ = ::CreateWindowExW(0, control::kWindowClass, title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, Module(), this);
  if (window_ == nullptr) {
    creation_error_ = ::GetLastError();
    if (Cores().empty())
      ::UnregisterClassW(control::kWindowClass, Module());
    return;
  }
  Cores().push_back(this);
}

SkypeCore::~SkypeCore() {
  for (auto& [cookie, sink] : sinks_)
    sink->Release();
  if (window_ == nullptr)
    return;
  platform::win32::DetachWindowOwner(window_);
  ::DestroyWindow(window_);
  auto& cores = Cores();
  cores.erase(std::remove(cores.begin(), cores.end(), this), cores.end());
  if (cores.empty())
    ::UnregisterClassW(control::kWindowClass, Module());
}

const std::vector<SkypeCore*>& SkypeCore::All() {
  return Cores();
}

HRESULT SkypeCore::Advise(IUnknown* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr)
    return E_POINTER;
  *cookie = 0;
  // Only a sink that is the event interface itself may connect, as with the library.
  IDispatch* events = nullptr;
  if (FAILED(sink->QueryInterface(DIID__ISkypeEvents, reinterpret_cast<void**>(&events))) ||
      events == nullptr)
    return CONNECT_E_CANNOTCONNECT;
  *cookie = next_cookie_++;
  sinks_.emplace_back(*cookie, events);
  JournalLine("advise").Add("cookie", *cookie).Write();
  return S_OK;
}

HRESULT SkypeCore::Unadvise(DWORD cookie) {
  const auto found = std::find_if(sinks_.begin(), sinks_.end(),
                                  [cookie](const auto& entry) { return entry.first == cookie; });
  if (found == sinks_.end())
    return CONNECT_E_NOCONNECTION;
  IDispatch* sink = found->second;
  sinks_.erase(found);
  sink->Release();
  JournalLine("unadvise").Add("cookie", cookie).Write();
  return S_OK;
}

void SkypeCore::ChangeAttachmentStatus(TAttachmentStatus status, DWORD delay_ms) {
  attachment_status_ = status;
  Schedule({kAttachmentStatusEvent, status, nullptr, {}}, delay_ms);
}

std::shared_ptr<CallRecord> SkypeCore::NewCall(TCallType type, std::wstring partner) {
  static long next_id = 1;
  auto call = std::make_shared<CallRecord>(CallRecord{next_id++, type, std::move(partner)});
  calls_.push_back(call);
  return call;
}

std::shared_ptr<CallRecord> SkypeCore::FindCall(std::optional<long> id,
                                                bool open_outgoing_only) const {
  for (auto call = calls_.rbegin(); call != calls_.rend(); ++call) {
    if (id) {
      if ((*call)->id == *id)
        return *call;
    } else if (!open_outgoing_only || ((*call)->Outgoing() && !(*call)->Ended())) {
      return *call;
    }
  }
  return nullptr;
}

void SkypeCore::ChangeCallStatus(std::shared_ptr<CallRecord> call, TCallStatus status,
                                 DWORD delay_ms) {
  Schedule({kCallStatusEvent, status, std::move(call), {}}, delay_ms);
}

void SkypeCore::SendDtmf(std::shared_ptr<CallRecord> call, std::wstring code, DWORD delay_ms) {
  Schedule({kCallDtmfReceivedEvent, 0, std::move(call), std::move(code)}, delay_ms);
}

bool SkypeCore::WaitTakingSentMessages(DWORD milliseconds, const std::function<bool()>& done) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  for (;;) {
    if (done())
      return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline)
      return false;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE,
                                  0);
    // Peeking delivers the messages sent to this thread and removes nothing else.
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void SkypeCore::Schedule(PendingEvent event, DWORD delay_ms) {
  queue_.emplace(::GetTickCount64() + delay_ms, std::move(event));
  Arm();
}

void SkypeCore::Arm() {
  if (queue_.empty() || window_ == nullptr)
    return;
  const ULONGLONG now = ::GetTickCount64();
  const ULONGLONG due = queue_.begin()->first;
  if (due <= now) {
    if (!drain_posted_)
      drain_posted_ = ::PostMessageW(window_, kDrainMessage, 0, 0) != FALSE;
  } else {
    ::SetTimer(window_, kDrainTimer, static_cast<UINT>(due - now), nullptr);
  }
}

void SkypeCore::Drain() {
  drain_posted_ = false;
  ::KillTimer(window_, kDrainTimer);
  // A handler may drop the client's last reference to the object while it runs.
  const auto keep_alive = shared_from_this();
  // One at a time: a handler that pumps messages gets the next events inside its own run, as
  // a client of the library does.
  while (!queue_.empty() && queue_.begin()->first <= ::GetTickCount64()) {
    const PendingEvent event = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());
    Raise(event);
  }
  Arm();
}

void SkypeCore::Raise(const PendingEvent& event) {
  if (event.dispid == kAttachmentStatusEvent) {
    if (event.number == reported_status_)
      return;
    reported_status_ = static_cast<TAttachmentStatus>(event.number);
  } else if (event.dispid == kCallStatusEvent) {
    event.call->status = static_cast<TCallStatus>(event.number);
  }

  JournalLine line("event");
  line.Add("name", EventName(event.dispid));
  if (event.call)
    line.Add("call", event.call->id);
  if (event.dispid == kCallDtmfReceivedEvent)
    line.Add("code", event.code);
  else
    line.Add("status", event.number);
  line.Add("sinks", static_cast<long long>(sinks_.size())).Write();
  if (sinks_.empty())
    return;

  ICall* call = nullptr;
  if (event.call && FAILED(NewCallObject(weak_from_this(), event.call, &call)))
    return;
  // The values, and the arguments as the scenario wants them carried (last one first).
  LONG number = event.number;
  IDispatch* call_dispatch = call;
  BSTR code = event.dispid == kCallDtmfReceivedEvent ? NewBstr(event.code) : nullptr;
  VARIANT values[2];
  VARIANT arguments[2];
  UINT count = 0;
  const ArgumentForm form = TheScenario().event_arguments;
  const auto add_number = [&] {
    VARIANT& value = values[count];
    ::VariantInit(&value);
    V_VT(&value) = form == ArgumentForm::Reference ? VT_I4 | VT_BYREF : VT_I4;
    if (form == ArgumentForm::Reference)
      V_I4REF(&value) = &number;
    else
      V_I4(&value) = number;
    ++count;
  };
  const auto add_code = [&] {
    VARIANT& value = values[count];
    ::VariantInit(&value);
    V_VT(&value) = form == ArgumentForm::Reference ? VT_BSTR | VT_BYREF : VT_BSTR;
    if (form == ArgumentForm::Reference)
      V_BSTRREF(&value) = &code;
    else
      V_BSTR(&value) = code;
    ++count;
  };
  const auto add_call = [&] {
    VARIANT& value = values[count];
    ::VariantInit(&value);
    V_VT(&value) = form == ArgumentForm::Reference ? VT_DISPATCH | VT_BYREF : VT_DISPATCH;
    if (form == ArgumentForm::Reference)
      V_DISPATCHREF(&value) = &call_dispatch;
    else
      V_DISPATCH(&value) = call_dispatch;
    ++count;
  };
  if (event.dispid == kAttachmentStatusEvent) {
    add_number();
  } else {
    if (event.dispid == kCallStatusEvent)
      add_number();
    else
      add_code();
    add_call();
  }
  for (UINT i = 0; i < count; ++i) {
    ::VariantInit(&arguments[i]);
    V_VT(&arguments[i]) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&arguments[i]) = &values[i];
  }
  DISPPARAMS parameters{form == ArgumentForm::VariantReference ? arguments : values, nullptr, count,
                        0};

  // A handler may disconnect any sink, its own included, while it runs.
  std::vector<IDispatch*> sinks;
  for (const auto& [cookie, sink] : sinks_) {
    sink->AddRef();
    sinks.push_back(sink);
  }
  for (IDispatch* sink : sinks) {
    sink->Invoke(event.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                 nullptr, nullptr);
    sink->Release();
  }
  ::SysFreeString(code);
  if (call != nullptr)
    call->Release();
}

LRESULT CALLBACK SkypeCore::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* core = platform::win32::WindowOwner<SkypeCore>(window, message, lparam);
  if (core != nullptr) {
    switch (message) {
      case kDrainMessage:
        core->Drain();
        return 0;
      case WM_TIMER:
        if (wparam == kDrainTimer) {
          core->Drain();
          return 0;
        }
        break;
      case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
        if (data == nullptr || data->dwData != control::kCommandTag)
          break;
        return ExecuteCommand(
            core, std::string_view(static_cast<const char*>(data->lpData), data->cbData));
      }
      default:
        break;
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tavoro::sim::skype4com
