#include "sip/sip_stack.h"

#include <winsock2.h>

#include <atomic>
#include <cctype>
#include <utility>

#include <re.h>
// After <re.h>, whose declarations it builds on.
#include <baresip.h>

#include "platform/skype_conversions.h"

namespace tavoro::platform::sip {
namespace {

// Operations only hand a request to the stack, which answers within milliseconds; the limits
// bound a stack that hangs, so the window thread never does.
constexpr DWORD kOperationLimitMs = 5000;
constexpr DWORD kStartLimitMs = 10000;
// A check's agent registers only for the moment the check lasts.
constexpr std::uint32_t kCheckRegistrationSeconds = 60;

// libre and baresip keep their state in globals: one stack to a process.
std::atomic<bool> stack_in_use{false};
std::mutex running_mutex;
Stack* running_stack = nullptr;

// "403 Forbidden" is 403; a text of the system's, without a status, is 0.
int StatusOf(std::string_view text) {
  int status = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
      return 0;
    status = status * 10 + (text[i] - '0');
  }
  return text.size() == 3 || text[3] == ' ' ? status : 0;
}

}  // namespace

// The stack's callbacks, on its thread.
struct Callbacks {
  static void OnJob(int, void* data, void*);
  static void OnEvent(struct ua* agent, enum ua_event event, struct call* call,
                      const char* parameter, void* self) {
    static_cast<Stack*>(self)->Handle(agent, event, call, parameter ? parameter : "");
  }
  static bool OnRequest(const struct sip_msg* message, void* self) {
    return static_cast<Stack*>(self)->Info(message);
  }
};

struct Stack::Job {
  std::function<void()> work;
  win32::Owned<HANDLE, &::CloseHandle> done;
  std::mutex running;
  bool abandoned = false;
};

void Callbacks::OnJob(int, void* data, void*) {
  const std::unique_ptr<std::shared_ptr<Stack::Job>> job(
      static_cast<std::shared_ptr<Stack::Job>*>(data));
  std::lock_guard lock((*job)->running);
  if ((*job)->abandoned)
    return;
  (*job)->work();
  ::SetEvent((*job)->done.get());
}

std::string SipUri(std::string_view address) {
  return address.rfind("sip:", 0) == 0 ? std::string(address) : "sip:" + std::string(address);
}

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

Stack::Attempt::Attempt() : done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void Stack::Attempt::Begin() {
  std::lock_guard lock(mutex);
  pending = true;
  answer = {};
  ::ResetEvent(done.get());
}

bool Stack::Attempt::Complete(const RegistrationAnswer& given) {
  std::lock_guard lock(mutex);
  const bool was_pending = pending;
  pending = false;
  answer = given;
  ::SetEvent(done.get());
  return was_pending;
}

RegistrationAnswer Stack::Attempt::Await(DWORD limit_ms) {
  ::WaitForSingleObject(done.get(), limit_ms);
  std::lock_guard lock(mutex);
  if (!answer.answered)
    return {false, false, 0, "no answer from the registrar"};
  return answer;
}

Stack::Stack(SipAccount account, bool agent, Post post)
    : account_(std::move(account)), with_agent_(agent), post_(std::move(post)) {}

Stack::~Stack() {
  Stop();
}

Stack* Stack::Running() {
  std::lock_guard lock(running_mutex);
  return running_stack;
}

std::string Stack::Start() {
  if (stack_in_use.exchange(true))
    return "another SIP stack runs in this program";
  owns_globals_ = true;
  started_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread_.reset(::CreateThread(nullptr, 0, &Stack::ThreadMain, this, 0, nullptr));
  if (!thread_) {
    stack_in_use = false;
    return "no thread for the SIP stack";
  }
  if (::WaitForSingleObject(started_.get(), kStartLimitMs) != WAIT_OBJECT_0)
    return "the SIP stack did not start";
  if (start_error_.empty() && with_agent_) {
    std::lock_guard lock(running_mutex);
    running_stack = this;
  }
  return start_error_;
}

