// What the real Tavoro.exe costs and how quickly it reacts, measured under Wine with the
// stand-ins, from another process (scripts/bench-wine.sh runs it; not a test: it prints
// figures and judges nothing):
//
//   keypad relay   from a keypad code sent to the Skype stand-in to the key in X-Lite's log,
//                  less the 300 ms of pauses the relay must make (three activations of 100 ms)
//   ring heard     from the X-Lite stand-in starting its ring to the gateway's PlaceCall
//   idle CPU       the gateway's share of one CPU while it listens to silence
//   memory         working set and private bytes as Windows reports them for the process
//
// Then the same gateway with a SIP account as its remote side, registered at a real registrar,
// its far end Debian's native baresip (SipPeer), where the harness runs them:
//
//   keypad relay   from the keypad code the peer is told to send (after the PIN) to the key in
//                  X-Lite's log, less the same 300 ms
//   ring heard     from the X-Lite stand-in starting its ring to the INVITE at the peer
//   no answer      from the INVITE at the peer to the gateway giving up (its CANCEL), once
//   idle CPU, memory as above, with the SIP stack's thread running
//
// The peer's log has no times: its lines are stamped when this program sees them, polling every
// 5 ms, so its figures are late by up to that.
//
// Environment: as for the end-to-end checkers (TAVORO_E2E_BIN, TAVORO_E2E_SIM,
// TAVORO_SOUND_MONITOR; for SIP TAVORO_SIP_PEER_CONSOLE, TAVORO_SIP_PEER_LOG and
// TAVORO_SIP_PROXY). Options: --keys N, --rings N, --idle SECONDS, --no-sip.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "desktop/gateway.h"
#include "desktop/sip_peer.h"
#include "desktop/tavoro_windows.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {
namespace {

// The pauses the relay must make before it types a key: three activations of 100 ms each.
constexpr std::int64_t kRelayPausesMs = 300;
constexpr milliseconds kAct{10000};
constexpr milliseconds kHearing{20000};
// The 45 s a called user has to answer, with room to spare.
constexpr milliseconds kUnanswered{70000};
const std::string kSipGateway = "gw@127.0.0.1:5070";
const std::string kSipPin = "2468";
// Silence reads 5 on the meter bar; a ring reads far above.
constexpr int kQuietLevel = 20;

struct Options {
  int keys = 20;
  int rings = 5;
  int idle_seconds = 10;
  bool sip = true;
};

struct Figures {
  std::vector<std::int64_t> samples;
  std::string note;
};

std::int64_t Median(std::vector<std::int64_t> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Row(const char* what, const Figures& figures, const char* unit) {
  if (figures.samples.empty()) {
    std::printf("%-44s %s\n", what, figures.note.c_str());
    return;
  }
  const auto [low, high] = std::minmax_element(figures.samples.begin(), figures.samples.end());
  std::printf("%-44s median %6lld %s   min %6lld   max %6lld   (n=%zu)%s%s\n", what,
              static_cast<long long>(Median(figures.samples)), unit, static_cast<long long>(*low),
              static_cast<long long>(*high), figures.samples.size(),
              figures.note.empty() ? "" : "  ", figures.note.c_str());
}

void Pause(milliseconds span) {
  WaitUntil([] { return false; }, span);
}

// The time of the softphone's newest log line that is `line`, or 0.
std::uint64_t LastLineTime(const fs::path& log, std::string_view line) {
  std::uint64_t found = 0;
  FILE* file = _wfopen(log.c_str(), L"rb");
  if (file == nullptr)
    return 0;
  char text[512];
  while (std::fgets(text, sizeof(text), file) != nullptr) {
    std::string entry(text);
    while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r'))
      entry.pop_back();
    const auto space = entry.find(' ');
    if (space != std::string::npos && std::string_view(entry).substr(space + 1) == line)
      found = std::stoull(entry.substr(0, space));
  }
  std::fclose(file);
  return found;
}

// Detection runs again after a restart: the bar falls back to silence once Timer1 ticks, and
// the warm-up's readings (100 ticks of 10 ms) must pass before a ring counts.
bool WaitUntilListening(const Gateway& gateway) {
  const bool ticking = WaitUntil(
      [&] {
        const int level = gateway.MeterLevel();
        return level > 0 && level < kQuietLevel;
      },
      kHearing);
  Pause(milliseconds(2000));
  return ticking;
}

Figures RingToPlaceCall(Gateway& gateway, int rings) {
  Figures figures;
  const fs::path log = gateway.folder() / L"xlite.log";
  for (int round = 1; round <= rings; ++round) {
    if (!WaitUntilListening(gateway)) {
      figures.note = "detection did not run again";
      break;
    }
    const std::size_t placed_before = gateway.skype().Journal("placecall").size();
    if (!gateway.xlite().Ring() ||
        !gateway.WaitForJournal("placecall", placed_before + 1, kHearing)) {
      figures.note = "ring " + std::to_string(round) + " was not heard";
      break;
    }
    const std::uint64_t placed =
        JournalToUnixMilliseconds(gateway.skype().Journal("placecall").back().ms);
    figures.samples.push_back(static_cast<std::int64_t>(placed - LastLineTime(log, "ringing")));
    // Silence first, so the restart after the refusal listens to a quiet line.
    gateway.xlite().Stop();
    // The refusal ends with Ctrl+H typed into the softphone; the next round starts after it.
    const std::size_t keys = gateway.xlite().Keys().size();
    gateway.Skype("refuse-outgoing");
    WaitUntil([&] { return gateway.xlite().Keys().size() > keys; }, kAct);
  }
  return figures;
}

Figures KeypadRelay(Gateway& gateway, int keys) {
  Figures figures;
  // A call answered while a refused forward's restart still runs would also end that
  // forward's wait as answered, and the softphone would get its keys too.
  WaitUntilListening(gateway);
  XLite& xlite = gateway.xlite();
  // Taking the call types Ctrl+H and Enter; the keys are timed only once those are in.
  const std::size_t ready = xlite.Keys().size() + 2;
  if (!gateway.Skype("ring alice INCOMING_P2P") || !gateway.WaitForJournal("answer", 1, kAct) ||
      !WaitUntil([&] { return xlite.Keys().size() >= ready; }, kAct)) {
    figures.note = "the caller was not answered";
    return figures;
  }
  const fs::path log = gateway.folder() / L"xlite.log";
  for (int key = 0; key < keys; ++key) {
    const std::string code(1, static_cast<char>('0' + key % 10));
    const std::size_t before = xlite.Keys().size();
    const std::uint64_t sent = UnixMilliseconds();
    if (!gateway.Skype("dtmf " + code) ||
        !WaitUntil([&] { return xlite.Keys().size() > before; }, kAct)) {
      figures.note = "key " + std::to_string(key + 1) + " did not arrive";
      break;
    }
    const std::uint64_t typed = LastLineTime(log, "key " + XLite::DigitKey(code[0]));
    figures.samples.push_back(static_cast<std::int64_t>(typed - sent) - kRelayPausesMs);
  }
  gateway.Skype("finish");
  return figures;
}

std::uint64_t CpuTime100ns(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!::GetProcessTimes(process, &created, &ended, &kernel, &user))
    return 0;
  auto value = [](const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return value(kernel) + value(user);
}

void IdleCpu(HANDLE process, int seconds, const char* what) {
  const std::uint64_t cpu_before = CpuTime100ns(process);
  const std::uint64_t wall_before = UnixMilliseconds();
  Pause(milliseconds(seconds * 1000));
  const std::uint64_t cpu = CpuTime100ns(process) - cpu_before;
  const std::uint64_t wall_ms = UnixMilliseconds() - wall_before;
  if (cpu_before == 0 && cpu == 0) {
    std::printf("%-44s not reported for another process here\n", what);
    return;
  }
  std::printf("%-44s %.2f %% of one CPU over %.1f s (%.0f ms of CPU)\n", what,
              100.0 * (cpu / 10000.0) / static_cast<double>(wall_ms), wall_ms / 1000.0,
              cpu / 10000.0);
}

void Memory(HANDLE process, const char* what) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
    std::printf("%-44s not reported (error %lu)\n", what, ::GetLastError());
    return;
  }
  constexpr double kMB = 1024.0 * 1024.0;
  std::printf("%-44s working set %.1f MB (peak %.1f MB), ", what, counters.WorkingSetSize / kMB,
              counters.PeakWorkingSetSize / kMB);
  // Private bytes are the commit charge, which Windows reports twice; Wine fills in only the
  // older field.
  const SIZE_T private_bytes =
      counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  if (private_bytes == 0)
    std::printf("private bytes not reported\n");
  else
    std::printf("private bytes %.1f MB\n", private_bytes / kMB);
}

