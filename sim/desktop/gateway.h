#pragma once
// Tavoro.exe at work between its two peers, as the call checks, the demo and the benchmarks
// under Wine all need it: a program folder of its own with a settings file, the Skype library
// stand-in registered with a starting state, the "X-Lite" stand-in running, and the program
// started and through its start-up. Everything is read from outside: texts of the main
// window's controls, the stand-ins' journals.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "desktop/desktop.h"
#include "desktop/peers.h"
#include "win32/win32_credential_store.h"
#include "xlite/log_clock.h"

namespace tavoro::e2e {

// The X-Lite log's clock.
using sim::xlite::UnixMilliseconds;
// A time of the Skype stand-in's journal (GetTickCount64, shared by every process of the
// machine) on the X-Lite log's clock, so the two can be laid side by side.
std::uint64_t JournalToUnixMilliseconds(std::uint64_t tick_ms);

// The settings of a gateway whose accepted caller is "alice" and whose forward goes to
// "home.user", the names the call checks and the demo use.
inline constexpr char kCallSettings[] =
    "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\n[Startup]\r\nWithWindows=0\r\n";

// A gateway whose remote side is the SIP account gw@127.0.0.1: it listens on 127.0.0.1:5070,
// registers as user gw at `registrar` ("host:port"; empty: it only listens), and accepts and
// forwards to the peer the checks play (SipPeer, "peer@127.0.0.1"). The password and the PIN
// are kept in the Credential Manager while the gateway object lives.
struct SipAccountSetup {
  std::string registrar;
  std::string password;
  std::string pin;
  // The caller accepted (AcceptFrom-1).
  std::string accepted = "peer@127.0.0.1";
};

class Gateway {
 public:
  // Copies Tavoro.exe with its help file and clip from TAVORO_E2E_BIN into `folder` (made
  // anew), writes `settings` as its setting.ini, registers the Skype stand-in with
  // `skype_setup` plus an audio input that is the capture device the X-Lite stand-in's ring
  // reaches (TAVORO_SOUND_MONITOR), and starts X-Lite. `ready()` tells whether all of it
  // worked; `problem()` says what did not.
  Gateway(const fs::path& folder, const std::string& settings, const std::string& skype_setup);
  // The same with a SIP account as the remote side, and no Skype stand-in: setting.ini gets
  // section [SIP], whose capture device is the one the X-Lite stand-in's ring reaches.
  Gateway(const fs::path& folder, const SipAccountSetup& sip);
  ~Gateway();
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  bool ready() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }

  // Starts Tavoro.exe and waits until its start-up is over: attached to the Skype stand-in
  // (or registered), X-Lite found ("待機中" in Text8). False, with `problem()` set, when it
  // did not get there.
  bool Start(milliseconds limit);
  // Only starts Tavoro.exe and waits for its main window, for checks of how start-up fails.
  bool Launch(milliseconds limit);

  Program& tavoro() { return *tavoro_; }
  // Only with the Skype stand-in.
  SkypeLibrary& skype() { return *skype_; }
  const SkypeLibrary& skype() const { return *skype_; }
  XLite& xlite() { return xlite_; }
  const XLite& xlite() const { return xlite_; }
  HWND main_window() const { return main_; }
  const fs::path& folder() const { return folder_; }

  // A control command to the stand-in inside Tavoro.exe ("ring alice", "dtmf 5", ...).
  bool Skype(std::string_view command) const;
  // The text of a control of the main window (ids from tavoro_windows.h).
  std::string Text(int control) const;
  bool WaitForText(int control, std::string_view text, milliseconds limit) const;
  // What the wait window says while start-up waits, or empty when none shows.
  std::string WaitCaption() const;
  // The level the main window's meter bar shows.
  int MeterLevel() const;
  // Waits until the journal holds at least `count` lines of `operation`.
  bool WaitForJournal(std::string_view operation, std::size_t count, milliseconds limit) const;
  // What went wrong on screen, if anything: the program ended, or a message box of it shows
  // (read and closed).
  std::optional<std::string> Trouble();

 private:
  fs::path folder_;
  std::string problem_;
  std::optional<SkypeLibrary> skype_;
  XLite xlite_;
  // Set with a SIP account, whose secrets are removed again at the end.
  std::optional<platform::win32::Win32CredentialStore> credentials_;
  std::optional<Program> tavoro_;
  HWND main_ = nullptr;
};

}  // namespace tavoro::e2e