bool Stack::Run(std::function<void()> work) {
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

RegistrationAnswer Stack::Register(DWORD limit_ms) {
  if (account_.registrar.empty())
    return {true, true, 0, ""};
  bool asked = false;
  const bool ran = Run([&] {
    if (registered_)
      return;
    // Each attempt is a new one: a refusal heard before says nothing of this one.
    registration_.Begin();
    asked = true;
    ua_register(agent_);
  });
  if (!ran)
    return {false, false, 0, "the SIP stack does not answer"};
  if (!asked)
    return {true, true, 200, ""};
  return registration_.Await(limit_ms);
}

RegistrationAnswer Stack::Check(const SipAccount& account, DWORD limit_ms) {
  int error = 0;
  const bool ran = Run([&] {
    check_.Begin();
    error = ua_alloc(&check_agent_, ("<" + SipUri(account.address) +
                                     ">;regint=" + std::to_string(kCheckRegistrationSeconds))
                                        .c_str());
    if (error != 0)
      return;
    struct account* settings = ua_account(check_agent_);
    error = account_set_outbound(settings, ("sip:" + account.registrar).c_str(), 0);
    if (error == 0 && !account.user.empty())
      error = account_set_auth_user(settings, account.user.c_str());
    if (error == 0)
      error = account_set_auth_pass(settings, account.password.c_str());
    if (error == 0)
      error = ua_register(check_agent_);
  });
  RegistrationAnswer answer;
  if (!ran) {
    answer = {true, false, 0, "the SIP stack does not answer"};
  } else if (error != 0 && !check_.Await(0).answered) {
    char text[128] = {};
    re_snprintf(text, sizeof text, "%m", error);
    answer = {true, false, 0, text};
  } else {
    answer = check_.Await(limit_ms);
  }
  // Removed at once, which ends its registration at the registrar as well.
  Run([this] { check_agent_ = static_cast<struct ua*>(mem_deref(check_agent_)); });
  return answer;
}

void Stack::Stop() {
  if (!thread_)
    return;
  {
    std::lock_guard lock(running_mutex);
    if (running_stack == this)
      running_stack = nullptr;
  }
  // Ended inside the loop, so the stack lets go of its transactions and sockets at once,
  // before the loop stops: left to the closing, they would keep the port taken.
  Run([this] {
    check_agent_ = static_cast<struct ua*>(mem_deref(check_agent_));
    agent_ = static_cast<struct ua*>(mem_deref(agent_));
    ua_stop_all(true);
    re_cancel();
  });
  // Only a stack that has closed frees the globals for the next one.
  if (::WaitForSingleObject(thread_.get(), kOperationLimitMs) == WAIT_OBJECT_0 && owns_globals_)
    stack_in_use = false;
  thread_.reset();
}

struct call* Stack::Find(std::uint32_t id) const {
  const auto found = calls_.find(id);
  return found == calls_.end() ? nullptr : found->second;
}

std::uint32_t Stack::Adopt(struct call* call) {
  const std::uint32_t id = next_id_++;
  calls_[id] = call;
  ids_[call] = id;
  return id;
}

DWORD WINAPI Stack::ThreadMain(void* self) {
  static_cast<Stack*>(self)->Main();
  return 0;
}

std::string Stack::Configuration() const {
  const std::string host =
      account_.interface_address.empty() ? "0.0.0.0" : account_.interface_address;
  // The stack finds a key only after a line break. A stack for checks listens where the
  // system lets it, so it never meets a port already taken.
  std::string text =
      "\nsip_listen " + host + ":" + std::to_string(with_agent_ ? account_.port : 0) + "\n";
  if (!account_.interface_address.empty())
    text += "net_interface " + account_.interface_address + "\n";
  return text;
}

void Stack::Main() {
  start_error_ = Open();
  const bool opened = start_error_.empty();
  ::SetEvent(started_.get());
  if (opened)
    re_main(nullptr);
  Close();
}

std::string Stack::Open() {
  if (libre_init() != 0)
    return "libre_init";
  opened_ = true;
  const std::string configuration = Configuration();
  if (conf_configure_buf(reinterpret_cast<const uint8_t*>(configuration.data()),
                         configuration.size()) != 0 ||
      config_parse_conf(conf_config(), conf_cur()) != 0)
    return "configuration";
  // Device names go in as they are, past the configuration's parser, which would stop at a
  // space; winwave compares them with the names it lists.
  struct config_audio& audio = conf_config()->audio;
  if (const std::string capture = WinwaveCaptureName(account_.capture_device); !capture.empty()) {
    str_ncpy(audio.src_mod, "winwave", sizeof audio.src_mod);
    str_ncpy(audio.src_dev, capture.c_str(), sizeof audio.src_dev);
  }
  if (const std::string playback = WinwavePlaybackName(account_.playback_device);
      !playback.empty()) {
    for (char* module : {audio.play_mod, audio.alert_mod})
      str_ncpy(module, "winwave", sizeof audio.play_mod);
    for (char* device : {audio.play_dev, audio.alert_dev})
      str_ncpy(device, playback.c_str(), sizeof audio.play_dev);
  }
  if (baresip_init(conf_config()) != 0)
    return "configuration";
  if (ua_init("Tavorophone", true, true, false) != 0) {
    char text[128] = {};
    re_snprintf(text, sizeof text, "cannot listen on port %u", unsigned{account_.port});
    return with_agent_ ? text : "cannot listen";
  }
  module_preload("g711");
  module_preload("winwave");
  uag_event_register(&Callbacks::OnEvent, this);
  // Keypad codes as INFO of type application/dtmf, which the stack itself turns away: heard
  // before the stack's own listeners, which take every request of a call.
  if (sip_listen(&listener_, uag_sip(), true, &Callbacks::OnRequest, this) != 0)
    return "sip_listen";
  // libre 2.0.1 keeps the list element first in a listener.
  struct le* element = reinterpret_cast<struct le*>(listener_);
  struct list* listeners = element->list;
  list_unlink(element);
  list_prepend(listeners, element, listener_);
  {
    std::lock_guard lock(queue_mutex_);
    if (mqueue_alloc(&queue_, &Callbacks::OnJob, this) != 0)
      return "mqueue";
  }
  if (!with_agent_)
    return "";
  // The address was checked for what would end it early (AccountProblem).
  if (ua_alloc(&agent_, ("<" + SipUri(account_.address) +
                         ">;regint=" + (account_.registrar.empty() ? "0" : "600"))
                            .c_str()) != 0)
    return "ua_alloc";
  // Every user part of this address reaches the gateway, as every call reaches a client.
  ua_set_catchall(agent_, true);
  if (account_.registrar.empty())
    return "";
  struct account* settings = ua_account(agent_);
  // Given through the account, not in its text: any password works, whatever it holds.
  if (account_set_outbound(settings, ("sip:" + account_.registrar).c_str(), 0) != 0 ||
      (!account_.user.empty() && account_set_auth_user(settings, account_.user.c_str()) != 0) ||
      account_set_auth_pass(settings, account_.password.c_str()) != 0)
    return "account";
  return "";
}

void Stack::Close() {
  {
    std::lock_guard lock(queue_mutex_);
    queue_ = static_cast<struct mqueue*>(mem_deref(queue_));
  }
  if (!opened_)
    return;
  listener_ = static_cast<struct sip_lsnr*>(mem_deref(listener_));
  uag_event_unregister(&Callbacks::OnEvent);
  check_agent_ = static_cast<struct ua*>(mem_deref(check_agent_));
  agent_ = static_cast<struct ua*>(mem_deref(agent_));
  ua_close();
  conf_close();
  baresip_close();
  mod_close();
  libre_close();
}

bool Stack::Info(const struct sip_msg* message) {
  if (pl_strcmp(&message->met, "INFO") != 0 ||
      !msg_ctype_cmp(&message->ctyp, "application", "dtmf"))
    return false;
  const std::string id(message->callid.p, message->callid.l);
  struct call* call = uag_call_find(id.c_str());
  if (call == nullptr)
    return false;
  struct pl body;
  pl_set_mbuf(&body, message->mb);
  struct pl key;
  if (re_regex(body.p, body.l, "[0-9*#a-d]1", &key) != 0) {
    sip_reply(uag_sip(), message, 400, "Bad Request");
    return true;
  }
  sip_reply(uag_sip(), message, 200, "OK");
  PostCall(SipEvent::Kind::Dtmf, 0, call,
           std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(*key.p)))));
  return true;
}