// The gateway's process, for the figures Windows reports about it; null with the reason said.
HANDLE OpenGateway(Gateway& gateway) {
  const HANDLE process =
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, gateway.tavoro().id());
  if (process == nullptr)
    std::fprintf(stderr, "calls_bench: cannot open Tavoro.exe (error %lu)\n", ::GetLastError());
  return process;
}

// Whether the gateway ran through without a message or an end; says so when it did not.
bool RanThrough(Gateway& gateway) {
  const std::optional<std::string> trouble = gateway.Trouble();
  if (trouble)
    std::printf("the gateway did not run through: %s\n", trouble->c_str());
  return !trouble;
}

bool SkypePath(const Options& options) {
  Gateway gateway(fs::temp_directory_path() / L"tavoro-bench", kCallSettings,
                  "client running; attach success");
  if (!gateway.Start(milliseconds(20000))) {
    std::fprintf(stderr, "calls_bench: %s\n", gateway.problem().c_str());
    return false;
  }
  const HANDLE process = OpenGateway(gateway);
  if (process == nullptr)
    return false;
  std::printf("Tavoro.exe under Wine with the Skype stand-in, Windows process %lu\n",
              static_cast<unsigned long>(gateway.tavoro().id()));
  std::fflush(stdout);

  WaitUntilListening(gateway);
  // Announced, so that a script can watch the same span from the Linux side.
  std::printf("listening idle for %d s\n", options.idle_seconds);
  std::fflush(stdout);
  IdleCpu(process, options.idle_seconds, "CPU while listening");
  std::fflush(stdout);
  Memory(process, "memory while listening");
  std::fflush(stdout);
  Row("ring heard (ring start -> PlaceCall)", RingToPlaceCall(gateway, options.rings), "ms");
  std::fflush(stdout);
  Row("keypad relay beyond its 300 ms", KeypadRelay(gateway, options.keys), "ms");
  Memory(process, "memory after the calls");
  ::CloseHandle(process);
  return RanThrough(gateway);
}

