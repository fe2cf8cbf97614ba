#include "sip/sip_client.h"

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>

#include <re.h>
// After <re.h>, whose declarations it builds on.
#include <baresip.h>

#include "platform/skype_conversions.h"
#include "sip/sip_stack.h"
#include "win32/message_window.h"

namespace tavoro::platform::sip {
namespace {

using win32::MessageWindow;

constexpr UINT kEventMessage = WM_APP + 0x5A;
// A registrar that answers nothing is given this long, as a client that does not answer.
constexpr DWORD kRegistrationLimitMs = 15000;

SipEvent AttachmentEvent(std::int32_t status) {
  SipEvent event;
  event.status = status;
  return event;
}

// The window thread's side: the stack, the message window its events arrive through, and the
// sink. Calls hold it too, so an operation on a call never meets a stack that is gone.
class Core : public std::enable_shared_from_this<Core> {
 public:
  Core(Win32EventLoop& loop, SipAccount account)
      : loop_(loop),
        problem_(AccountProblem(account)),
        window_([this](UINT message, WPARAM, LPARAM lparam) {
          if (message != kEventMessage)
            return false;
          Deliver(std::unique_ptr<SipEvent>(reinterpret_cast<SipEvent*>(lparam)));
          return true;
        }),
        stack_(std::move(account), true,
               [target = window_.handle()](SipEvent event) { Post(target, std::move(event)); }) {}
  ~Core() {
    stack_.Stop();
    // Events posted but not delivered are freed with their window's queue left unread.
    MSG message;
    while (::PeekMessageW(&message, window_.handle(), kEventMessage, kEventMessage, PM_REMOVE))
      delete reinterpret_cast<SipEvent*>(message.lParam);
  }

  void SetSink(CallClientEvents* sink) { sink_ = sink; }

  void Attach() {
    if (!started_) {
      if (!problem_.empty())
        throw ClientError(skype_result::kNotAttached, "Not attached. (" + problem_ + ")");
      if (const std::string error = stack_.Start(); !error.empty()) {
        // Stopped, so the next attachment starts it anew.
        stack_.Stop();
        throw ClientError(skype_result::kNotAttached, "Not attached. (" + error + ")");
      }
      started_ = true;
    }
    const RegistrationAnswer answer = stack_.Register(kRegistrationLimitMs);
    if (!answer.answered)
      throw ClientError(skype_result::kWaitTimeout, "Wait timeout. (" + answer.text + ")");
    if (!answer.registered) {
      if (answer.status == 401 || answer.status == 403 || answer.status == 407)
        throw ClientError(skype_result::kConnectionRefused, "Connection refused.");
      throw ClientError(skype_result::kWaitTimeout, "Wait timeout. (" + answer.text + ")");
    }
    Post(window_.handle(), AttachmentEvent(skype_attachment_status::kSuccess));
  }

  // Runs `work` with the call's stack object, when the call is still there.
  void WithCall(std::uint32_t id, const std::function<void(struct ua*, struct call*)>& work) {
    if (!stack_.Run([&] {
          if (struct call* call = stack_.Find(id))
            work(stack_.agent(), call);
        }))
      throw ClientError(skype_result::kWaitTimeout, "Wait timeout.");
  }

  std::uint32_t Connect(const std::string& uri) {
    std::uint32_t id = 0;
    int error = 0;
    if (!stack_.Run([&] {
          struct call* call = nullptr;
          error = ua_connect(stack_.agent(), &call, nullptr, uri.c_str(), VIDMODE_OFF);
          if (error == 0)
            id = stack_.Adopt(call);
        }))
      throw ClientError(skype_result::kWaitTimeout, "Wait timeout.");
    if (error != 0)
      throw ClientError(static_cast<std::int32_t>(0x80004005u), "Call failed.");
    return id;
  }

 private:
  // From any thread; the window owns the event once the message is posted.
  static void Post(HWND target, SipEvent event) {
    auto posted = std::make_unique<SipEvent>(std::move(event));
    if (::PostMessageW(target, kEventMessage, 0, reinterpret_cast<LPARAM>(posted.get())))
      posted.release();
  }

  void Deliver(std::unique_ptr<SipEvent> event);

