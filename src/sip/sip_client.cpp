#include "sip/sip_client.h"

#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include <re.h>
// After <re.h>, whose declarations it builds on.
#include <baresip.h>

#include "platform/skype_conversions.h"
#include "win32/message_window.h"
#include "win32/owned_handles.h"

namespace tavoro::platform::sip {
namespace {

using win32::MessageWindow;
using win32::Owned;

constexpr UINT kEventMessage = WM_APP + 0x5A;
// Operations only hand a request to the stack, which answers within milliseconds; the limits
// bound a stack that hangs, so the window thread never does.
constexpr DWORD kOperationLimitMs = 5000;
constexpr DWORD kStartLimitMs = 10000;
// A registrar that answers nothing is given this long, as a client that does not answer.
constexpr DWORD kRegistrationLimitMs = 15000;

// What crossed from the stack's thread to the window thread.
struct SipEvent {
  enum class Kind { Attachment, CallStatus, Dtmf } kind = Kind::Attachment;
  std::int32_t status = 0;
  std::uint32_t call = 0;
  bool outgoing = false;
  std::string partner;
  std::string code;
};

SipEvent AttachmentEvent(std::int32_t status) {
  SipEvent event;
  event.status = status;
  return event;
}

// "sip:alice@example.org:5070;transport=udp" is "alice@example.org": the address as screening
// compares it, without scheme, port, parameters or display name.
std::string HandleOf(std::string_view uri) {
  if (const auto open = uri.find('<'); open != std::string_view::npos) {
    uri.remove_prefix(open + 1);
    uri = uri.substr(0, uri.find('>'));
  }
  for (std::string_view scheme : {"sip:", "sips:"}) {
    if (uri.substr(0, scheme.size()) == scheme)
      uri.remove_prefix(scheme.size());
  }
  uri = uri.substr(0, uri.find_first_of(";?"));
  const auto at = uri.find('@');
  const auto port = uri.find(':', at == std::string_view::npos ? 0 : at);
  return std::string(uri.substr(0, port));
}

// The stack: libre's loop on a thread of its own, one user agent, and the calls it knows.
// Everything below `Main` runs on that thread; others reach it only through `Run`.
class Stack {
 public:
  using Post = std::function<void(SipEvent)>;

  Stack(SipAccount account, Post post) : account_(std::move(account)), post_(std::move(post)) {}
  ~Stack() { Stop(); }
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;

  // Starts the thread and the agent; the error text when the agent cannot listen.
  std::string Start() {
    // libre and baresip keep their state in globals: one stack to a process.
    if (in_use_.exchange(true))
      return "another SIP stack runs in this program";
    owns_globals_ = true;
    started_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    thread_.reset(::CreateThread(nullptr, 0, &Stack::ThreadMain, this, 0, nullptr));
    if (!thread_) {
      in_use_ = false;
      return "no thread for the SIP stack";
    }
    if (::WaitForSingleObject(started_.get(), kStartLimitMs) != WAIT_OBJECT_0)
      return "the SIP stack did not start";
    return start_error_;
  }

  // Runs `work` on the stack's thread and waits for it; false when it did not run in time.
  bool Run(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    {
      std::lock_guard lock(queue_mutex_);
      if (queue_ == nullptr)
        return false;
      if (mqueue_push(queue_, 0, new std::shared_ptr<Job>(job)) != 0)
        return false;
    }
    if (::WaitForSingleObject(job->done.get(), kOperationLimitMs) == WAIT_OBJECT_0)
      return true;
    // `work` may refer to the caller's frame: once given up it must never run. One already
    // running is waited for.
    std::lock_guard lock(job->running);
    job->abandoned = true;
    return ::WaitForSingleObject(job->done.get(), 0) == WAIT_OBJECT_0;
  }

  // Waits for the registrar's answer; empty when registered, else what went wrong.
  std::optional<std::string> AwaitRegistration() {
    if (::WaitForSingleObject(registered_.get(), kRegistrationLimitMs) != WAIT_OBJECT_0)
      return std::string("timeout");
    std::lock_guard lock(registration_mutex_);
    return registration_error_;
  }

  void Stop() {
    if (!thread_)
      return;
    // Ended inside the loop, so the stack lets go of its transactions and sockets at once,
    // before the loop stops: left to the closing, they would keep the port taken.
    Run([this] {
      agent_ = static_cast<struct ua*>(mem_deref(agent_));
      ua_stop_all(true);
      re_cancel();
    });
    // Only a stack that has closed frees the globals for the next one.
    if (::WaitForSingleObject(thread_.get(), kOperationLimitMs) == WAIT_OBJECT_0 && owns_globals_)
      in_use_ = false;
    thread_.reset();
  }

