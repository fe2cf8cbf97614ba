#pragma once
// The remote SIP user of the checks: Debian's native baresip, which the harness runs on
// 127.0.0.1 (scripts/wine-env.sh, wine_sip_peer_ready) with the account peer@127.0.0.1. It is
// told what to do through its UDP console, like a person at its keyboard, and what happened to
// it is read back from its log, so nothing here depends on the gateway's insides.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/desktop.h"

namespace tavoro::e2e {

class SipPeer {
 public:
  // The peer the harness announces in TAVORO_SIP_PEER_CONSOLE ("host:port") and
  // TAVORO_SIP_PEER_LOG (its log, a Windows path); `available()` is false without them. Only
  // what the log gets from now on counts.
  SipPeer();
  ~SipPeer();
  SipPeer(const SipPeer&) = delete;
  SipPeer& operator=(const SipPeer&) = delete;

  bool available() const { return !console_.empty() && !log_.empty(); }

  // The peer as a caller is seen ("user@host"), and where it is called.
  static inline const std::string kUser = "peer@127.0.0.1";
  static inline const std::string kAddress = "peer@127.0.0.1:5080";

  // One console command ("/dial sip:gw@127.0.0.1:5070", "/accept", "/hangup"); true when sent.
  bool Command(std::string_view command) const;
  bool Dial(std::string_view address) const { return Command("/dial sip:" + std::string(address)); }
  bool Accept() const { return Command("/accept"); }
  // Ends the call, or refuses the one ringing.
  bool HangUp() const { return Command("/hangup"); }
  // Keys each code in turn as a keypad tone, paced as a person would. The peer sends tones
  // only while its sound flows, so wait for `Sounding` after a call is established.
  bool Key(std::string_view codes) const;

  // What the log tells, counted since the object was made or last `Skip`ped.
  enum class Event {
    Incoming,     // a call rings at the peer
    Established,  // a call is set up, either way
    EndedByFar,   // the far end ended a call: hung up, or gave up while it rang
    Sounding,     // the peer's own sound goes out in a call
  };
  std::size_t Count(Event event) const;
  bool WaitFor(Event event, std::size_t count, milliseconds limit) const;
  // Later counts begin here.
  void Skip();
  // The log's lines since then without the running statistics, for a failure's message.
  std::string Log() const;

 private:
  std::vector<std::string> Lines() const;

  std::string console_;
  fs::path log_;
  std::uintmax_t from_ = 0;
};

}  // namespace tavoro::e2e