  Win32EventLoop& loop_;
  std::string problem_;
  MessageWindow window_;
  Stack stack_;
  CallClientEvents* sink_ = nullptr;
  bool started_ = false;
};

class SipCall final : public RemoteCall {
 public:
  SipCall(std::shared_ptr<Core> core, std::uint32_t id, bool outgoing, std::string partner)
      : core_(std::move(core)), id_(id), outgoing_(outgoing), partner_(std::move(partner)) {}
  std::int32_t Type() override {
    return outgoing_ ? skype_call_type::kOutgoingP2p : skype_call_type::kIncomingP2p;
  }
  std::string PartnerHandle() override { return partner_; }
  void Answer() override {
    core_->WithCall(
        id_, [](struct ua* agent, struct call* call) { ua_answer(agent, call, VIDMODE_OFF); });
  }
  void Finish() override {
    core_->WithCall(
        id_, [](struct ua* agent, struct call* call) { ua_hangup(agent, call, 0, nullptr); });
  }

 private:
  std::shared_ptr<Core> core_;
  std::uint32_t id_;
  bool outgoing_;
  std::string partner_;
};

void Core::Deliver(std::unique_ptr<SipEvent> event) {
  if (sink_ == nullptr)
    return;
  // A failure of a handler must not unwind through the window procedure.
  try {
    switch (event->kind) {
      case SipEvent::Kind::Attachment:
        sink_->AttachmentStatus(event->status);
        break;
      case SipEvent::Kind::CallStatus:
        sink_->CallStatus(std::make_shared<SipCall>(shared_from_this(), event->call,
                                                    event->outgoing, event->partner),
                          event->status);
        break;
      case SipEvent::Kind::Dtmf:
        sink_->CallDtmfReceived(std::make_shared<SipCall>(shared_from_this(), event->call,
                                                          event->outgoing, event->partner),
                                event->code);
        break;
    }
  } catch (...) {
    loop_.Fail(std::current_exception());
  }
}

class SipUser final : public RemoteUser {
 public:
  explicit SipUser(std::string handle) : handle_(std::move(handle)) {}
  std::string Handle() override { return handle_; }

 private:
  std::string handle_;
};

class SipClient final : public CallClient {
 public:
  SipClient(Win32EventLoop& loop, SipAccount account)
      : domain_(DomainOf(account.address)),
        capture_(account.capture_device),
        core_(std::make_shared<Core>(loop, std::move(account))) {}

  void SetEventSink(CallClientEvents* sink) override { core_->SetSink(sink); }
  // The user agent is part of this program: it runs whenever the program does.
  bool ClientIsRunning() override { return true; }
  void ClientStart(bool, bool) override {}
  void Attach(std::int32_t, bool) override { core_->Attach(); }

  // The names and texts the Skype library has for the statuses this client reports in.
  std::int32_t TextToAttachmentStatus(std::string_view text) override {
    return skype_conversion::TextToAttachmentStatus(text);
  }
  std::int32_t TextToCallStatus(std::string_view text) override {
    return skype_conversion::TextToCallStatus(text);
  }
  std::int32_t TextToCallType(std::string_view text) override {
    return skype_conversion::TextToCallType(text);
  }
  std::string CallStatusToText(std::int32_t status) override {
    return skype_conversion::CallStatusToText(status);
  }

  std::shared_ptr<RemoteUser> User(std::string_view username) override {
    return std::make_shared<SipUser>(std::string(username));
  }
  // A full address is called as it stands; a name or a number at the account's own domain.
  std::shared_ptr<RemoteCall> PlaceCall(std::string_view target, std::string_view, std::string_view,
                                        std::string_view) override {
    std::string uri(target);
    if (uri.find('@') == std::string::npos)
      uri += "@" + domain_;
    if (uri.rfind("sip:", 0) != 0)
      uri.insert(0, "sip:");
    const std::uint32_t id = core_->Connect(uri);
    return std::make_shared<SipCall>(core_, id, true, HandleOf(uri));
  }
  // Where the calls' speech is captured, so the sound meter listens there too.
  std::string SettingsAudioIn() override {
    return capture_.empty() ? DefaultCaptureDevice() : capture_;
  }

 private:
  static std::string DomainOf(std::string_view address) {
    const auto at = address.find('@');
    return std::string(at == std::string_view::npos ? address : address.substr(at + 1));
  }

  std::string domain_;
  std::string capture_;
  std::shared_ptr<Core> core_;
};

}  // namespace

std::shared_ptr<CallClient> CreateSipClient(Win32EventLoop& loop, SipAccount account) {
  return std::make_shared<SipClient>(loop, std::move(account));
}

}  // namespace tavoro::platform::sip