  // On the stack's thread.
  struct ua* agent() const {
    return agent_;
  }
  struct call* Find(std::uint32_t id) const {
    const auto found = calls_.find(id);
    return found == calls_.end() ? nullptr : found->second;
  }
  std::uint32_t Adopt(struct call* call) {
    const std::uint32_t id = next_id_++;
    calls_[id] = call;
    ids_[call] = id;
    return id;
  }

 private:
  struct Job {
    std::function<void()> work;
    Owned<HANDLE, &::CloseHandle> done;
    std::mutex running;
    bool abandoned = false;
  };

  static DWORD WINAPI ThreadMain(void* self) {
    static_cast<Stack*>(self)->Main();
    return 0;
  }

  std::string Configuration() const {
    std::string text =
        "sip_listen " +
        (account_.interface_address.empty() ? "0.0.0.0" : account_.interface_address) + ":" +
        std::to_string(account_.port) + "\n";
    if (!account_.interface_address.empty())
      text += "net_interface " + account_.interface_address + "\n";
    if (!account_.capture_device.empty())
      text += "audio_source winwave," + account_.capture_device + "\n";
    if (!account_.playback_device.empty()) {
      text += "audio_player winwave," + account_.playback_device + "\n";
      text += "audio_alert winwave," + account_.playback_device + "\n";
    }
    return text;
  }

  std::string Address() const {
    std::string address = account_.address;
    if (address.rfind("sip:", 0) != 0)
      address.insert(0, "sip:");
    std::string aor = "<" + address + ">";
    if (account_.registrar.empty())
      return aor + ";regint=0";
    aor += ";regint=600;outbound=\"sip:" + account_.registrar + "\"";
    if (!account_.user.empty())
      aor += ";auth_user=" + account_.user;
    if (!account_.password.empty())
      aor += ";auth_pass=" + account_.password;
    return aor;
  }

  void Main() {
    std::string error = Open();
    start_error_ = error;
    registered_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (error.empty() && account_.registrar.empty())
      ::SetEvent(registered_.get());
    ::SetEvent(started_.get());
    if (error.empty())
      re_main(nullptr);
    Close();
  }

  std::string Open() {
    if (libre_init() != 0)
      return "libre_init";
    opened_ = true;
    const std::string configuration = Configuration();
    if (conf_configure_buf(reinterpret_cast<const uint8_t*>(configuration.data()),
                           configuration.size()) != 0 ||
        config_parse_conf(conf_config(), conf_cur()) != 0 || baresip_init(conf_config()) != 0)
      return "configuration";
    if (ua_init("Tavorophone", true, true, false) != 0)
      return "ua_init";
    module_preload("g711");
    module_preload("winwave");
    uag_event_register(&Stack::OnEvent, this);
    {
      std::lock_guard lock(queue_mutex_);
      if (mqueue_alloc(&queue_, &Stack::OnJob, this) != 0)
        return "mqueue";
    }
    if (ua_alloc(&agent_, Address().c_str()) != 0)
      return "ua_alloc";
    // Every user part of this address reaches the gateway, as every call reaches a client.
    ua_set_catchall(agent_, true);
    if (!account_.registrar.empty() && ua_register(agent_) != 0)
      return "ua_register";
    return "";
  }

  void Close() {
    {
      std::lock_guard lock(queue_mutex_);
      queue_ = static_cast<struct mqueue*>(mem_deref(queue_));
    }
    if (!opened_)
      return;
    uag_event_unregister(&Stack::OnEvent);
    agent_ = static_cast<struct ua*>(mem_deref(agent_));
    ua_close();
    conf_close();
    baresip_close();
    mod_close();
    libre_close();
  }

  static void OnJob(int, void* data, void*) {
    const std::unique_ptr<std::shared_ptr<Job>> job(static_cast<std::shared_ptr<Job>*>(data));
    std::lock_guard lock((*job)->running);
    if ((*job)->abandoned)
      return;
    (*job)->work();
    ::SetEvent((*job)->done.get());
  }

  static void OnEvent(struct ua*, enum ua_event event, struct call* call, const char* parameter,
                      void* self) {
    static_cast<Stack*>(self)->Handle(event, call, parameter ? parameter : "");
  }

