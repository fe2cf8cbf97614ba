#pragma once
// The SIP stack under the client and the registration check: libre's loop on a thread of its
// own with the gateway's user agent, and the account text that agent is made from. Used only
// inside src/sip.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "settings/sip_settings.h"
#include "sip/sip_client.h"
#include "win32/owned_handles.h"

struct ua;
struct call;
struct sip_lsnr;
struct sip_msg;
struct mqueue;

namespace tavoro::platform::sip {

// What crossed from the stack's thread to the window thread.
struct SipEvent {
  enum class Kind { Attachment, CallStatus, Dtmf } kind = Kind::Attachment;
  std::int32_t status = 0;
  std::uint32_t call = 0;
  bool outgoing = false;
  std::string partner;
  std::string code;
};

// "sip:alice@example.org:5070;transport=udp" is "alice@example.org": the address as screening
// compares it, without scheme, port, parameters or display name.
std::string HandleOf(std::string_view uri);

// "sip:" and `address`, unless it starts so already.
std::string SipUri(std::string_view address);

// Why the account cannot be given to the stack as it stands (empty: it can): the address and
// the user name go into texts the stack parses, where some characters would end them early.
std::string AccountProblem(const SipAccount& account);

// What the registrar answered; `status` 0 when nothing did.
struct RegistrationAnswer {
  bool answered = false;
  bool registered = false;
  int status = 0;
  // The stack's words: "403 Forbidden", or the system's text when no answer came.
  std::string text;
};

// The device names winwave looks for, as it reads them (the ANSI product name), for the
// program's names; empty: no such device, winwave takes the system's default.
std::string WinwaveCaptureName(const std::string& device);
std::string WinwavePlaybackName(const std::string& device);

// The name of the system's default capture device (device 0), as the program names devices.
std::string DefaultCaptureDevice();

class Stack {
 public:
  using Post = std::function<void(SipEvent)>;

  // `agent`: false for a stack that only carries registration checks, on a port of the
  // system's choosing.
  Stack(SipAccount account, bool agent, Post post);
  ~Stack();
  Stack(const Stack&) = delete;
  Stack& operator=(const Stack&) = delete;

  // Starts the thread and the agent; the error text when the agent cannot listen.
  std::string Start();
  void Stop();

  // Runs `work` on the stack's thread and waits for it; false when it did not run in time.
  bool Run(std::function<void()> work);

  // Registers the agent anew unless it is registered already, and waits for the registrar.
  RegistrationAnswer Register(DWORD limit_ms);

  // Registers `account` once with a second, temporary agent on this stack, then removes it.
  RegistrationAnswer Check(const SipAccount& account, DWORD limit_ms);

  // The started stack with the gateway's agent in this process, if any. On the window thread,
  // which starts and stops stacks.
  static Stack* Running();

  // On the stack's thread.
  struct ua* agent() const {
    return agent_;
  }
  struct call* Find(std::uint32_t id) const;
  std::uint32_t Adopt(struct call* call);

 private:
  struct Job;
  // One registration being waited for.
  struct Attempt {
    Attempt();
    void Begin();
    // True when it completed the attempt waited for.
    bool Complete(const RegistrationAnswer& answer);
    RegistrationAnswer Await(DWORD limit_ms);

    win32::Owned<HANDLE, &::CloseHandle> done;
    std::mutex mutex;
    bool pending = false;
    RegistrationAnswer answer;
  };

  static DWORD WINAPI ThreadMain(void* self);
  std::string Configuration() const;
  void Main();
  std::string Open();
  void Close();
  // The stack's callbacks, which reach the members below.
  friend struct Callbacks;
  void Handle(struct ua* agent, int event, struct call* call, std::string_view parameter);
  bool Info(const struct sip_msg* message);
  void Answered(struct ua* agent, const RegistrationAnswer& answer);
  std::int32_t ClosedStatus(std::uint32_t call, std::uint16_t code) const;
  void PostCall(SipEvent::Kind kind, std::int32_t status, struct call* call, std::string code);

  SipAccount account_;
  bool with_agent_;
  Post post_;
  win32::Owned<HANDLE, &::CloseHandle> thread_;
  win32::Owned<HANDLE, &::CloseHandle> started_;
  std::string start_error_;
  std::mutex queue_mutex_;
  struct mqueue* queue_ = nullptr;
  bool opened_ = false;
  bool owns_globals_ = false;
  struct ua* agent_ = nullptr;
  struct sip_lsnr* listener_ = nullptr;
  Attempt registration_;
  // The agent's registration as last answered, for the changes the program hears of.
  bool registered_ = false;
  struct ua* check_agent_ = nullptr;
  Attempt check_;
  std::map<std::uint32_t, struct call*> calls_;
  std::map<const struct call*, std::uint32_t> ids_;
  std::set<std::uint32_t> established_;
  std::uint32_t next_id_ = 1;
};

}  // namespace tavoro::platform::sip