void Stack::Handle(struct ua* agent, int event, struct call* call, std::string_view parameter) {
  switch (event) {
    case UA_EVENT_REGISTER_OK:
    case UA_EVENT_REGISTER_FAIL: {
      RegistrationAnswer answer{true, event == UA_EVENT_REGISTER_OK, StatusOf(parameter),
                                std::string(parameter)};
      Answered(agent, answer);
      return;
    }
    default:
      break;
  }
  if (call == nullptr)
    return;
  switch (event) {
    case UA_EVENT_CALL_INCOMING:
    case UA_EVENT_CALL_RINGING:
      PostCall(SipEvent::Kind::CallStatus, skype_call_status::kRinging, call, "");
      return;
    case UA_EVENT_CALL_ESTABLISHED:
      PostCall(SipEvent::Kind::CallStatus, skype_call_status::kInProgress, call, "");
      return;
    case UA_EVENT_CALL_CLOSED:
      PostCall(SipEvent::Kind::CallStatus, 0, call, "");
      return;
    case UA_EVENT_CALL_DTMF_START:
      PostCall(SipEvent::Kind::Dtmf, 0, call, std::string(parameter));
      return;
    default:
      return;
  }
}

void Stack::PostCall(SipEvent::Kind kind, std::int32_t status, struct call* call,
                     std::string code) {
  SipEvent out;
  out.kind = kind;
  const auto known = ids_.find(call);
  out.call = known != ids_.end() ? known->second : Adopt(call);
  out.outgoing = call_is_outgoing(call);
  out.partner = HandleOf(call_peeruri(call) ? call_peeruri(call) : "");
  out.code = std::move(code);
  out.status = status;
  if (kind == SipEvent::Kind::CallStatus && status == skype_call_status::kInProgress)
    established_.insert(out.call);
  if (kind == SipEvent::Kind::CallStatus && status == 0) {
    out.status = ClosedStatus(out.call, call_scode(call));
    established_.erase(out.call);
    calls_.erase(out.call);
    ids_.erase(call);
  }
  post_(std::move(out));
}

