// The demo's player (scripts/demo.sh runs it under Wine): starts X-Lite and Tavoro.exe with the
// Skype library stand-in, or with a SIP account whose far end is a real SIP program, plays both
// directions of a call with pauses a person can follow, takes screenshots of the two windows at
// the key moments, and ends with a timeline that lays what the remote side, Tavoro and X-Lite
// each saw side by side, and a verdict.
//
//   demo_driver.exe OUTDIR [--pace MS] [--sip]
//
// OUTDIR (a Windows path) receives program\ (Tavoro.exe, its setting.ini and the stand-ins'
// journals), NN-name.bmp screenshots and timeline.txt. Progress goes to the standard output
// as it happens, in UTF-8. Exit code 0 when both directions worked.
//
// The timeline's Skype lines come from the library stand-in's journal and its X-Lite lines
// from the softphone's log, both stamped when they happened. Tavoro's lines are its status
// texts read from outside, as any other program would read them, so a change shows when
// Tavoro next takes messages: up to one of its 100 ms pauses after it was made. The SIP peer's
// log has no times: its lines are stamped when the player sees them, within a few milliseconds.
//
// Environment: as for the end-to-end checkers (TAVORO_E2E_BIN, TAVORO_E2E_SIM,
// TAVORO_SOUND_MONITOR); with --sip also TAVORO_SIP_PEER_CONSOLE, TAVORO_SIP_PEER_LOG and
// TAVORO_SIP_PROXY, as scripts/demo.sh --sip sets them.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/gateway.h"
#include "desktop/sip_peer.h"
#include "desktop/tavoro_windows.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {
namespace {

using platform::win32::Narrow;

constexpr milliseconds kAct{10000};
constexpr milliseconds kHearing{20000};

// The SIP set-up: the gateway's account, which the peer calls at the account's service, and
// the PIN its callers key.
const std::string kSipAccount = "gw";
const std::string kSipPin = "2468";

struct Entry {
  std::uint64_t ms;
  std::string who;
  std::string what;
};

const char* StatusName(const std::string& status) {
  static const std::map<std::string, const char*> kNames{
      {"0", "UNPLACED"}, {"1", "ROUTING"},    {"2", "EARLYMEDIA"}, {"3", "FAILED"},
      {"4", "RINGING"},  {"5", "INPROGRESS"}, {"6", "ONHOLD"},     {"7", "FINISHED"},
      {"8", "MISSED"},   {"9", "REFUSED"},    {"10", "BUSY"},      {"11", "CANCELLED"}};
  const auto found = kNames.find(status);
  return found == kNames.end() ? "?" : found->second;
}

// What the Skype side saw, in words: what Tavoro did to the library and the events it got.
// Conversions and reads of call properties are left out; they only say how it asked.
std::optional<std::string> Describe(const SkypeLibrary::Line& line) {
  auto field = [&](const char* key) {
    const auto found = line.fields.find(key);
    return found == line.fields.end() ? std::string() : found->second;
  };
  const std::string& op = line.operation;
  if (op == "attach")
    return "Tavoro attaches to the client: " + field("outcome");
  if (op == "answer")
    return "Tavoro answers call " + field("call");
  if (op == "placecall")
    return "Tavoro calls " + field("target") + " (call " + field("call") + ")";
  if (op == "finish")
    return "Tavoro ends call " + field("call");
  if (op != "event")
    return std::nullopt;
  if (field("name") == "CallStatus")
    return "call " + field("call") + " is " + StatusName(field("status"));
  if (field("name") == "CallDtmfReceived")
    return "call " + field("call") + ": keypad \"" + field("code") + "\"";
  return std::nullopt;
}

class Demo {
 public:
  // With `peer`, the remote side is a SIP account and the peer its far end.
  Demo(Gateway& gateway, const SipPeer* peer, milliseconds pace, fs::path out)
      : gateway_(gateway),
        peer_(peer),
        pace_(pace),
        out_(std::move(out)),
        start_(UnixMilliseconds()) {}

  // A step of the play, shown at once.
  void Say(const std::string& text) {
    Add("demo", text);
    std::printf("%7.1f s  %s\n", (UnixMilliseconds() - start_) / 1000.0, text.c_str());
    std::fflush(stdout);
  }

