// The demo's player (scripts/demo.sh runs it under Wine): starts X-Lite and Tavoro.exe with the
// Skype library stand-in, plays both directions of a call with pauses a person can follow,
// takes screenshots of the two windows at the key moments, and ends with a timeline that lays
// what Skype, Tavoro and X-Lite each saw side by side, and a verdict.
//
//   demo_driver.exe OUTDIR [--pace MS]
//
// OUTDIR (a Windows path) receives program\ (Tavoro.exe, its setting.ini and the stand-ins'
// journals), NN-name.bmp screenshots and timeline.txt. Progress goes to the standard output
// as it happens, in UTF-8. Exit code 0 when both directions worked.
//
// The timeline's Skype lines come from the library stand-in's journal and its X-Lite lines
// from the softphone's log, both stamped when they happened. Tavoro's lines are its status
// texts read from outside, as any other program would read them, so a change shows when
// Tavoro next takes messages: up to one of its 100 ms pauses after it was made.
//
// Environment: as for the end-to-end checkers (TAVORO_E2E_BIN, TAVORO_E2E_SIM,
// TAVORO_SOUND_MONITOR).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/gateway.h"
#include "desktop/tavoro_windows.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {
namespace {

using platform::win32::Narrow;

constexpr milliseconds kAct{10000};
constexpr milliseconds kHearing{20000};

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
  Demo(Gateway& gateway, milliseconds pace, fs::path out)
      : gateway_(gateway), pace_(pace), out_(std::move(out)), start_(UnixMilliseconds()) {}

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
  void Shot(const std::string& name);
  // The whole story in time order, printed and written to timeline.txt.
  void Timeline();

 private:
  void Add(const std::string& who, const std::string& what) {
    entries_.push_back({UnixMilliseconds(), who, what});
  }
  // Tavoro's side: its status texts as they change.
  void Watch() {
    static const std::pair<int, const char*> kShown[] = {{frmMain::Text4, "Skypeの状態"},
                                                         {frmMain::Text7, "Skype呼び出し元"},
                                                         {frmMain::Text3, "プッシュトーン検出"},
                                                         {frmMain::Text8, "X-Liteの状態"}};
    for (const auto& [control, label] : kShown) {
      std::string text = gateway_.Text(control);
      if (text != shown_[control]) {
        Add("Tavoro", std::string(label) + ": " + text);
        shown_[control] = std::move(text);
      }
    }
  }

  Gateway& gateway_;
  milliseconds pace_;
  fs::path out_;
  std::uint64_t start_;
  std::vector<Entry> entries_;
  std::map<int, std::string> shown_;
  int shots_ = 0;
};

// X-Lite on the left and Tavoro beside it, so one picture shows both.
void Demo::Arrange() {
  RECT phone{};
  ::GetWindowRect(gateway_.xlite().window(), &phone);
  ::SetWindowPos(gateway_.main_window(), nullptr, phone.right + 20, phone.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The part of the screen that holds both windows, as a 24-bit BMP.
void Demo::Shot(const std::string& name) {
  RECT phone{}, main{}, area{};
  ::GetWindowRect(gateway_.xlite().window(), &phone);
  ::GetWindowRect(gateway_.main_window(), &main);
  ::UnionRect(&area, &phone, &main);
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
  for (const auto& line : gateway_.skype().Journal()) {
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

int Run(const fs::path& out, milliseconds pace) {
  std::error_code ignored;
  fs::create_directories(out, ignored);
  Gateway gateway(out / L"program", kCallSettings, "client running; attach success");
  if (!gateway.ready() || !gateway.Start(milliseconds(20000))) {
    std::printf("demo: FAILED: %s\n", gateway.problem().c_str());
    return 1;
  }
  Demo demo(gateway, pace, out);
  demo.Arrange();
  demo.Say("X-Lite and Tavoro run; Tavoro is attached to Skype and waits");
  demo.Shot("started");
  demo.Pause();

  std::vector<std::string> failures;
  if (std::string failed = SkypeToHomeLine(demo); !failed.empty())
    failures.push_back("(a) " + failed);
  if (std::string failed = HomeLineToSkype(demo, gateway); !failed.empty())
    failures.push_back("(b) " + failed);
  if (const auto trouble = gateway.Trouble())
    failures.push_back("Tavoro: " + *trouble);
  demo.Timeline();

  if (failures.empty()) {
    std::printf("\ndemo: both directions worked\n");
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
  if (argc == 4 && std::wstring(argv[2]) == L"--pace" && std::wcstol(argv[3], nullptr, 10) > 0)
    pace = milliseconds(std::wcstol(argv[3], nullptr, 10));
  else if (argc != 2) {
    std::fprintf(stderr, "usage: demo_driver OUTDIR [--pace MS]\n");
    return 2;
  }
  return tavoro::e2e::Run(argv[1], pace);
}
