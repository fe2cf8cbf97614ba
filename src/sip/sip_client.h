#pragma once
// A SIP account as the remote side, behind the same contract as the Skype client: a user agent
// of its own (libre and baresip) registers the account, or only listens where no registrar is
// set, takes and places calls and reports keypad codes.
//
// The stack's loop runs on a thread of its own. Its events reach the sink on the window thread,
// in order, as posted window messages, exactly when the Skype client's would: while the thread
// pumps. Operations are handed to the stack's thread and awaited there; none of them raises an
// event inside itself.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/call_client.h"
#include "settings/sip_settings.h"
#include "win32/win32_event_loop.h"

namespace tavoro::platform::sip {

using win32::Win32EventLoop;

struct SipAccount {
  // The account's address, "user@domain" (a leading "sip:" is allowed).
  std::string address;
  // Where the account registers, "host[:port]"; empty: no registration, only listening.
  std::string registrar;
  // The name the registrar authenticates; empty: the address's user.
  std::string user;
  std::string password;
  // The SIP port the user agent listens on.
  std::uint16_t port = 5060;
  // The local address the agent binds and offers; empty: the system chooses.
  std::string interface_address;
  // WinMM device names for the call's sound; empty: the system's default devices.
  std::string capture_device;
  std::string playback_device;
};

// The account the settings describe, with the password kept for it.
SipAccount AccountFrom(const settings::SipSettings& sip, std::string password);

// Registers the account `sip` describes once and reports how it went: on the gateway's own
// stack when its client runs in this process (a second agent for the moment), else on a stack
// of its own that listens on a port of the system's choosing and is gone again afterwards.
// Waits at most `limit` for the registrar.
settings::RegistrationResult CheckRegistration(
    const settings::SipSettings& sip, const std::string& password,
    std::chrono::milliseconds limit = std::chrono::seconds(15));

// The loop must outlive the client. Nothing is started before the first Attach.
std::shared_ptr<CallClient> CreateSipClient(Win32EventLoop& loop, SipAccount account);

}  // namespace tavoro::platform::sip