  bool Wait(const std::function<bool()>& done, milliseconds limit) {
    return WaitUntil(
        [&] {
          Watch();
          return done();
        },
        limit);
  }
  void Pause(milliseconds span) {
    Wait([] { return false; }, span);
  }
  void Pause() { Pause(pace_); }

  bool Skype(const std::string& command) { return gateway_.Skype(command); }
  std::size_t XLiteSaid(const std::string& line) const {
    const auto lines = gateway_.xlite().Lines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  // The keys X-Lite passed over (text instead of keys, keys of another layout), for a failure
  // to say why.
  std::string XLiteIgnored() const {
    std::string ignored;
    for (const std::string& key : gateway_.xlite().Keys()) {
      if (key.ends_with(" ignored"))
        ignored += (ignored.empty() ? "" : ", ") + key;
    }
    return ignored.empty() ? "none" : ignored;
  }
  std::size_t Journaled(std::string_view operation) const {
    return gateway_.skype().Journal(operation).size();
  }

  void Arrange();
  // Both windows, or with `main_only` Tavoro's main window alone.
  void Shot(const std::string& name, bool main_only = false);
  // The whole story in time order, printed and written to timeline.txt.
  void Timeline();

 private:
  void Add(const std::string& who, const std::string& what) {
    entries_.push_back({UnixMilliseconds(), who, what});
  }
  // Tavoro's side: its status texts as they change, under the captions it shows beside them;
  // and with SIP, what the peer's log tells as it comes.
  void Watch() {
    struct Shown {
      int control;
      int caption;  // 0: the caption never changes
      const char* label;
    };
    static const Shown kShown[] = {{frmMain::Text4, frmMain::Label3, ""},
                                   {frmMain::Text7, frmMain::Label11, ""},
                                   {frmMain::Text3, 0, "プッシュトーン検出"},
                                   {frmMain::Text8, 0, "X-Liteの状態"}};
    for (const auto& [control, caption, label] : kShown) {
      std::string text = gateway_.Text(control);
      if (text != shown_[control]) {
        Add("Tavoro", (caption != 0 ? gateway_.Text(caption) : label) + ": " + text);
        shown_[control] = std::move(text);
      }
    }
    if (peer_ == nullptr)
      return;
    static const std::pair<SipPeer::Event, const char*> kTold[] = {
        {SipPeer::Event::Incoming, "a call rings (INVITE in)"},
        {SipPeer::Event::Established, "the call is established"},
        {SipPeer::Event::EndedByFar, "the far end ended the call"}};
    for (const auto& [event, words] : kTold) {
      const std::size_t count = peer_->Count(event);
      for (std::size_t& told = told_[event]; told < count; ++told)
        Add("peer", words);
    }
  }

  Gateway& gateway_;
  const SipPeer* peer_;
  milliseconds pace_;
  fs::path out_;
  std::uint64_t start_;
  std::vector<Entry> entries_;
  std::map<int, std::string> shown_;
  std::map<SipPeer::Event, std::size_t> told_;
  int shots_ = 0;
};

// X-Lite on the left and Tavoro beside it, so one picture shows both.
void Demo::Arrange() {
  RECT phone{};
  ::GetWindowRect(gateway_.xlite().window(), &phone);
  ::SetWindowPos(gateway_.main_window(), nullptr, phone.right + 20, phone.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The part of the screen that holds the windows, as a 24-bit BMP.
void Demo::Shot(const std::string& name, bool main_only) {
  RECT phone{}, main{}, area{};
  ::GetWindowRect(gateway_.xlite().window(), &phone);
  ::GetWindowRect(gateway_.main_window(), &main);
  ::UnionRect(&area, main_only ? &main : &phone, &main);
  ::InflateRect(&area, 12, 12);
  const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::IntersectRect(&area, &area, &screen);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  // Whatever was just typed or set is on screen before the picture is taken.
  Pause(milliseconds(150));

  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const HDC screen_dc = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen_dc);
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(screen_dc, reinterpret_cast<BITMAPINFO*>(&header),
                                            DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen_dc, area.left, area.top, SRCCOPY);
  ::GdiFlush();
  const std::size_t size = static_cast<std::size_t>((width * 3 + 3) & ~3) * height;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = static_cast<DWORD>(file.bfOffBits + size);

  char number[8];
  std::snprintf(number, sizeof(number), "%02d-", ++shots_);
  const fs::path path = out_ / (number + name + ".bmp");
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&header), sizeof(header));
  out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(size));
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen_dc);
  Add("demo", "screenshot " + Narrow(path.stem().wstring()));
}