// The time this program sees the peer's log tell `event` for the `count`th time, or 0.
std::uint64_t SeenAt(const SipPeer& peer, SipPeer::Event event, std::size_t count,
                     milliseconds limit) {
  return peer.WaitFor(event, count, limit) ? UnixMilliseconds() : 0;
}

Figures RingToInvite(Gateway& gateway, const SipPeer& peer, int rings) {
  Figures figures;
  const fs::path log = gateway.folder() / L"xlite.log";
  for (int round = 1; round <= rings; ++round) {
    if (!WaitUntilListening(gateway)) {
      figures.note = "detection did not run again";
      break;
    }
    const std::size_t invited = peer.Count(SipPeer::Event::Incoming);
    if (!gateway.xlite().Ring()) {
      figures.note = "X-Lite would not ring";
      break;
    }
    const std::uint64_t seen = SeenAt(peer, SipPeer::Event::Incoming, invited + 1, kHearing);
    if (seen == 0) {
      figures.note = "ring " + std::to_string(round) + " did not reach the peer";
      break;
    }
    figures.samples.push_back(static_cast<std::int64_t>(seen - LastLineTime(log, "ringing")));
    gateway.xlite().Stop();
    // The peer declines; the refusal ends with Ctrl+H typed into the softphone.
    const std::size_t keys = gateway.xlite().Keys().size();
    peer.HangUp();
    WaitUntil([&] { return gateway.xlite().Keys().size() > keys; }, kAct);
  }
  return figures;
}

Figures SipKeypadRelay(Gateway& gateway, const SipPeer& peer, int keys) {
  Figures figures;
  WaitUntilListening(gateway);
  XLite& xlite = gateway.xlite();
  const std::size_t ready = xlite.Keys().size() + 2;
  const std::size_t established = peer.Count(SipPeer::Event::Established);
  const std::size_t sounding = peer.Count(SipPeer::Event::Sounding);
  if (!peer.Dial(kSipGateway) ||
      !peer.WaitFor(SipPeer::Event::Established, established + 1, kAct) ||
      !WaitUntil([&] { return xlite.Keys().size() >= ready; }, kAct)) {
    figures.note = "the caller was not answered";
    return figures;
  }
  // The peer sends codes only while its sound flows; the PIN opens the relay.
  if (!peer.WaitFor(SipPeer::Event::Sounding, sounding + 1, kAct) || !peer.Key(kSipPin + "#")) {
    figures.note = "the peer could not key the PIN";
    peer.HangUp();
    return figures;
  }
  Pause(milliseconds(500));
  const fs::path log = gateway.folder() / L"xlite.log";
  for (int key = 0; key < keys; ++key) {
    const std::string code(1, static_cast<char>('0' + key % 10));
    const std::size_t before = xlite.Keys().size();
    const std::uint64_t sent = UnixMilliseconds();
    if (!peer.Command(code) || !WaitUntil([&] { return xlite.Keys().size() > before; }, kAct)) {
      figures.note = "key " + std::to_string(key + 1) + " did not arrive";
      break;
    }
    const std::uint64_t typed = LastLineTime(log, "key " + XLite::DigitKey(code[0]));
    figures.samples.push_back(static_cast<std::int64_t>(typed - sent) - kRelayPausesMs);
  }
  peer.HangUp();
  return figures;
}