// A call that was up has finished, however it ended. One that never was: busy or declined
// is a refusal, anything else a failure; an incoming one the caller gave up is finished.
std::int32_t Stack::ClosedStatus(std::uint32_t call, std::uint16_t code) const {
  if (established_.count(call) != 0 || code == 0)
    return skype_call_status::kFinished;
  if (code == 486 || code == 600 || code == 603)
    return skype_call_status::kRefused;
  return code == 487 ? skype_call_status::kFinished : skype_call_status::kFailed;
}

// The answer an attachment or a check waits for completes it; later ones are changes the
// program hears of as the client's attachment status: lost, then available again.
void Stack::Answered(struct ua* agent, const RegistrationAnswer& answer) {
  if (agent != nullptr && agent == check_agent_) {
    check_.Complete(answer);
    return;
  }
  if (agent != agent_)
    return;
  const bool was_registered = registered_;
  registered_ = answer.registered;
  if (registration_.Complete(answer))
    return;
  if (was_registered && !answer.registered) {
    SipEvent lost;
    lost.status = skype_attachment_status::kNotAvailable;
    post_(std::move(lost));
  } else if (!was_registered && answer.registered) {
    SipEvent back;
    back.status = skype_attachment_status::kAvailable;
    post_(std::move(back));
  }
}

}  // namespace tavoro::platform::sip