void Demo::Timeline() {
  std::vector<Entry> all = entries_;
  for (const auto& line :
       peer_ != nullptr ? std::vector<SkypeLibrary::Line>() : gateway_.skype().Journal()) {
    if (const auto what = Describe(line))
      all.push_back({JournalToUnixMilliseconds(line.ms), "Skype", *what});
  }
  std::ifstream log(gateway_.folder() / L"xlite.log", std::ios::binary);
  for (std::string text; std::getline(log, text);) {
    const auto space = text.find(' ');
    if (space != std::string::npos)
      all.push_back({std::stoull(text.substr(0, space)), "X-Lite", text.substr(space + 1)});
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const Entry& a, const Entry& b) { return a.ms < b.ms; });
  std::ostringstream shown;
  shown << "   time    who     what\n";
  for (const Entry& entry : all) {
    if (entry.ms < start_)
      continue;
    char time[32];
    std::snprintf(time, sizeof(time), "%7.3f s", (entry.ms - start_) / 1000.0);
    shown << time << "  " << entry.who
          << std::string(8 - std::min<std::size_t>(7, entry.who.size()), ' ') << entry.what << "\n";
  }
  std::ofstream(out_ / L"timeline.txt", std::ios::binary) << shown.str();
  std::printf("\n%s", shown.str().c_str());
  std::fflush(stdout);
}

// Skype to the home line: an accepted caller keys a number that X-Lite dials.
std::string SkypeToHomeLine(Demo& demo) {
  demo.Say("(a) Skype -> home line: alice calls the gateway's Skype account");
  if (!demo.Skype("ring alice INCOMING_P2P"))
    return "the Skype stand-in took no call";
  if (!demo.Wait([&] { return demo.Journaled("answer") >= 1; }, kAct))
    return "Tavoro did not answer alice";
  demo.Say("Tavoro readied X-Lite and answered; alice keys 0312345678# on the dial pad");
  demo.Shot("alice-answered");
  demo.Pause();
  for (const char code : std::string("0312345678#")) {
    if (!demo.Skype(std::string("dtmf ") + code))
      return "the Skype stand-in took no keypad code";
    demo.Pause(milliseconds(350));  // about how fast a person keys
  }
  if (!demo.Wait([&] { return demo.XLiteSaid("dialled 0312345678") == 1; }, kAct))
    return "X-Lite did not dial 0312345678 (keys it ignored: " + demo.XLiteIgnored() + ")";
  demo.Say("X-Lite dialled 0312345678: alice talks on the home line");
  demo.Shot("number-dialled");
  demo.Pause();
  demo.Pause();
  demo.Say("alice hangs up on Skype");
  if (!demo.Skype("finish"))
    return "the Skype stand-in could not end the call";
  if (!demo.Wait([&] { return demo.XLiteSaid("hung up") == 1; }, kAct))
    return "X-Lite was not hung up after alice's call";
  demo.Say("Tavoro hung X-Lite up and listens to the home line again");
  demo.Shot("alice-hung-up");
  return "";
}