Figures NoAnswer(Gateway& gateway, const SipPeer& peer) {
  Figures figures;
  const std::size_t invited = peer.Count(SipPeer::Event::Incoming);
  const std::size_t ended = peer.Count(SipPeer::Event::EndedByFar);
  if (!WaitUntilListening(gateway) || !gateway.xlite().Ring()) {
    figures.note = "the ring did not start";
    return figures;
  }
  const std::uint64_t invite = SeenAt(peer, SipPeer::Event::Incoming, invited + 1, kHearing);
  gateway.xlite().Stop();
  const std::uint64_t cancel =
      invite == 0 ? 0 : SeenAt(peer, SipPeer::Event::EndedByFar, ended + 1, kUnanswered);
  if (cancel == 0)
    figures.note = invite == 0 ? "the ring did not reach the peer" : "the gateway never gave up";
  else
    figures.samples.push_back(static_cast<std::int64_t>(cancel - invite));
  return figures;
}

bool SipPath(const Options& options) {
  SipPeer peer;
  // The account's service (Kamailio): the registrar, and the proxy the gateway's own calls go
  // through.
  const std::string registrar = platform::win32::Narrow(Environment(L"TAVORO_SIP_PROXY"));
  if (!peer.available() || registrar.empty()) {
    std::printf("SIP: no peer or service here (TAVORO_SIP_PEER_CONSOLE, TAVORO_SIP_PROXY)\n");
    return true;
  }
  Gateway gateway(fs::temp_directory_path() / L"tavoro-bench-sip",
                  SipAccountSetup{registrar, "right-password", kSipPin});
  if (!gateway.Start(milliseconds(30000))) {
    std::fprintf(stderr, "calls_bench: SIP: %s\n", gateway.problem().c_str());
    return false;
  }
  const HANDLE process = OpenGateway(gateway);
  if (process == nullptr)
    return false;
  std::printf(
      "Tavoro.exe under Wine with a SIP account (registered through %s), Windows process %lu\n",
      registrar.c_str(), static_cast<unsigned long>(gateway.tavoro().id()));
  std::fflush(stdout);
  WaitUntilListening(gateway);
  IdleCpu(process, options.idle_seconds, "SIP: CPU while listening");
  Memory(process, "SIP: memory while listening");
  std::fflush(stdout);
  Row("SIP: ring heard (ring start -> INVITE)", RingToInvite(gateway, peer, options.rings), "ms");
  std::fflush(stdout);
  Row("SIP: keypad relay beyond its 300 ms", SipKeypadRelay(gateway, peer, options.keys), "ms");
  std::fflush(stdout);
  Row("SIP: no answer (INVITE -> CANCEL)", NoAnswer(gateway, peer), "ms");
  Memory(process, "SIP: memory after the calls");
  ::CloseHandle(process);
  return RanThrough(gateway);
}

int Run(const Options& options) {
  if (Environment(L"TAVORO_E2E_BIN").empty()) {
    std::fprintf(stderr, "calls_bench: TAVORO_E2E_BIN is not set (run scripts/bench-wine.sh)\n");
    return 2;
  }
  bool ran_through = SkypePath(options);
  std::fflush(stdout);
  if (options.sip)
    ran_through = SipPath(options) && ran_through;
  return ran_through ? 0 : 1;
}

}  // namespace
}  // namespace tavoro::e2e

int wmain(int argc, wchar_t** argv) {
  tavoro::e2e::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    const bool has_value = i + 1 < argc;
    const int value = has_value ? std::wcstol(argv[i + 1], nullptr, 10) : 0;
    if (option == L"--no-sip") {
      options.sip = false;
      continue;
    }
    if (has_value && value > 0 && option == L"--keys") {
      options.keys = value;
    } else if (has_value && value > 0 && option == L"--rings") {
      options.rings = value;
    } else if (has_value && value > 0 && option == L"--idle") {
      options.idle_seconds = value;
    } else {
      std::fprintf(stderr,
                   "usage: calls_bench [--keys N] [--rings N] [--idle SECONDS] [--no-sip]\n");
      return 2;
    }
    ++i;
  }
  return tavoro::e2e::Run(options);
}