  void Handle(enum ua_event event, struct call* call, std::string_view parameter) {
    switch (event) {
      case UA_EVENT_REGISTER_OK:
        Registered(std::nullopt);
        return;
      case UA_EVENT_REGISTER_FAIL:
        Registered(std::string(parameter));
        return;
      default:
        break;
    }
    if (call == nullptr)
      return;
    SipEvent out;
    out.kind = SipEvent::Kind::CallStatus;
    const auto known = ids_.find(call);
    out.call = known != ids_.end() ? known->second : Adopt(call);
    out.outgoing = call_is_outgoing(call);
    out.partner = HandleOf(call_peeruri(call) ? call_peeruri(call) : "");
    switch (event) {
      case UA_EVENT_CALL_INCOMING:
      case UA_EVENT_CALL_RINGING:
        out.status = skype_call_status::kRinging;
        break;
      case UA_EVENT_CALL_ESTABLISHED:
        established_.insert(out.call);
        out.status = skype_call_status::kInProgress;
        break;
      case UA_EVENT_CALL_CLOSED:
        out.status = ClosedStatus(out.call, call_scode(call));
        established_.erase(out.call);
        calls_.erase(out.call);
        ids_.erase(call);
        break;
      case UA_EVENT_CALL_DTMF_START:
        out.kind = SipEvent::Kind::Dtmf;
        out.code = std::string(parameter);
        break;
      default:
        return;
    }
    post_(std::move(out));
  }

  // A call that was up has finished, however it ended. One that never was: busy or declined
  // is a refusal, anything else a failure; an incoming one the caller gave up is finished.
  std::int32_t ClosedStatus(std::uint32_t call, std::uint16_t code) const {
    if (established_.count(call) != 0 || code == 0)
      return skype_call_status::kFinished;
    if (code == 486 || code == 600 || code == 603)
      return skype_call_status::kRefused;
    return code == 487 ? skype_call_status::kFinished : skype_call_status::kFailed;
  }

  // The first answer completes the attachment that waits for it; later ones are changes the
  // program hears of as the client's attachment status: lost, then available again.
  void Registered(std::optional<std::string> error) {
    bool answered_before = false;
    bool was_registered = false;
    {
      std::lock_guard lock(registration_mutex_);
      answered_before = answered_;
      was_registered = answered_ && !registration_error_;
      answered_ = true;
      registration_error_ = error;
    }
    ::SetEvent(registered_.get());
    if (!answered_before)
      return;
    if (was_registered && error)
      post_(AttachmentEvent(skype_attachment_status::kNotAvailable));
    else if (!was_registered && !error)
      post_(AttachmentEvent(skype_attachment_status::kAvailable));
  }

  static inline std::atomic<bool> in_use_{false};
  bool owns_globals_ = false;
  SipAccount account_;
  Post post_;
  Owned<HANDLE, &::CloseHandle> thread_;
  Owned<HANDLE, &::CloseHandle> started_;
  Owned<HANDLE, &::CloseHandle> registered_;
  std::string start_error_;
  std::mutex registration_mutex_;
  std::optional<std::string> registration_error_;
  bool answered_ = false;
  std::mutex queue_mutex_;
  struct mqueue* queue_ = nullptr;
  bool opened_ = false;
  struct ua* agent_ = nullptr;
  std::map<std::uint32_t, struct call*> calls_;
  std::map<const struct call*, std::uint32_t> ids_;
  std::set<std::uint32_t> established_;
  std::uint32_t next_id_ = 1;
};

// The window thread's side: the stack, the message window its events arrive through, and the
// sink. Calls hold it too, so an operation on a call never meets a stack that is gone.
class Core : public std::enable_shared_from_this<Core> {
 public:
  Core(Win32EventLoop& loop, SipAccount account)
      : loop_(loop),
        window_([this](UINT message, WPARAM, LPARAM lparam) {
          if (message != kEventMessage)
            return false;
          Deliver(std::unique_ptr<SipEvent>(reinterpret_cast<SipEvent*>(lparam)));
          return true;
        }),
        stack_(std::move(account),
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
      const std::string error = stack_.Start();
      if (!error.empty())
        throw ClientError(skype_result::kNotAttached, "Not attached. (" + error + ")");
      started_ = true;
    }
    if (const auto failure = stack_.AwaitRegistration()) {
      const bool refused = failure->rfind("401", 0) == 0 || failure->rfind("403", 0) == 0 ||
                           failure->rfind("407", 0) == 0;
      if (refused)
        throw ClientError(skype_result::kConnectionRefused, "Connection refused.");
      throw ClientError(skype_result::kWaitTimeout, "Wait timeout. (" + *failure + ")");
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
  std::string SettingsAudioIn() override { return capture_; }

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

SipAccount AccountFrom(const settings::SipSettings& sip, std::string password) {
  SipAccount account;
  account.address = sip.address;
  account.registrar = sip.registrar;
  account.user = sip.user;
  account.password = std::move(password);
  account.port = sip.port;
  account.interface_address = sip.interface_address;
  account.capture_device = sip.capture_device;
  account.playback_device = sip.playback_device;
  return account;
}

}  // namespace tavoro::platform::sip