// The home line to Skype: X-Lite's ring is heard and forwarded to the Skype user.
std::string HomeLineToSkype(Demo& demo, Gateway& gateway) {
  // Detection comes back 3 s after a call, then warms up for about a second.
  demo.Pause(milliseconds(4500));
  demo.Say("(b) home line -> Skype: the home line rings, X-Lite rings");
  if (!gateway.xlite().Ring())
    return "X-Lite would not ring";
  if (!demo.Wait([&] { return demo.Journaled("placecall") >= 1; }, kHearing))
    return "Tavoro did not hear X-Lite ring";
  const auto placed = gateway.skype().Journal("placecall").front().fields;
  if (placed.count("target") == 0 || placed.at("target") != "home.user")
    return "Tavoro called someone other than home.user";
  demo.Say("Tavoro heard the ring and calls home.user on Skype");
  demo.Shot("forwarding");
  demo.Pause();
  demo.Say("home.user answers on Skype");
  if (!demo.Skype("answer-outgoing"))
    return "the Skype stand-in had no call to answer";
  if (!demo.Wait([&] { return demo.XLiteSaid("answered") == 1; }, kAct))
    return "X-Lite did not take the home-line call";
  demo.Say("Tavoro took the call on X-Lite: the caller and home.user are joined");
  demo.Shot("bridged");
  demo.Pause();
  demo.Pause();
  demo.Say("home.user hangs up on Skype");
  if (!demo.Skype("finish"))
    return "the Skype stand-in could not end the call";
  if (!demo.Wait([&] { return demo.XLiteSaid("hung up") == 2; }, kAct))
    return "X-Lite was not hung up after the forwarded call";
  demo.Say("Tavoro hung X-Lite up");
  demo.Shot("home-call-ended");
  demo.Pause();
  return "";
}

// The peer keys `codes` as a person would, while the play goes on watching.
bool Key(Demo& demo, const SipPeer& peer, const std::string& codes) {
  for (const char code : codes) {
    if (!peer.Command(std::string(1, code)))
      return false;
    demo.Pause(milliseconds(350));
  }
  return true;
}

// A SIP caller to the home line: the peer calls the gateway's account, keys the PIN, then a
// number that X-Lite dials.
std::string SipToHomeLine(Demo& demo, const SipPeer& peer, const std::string& service) {
  const std::string account = kSipAccount + "@" + service;
  demo.Say("(a) SIP -> home line: peer@127.0.0.1 calls the gateway's account " + account +
           ", which the service hands to the registered gateway");
  if (!peer.Dial(account))
    return "the SIP peer took no command";
  if (!demo.Wait([&] { return peer.Count(SipPeer::Event::Established) >= 1; }, kAct))
    return "Tavoro did not answer the peer";
  demo.Say("Tavoro readied X-Lite and answered; the peer keys the PIN " + kSipPin + " and #");
  demo.Shot("peer-answered");
  demo.Shot("sip-main-window", true);
  // The peer sends keypad codes only while its sound flows.
  if (!demo.Wait([&] { return peer.Count(SipPeer::Event::Sounding) >= 1; }, kAct))
    return "the peer's sound did not flow";
  if (!Key(demo, peer, kSipPin + "#"))
    return "the SIP peer took no keypad code";
  demo.Say("the PIN is taken; the peer keys 0312345678#");
  if (!Key(demo, peer, "0312345678#"))
    return "the SIP peer took no keypad code";
  if (!demo.Wait([&] { return demo.XLiteSaid("dialled 0312345678") == 1; }, kAct))
    return "X-Lite did not dial 0312345678 (keys it ignored: " + demo.XLiteIgnored() + ")";
  demo.Say("X-Lite dialled 0312345678: the peer talks on the home line");
  demo.Shot("number-dialled");
  demo.Pause();
  demo.Say("the peer hangs up");
  if (!peer.HangUp())
    return "the SIP peer took no command";
  if (!demo.Wait([&] { return demo.XLiteSaid("hung up") == 1; }, kAct))
    return "X-Lite was not hung up after the peer's call";
  demo.Say("Tavoro hung X-Lite up and listens to the home line again");
  demo.Shot("peer-hung-up");
  return "";
}

// The home line to SIP: X-Lite's ring is heard and forwarded to the peer, who answers.
std::string HomeLineToSip(Demo& demo, Gateway& gateway, const SipPeer& peer) {
  // Detection comes back 3 s after a call, then warms up for about a second.
  demo.Pause(milliseconds(4500));
  demo.Say("(b) home line -> SIP: the home line rings, X-Lite rings");
  if (!gateway.xlite().Ring())
    return "X-Lite would not ring";
  if (!demo.Wait([&] { return peer.Count(SipPeer::Event::Incoming) >= 1; }, kHearing))
    return "Tavoro did not call the peer";
  demo.Say("Tavoro heard the ring and calls peer@127.0.0.1: the peer rings");
  demo.Shot("forwarding");
  demo.Pause();
  demo.Say("the peer answers");
  if (!peer.Accept())
    return "the SIP peer took no command";
  if (!demo.Wait([&] { return demo.XLiteSaid("answered") == 1; }, kAct))
    return "X-Lite did not take the home-line call";
  demo.Say("Tavoro took the call on X-Lite: the caller and the peer are joined");
  demo.Shot("bridged");
  demo.Pause();
  demo.Pause();
  demo.Say("the peer hangs up");
  if (!peer.HangUp())
    return "the SIP peer took no command";
  if (!demo.Wait([&] { return demo.XLiteSaid("hung up") == 2; }, kAct))
    return "X-Lite was not hung up after the forwarded call";
  demo.Say("Tavoro hung X-Lite up");
  demo.Shot("home-call-ended");
  demo.Pause();
  return "";
}

int Run(const fs::path& out, milliseconds pace, bool sip) {
  std::error_code ignored;
  fs::create_directories(out, ignored);
  // Made before the gateway starts, so everything its log gets from then on counts.
  std::optional<SipPeer> peer;
  if (sip)
    peer.emplace();
  // The account's service (Kamailio): its registrar, and the proxy its calls go through both
  // ways.
  const std::string registrar = Narrow(Environment(L"TAVORO_SIP_PROXY"));
  if (sip && (!peer->available() || registrar.empty())) {
    std::printf(
        "demo: FAILED: no SIP peer or registrar (TAVORO_SIP_PEER_CONSOLE, "
        "TAVORO_SIP_PEER_LOG, TAVORO_SIP_PROXY)\n");
    return 1;
  }
  std::optional<Gateway> gateway;
  if (sip)
    gateway.emplace(out / L"program", SipAccountSetup{registrar, "right-password", kSipPin});
  else
    gateway.emplace(out / L"program", kCallSettings, "client running; attach success");
  if (!gateway->ready() || !gateway->Start(milliseconds(30000))) {
    std::printf("demo: FAILED: %s\n", gateway->problem().c_str());
    return 1;
  }
  Demo demo(*gateway, sip ? &*peer : nullptr, pace, out);
  demo.Arrange();
  if (sip)
    demo.Say("X-Lite and Tavoro run; Tavoro registered " + kSipAccount + " at the service " +
             registrar + " with digest authentication, and waits");
  else
    demo.Say("X-Lite and Tavoro run; Tavoro is attached to Skype and waits");
  demo.Shot("started");
  demo.Pause();

  std::vector<std::string> failures;
  const std::string first = sip ? SipToHomeLine(demo, *peer, registrar) : SkypeToHomeLine(demo);
  if (!first.empty())
    failures.push_back("(a) " + first);
  const std::string second =
      sip ? HomeLineToSip(demo, *gateway, *peer) : HomeLineToSkype(demo, *gateway);
  if (!second.empty())
    failures.push_back("(b) " + second);
  if (const auto trouble = gateway->Trouble())
    failures.push_back("Tavoro: " + *trouble);
  demo.Timeline();

  if (failures.empty()) {
    std::printf(sip ? "\ndemo: both directions worked over SIP\n"
                    : "\ndemo: both directions worked\n");
    return 0;
  }
  for (const std::string& failure : failures)
    std::printf("\ndemo: FAILED: %s", failure.c_str());
  std::printf("\n");
  return 1;
}

}  // namespace
}  // namespace tavoro::e2e

int wmain(int argc, wchar_t** argv) {
  using namespace std::chrono;
  milliseconds pace(1500);
  bool sip = false;
  bool understood = argc >= 2;
  for (int i = 2; understood && i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--sip") {
      sip = true;
    } else if (option == L"--pace" && i + 1 < argc && std::wcstol(argv[i + 1], nullptr, 10) > 0) {
      pace = milliseconds(std::wcstol(argv[++i], nullptr, 10));
    } else {
      understood = false;
    }
  }
  if (!understood) {
    std::fprintf(stderr, "usage: demo_driver OUTDIR [--pace MS] [--sip]\n");
    return 2;
  }
  return tavoro::e2e::Run(argv[1], pace, sip);
}
