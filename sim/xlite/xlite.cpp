// A stand-in for the X-Lite softphone, so the gateway can do its whole job under Wine where no
// softphone exists. The gateway knows the softphone only as a window titled "X-Lite" that it
// brings to the front and types keys into, and as a ring it hears on a capture device. So this
// program shows such a window, writes down every key it reads, behaves as a user of the
// softphone expects, and when told to ring plays a ring tone on the default output (under the
// test harness, a sound server's null sink whose monitor is the capture device).
//
//   xlite.exe          runs the softphone; only one runs at a time
//   xlite.exe /ring    a call comes in: the running softphone rings until answered or stopped
//   xlite.exe /stop    the caller gives up: the ring stops
//   xlite.exe /quit    closes the running softphone and waits until it has ended
//
// A command hands itself to the running softphone, prints the state the softphone is then in
// ("idle", "ringing" or "in call") and ends with 0; it ends with 1 when no softphone runs or
// none answers, and with 2 on a command it does not know. Its messages go to the standard error
// and to the log.
//
// The log is the file TAVORO_XLITE_LOG names (none when unset), appended to one line at a time,
// UTF-8 with LF endings:
//
//   <ms> started | key <keys> <taken as> | ringing | answered | dialled <number> | hung up
//        | ring stopped | busy | ring tone failed: <reason> | closed
//        | control <command> failed: <reason>
//
// <ms> is the system time in milliseconds since 1970-01-01 UTC. Every process of the machine
// reads the same clock, Windows or Linux (`date +%s%3N`), so a scenario can place the lines
// among its own events. A tick count or performance counter would first need converting.
//
// Keys: as the dial pads of many softphones do, this one acts on the keys it is sent
// (WM_KEYDOWN, WM_SYSKEYDOWN) with the modifiers held at that moment, never on the text they
// make (WM_CHAR). Its keys are "0" to "9", "*" and "#" with the modifiers its own keyboard
// layout needs for them (VkKeyScanExW: "#" is Shift+3 on the Japanese 106 and the US layouts,
// "*" Shift+VK_OEM_1 on the Japanese 106 and Shift+8 on the US one), Enter alone, and Ctrl+H.
// Every other key does nothing, text typed as Unicode (VK_PACKET) among them. A line per key
// read says what arrived and what the softphone took it for:
//
//   key <keys> <taken as>
//
// <keys> is "Ctrl+", "Alt+" and "Shift+", in that order, for those held, then "VK_" and the
// virtual-key code in two upper-case hex digits; <taken as> is "0" to "9", "*", "#", "Enter",
// "Ctrl+H" or "ignored". For example "key Shift+VK_33 #", "key Ctrl+VK_48 Ctrl+H",
// "key VK_E7 ignored". Shift, Ctrl, Alt, the Windows keys and Caps Lock are not logged as keys
// of their own: they are the state the other keys are read in.
//
// The call: the keypad's keys typed while idle make up a number; Enter dials it. Enter while
// ringing answers. Ctrl+H in a call hangs up; idle or ringing it clears the number, so the
// gateway's Ctrl+H before Enter takes a ringing call instead of refusing it. A ring during a
// call is refused as busy.

#include <windows.h>
// After <windows.h>: WIN32_LEAN_AND_MEAN leaves the shell declarations out of it.
#include <shellapi.h>

#include <algorithm>
#include <deque>
#include <string>
#include <string_view>

#include "log_clock.h"
#include "ring_tone.h"
#include "win32/wide_text.h"

namespace tavoro::sim {
namespace {

using platform::win32::Narrow;
using platform::win32::Widen;
using xlite::UnixMilliseconds;

constexpr wchar_t kClassName[] = L"TavoroXLiteStandIn";
constexpr wchar_t kTitle[] = L"X-Lite";
constexpr wchar_t kControlMessageName[] = L"TavoroXLiteControl";
constexpr std::size_t kShownKeys = 10;
constexpr std::size_t kLongestNumber = 32;
constexpr UINT kCommandTimeoutMs = 5000;

enum class CallState { Idle = 1, Ringing, InCall };
enum class Command : WPARAM { Ring = 1, Stop, Quit };

class EventLog {
 public:
  EventLog() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"TAVORO_XLITE_LOG", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
      path_ = path;
  }

  void Write(std::string_view event) const {
    if (path_.empty())
      return;
    const std::string line = std::to_string(UnixMilliseconds()) + " " + std::string(event) + "\n";
    // Opened for each line with append access: every line is on disk when the event has
    // happened, lands at the end whoever else writes, and the file may be read or removed
    // between lines.
    const HANDLE file = ::CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
  }

 private:
  std::wstring path_;
};

void Complain(const EventLog& log, std::string_view text) {
  log.Write(text);
  const std::string line = "xlite: " + std::string(text) + "\n";
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE)
    return;
  DWORD written = 0;
  ::WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

constexpr WPARAM kModifiers[] = {VK_SHIFT,  VK_CONTROL,  VK_MENU,     VK_LSHIFT,
                                 VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU,
                                 VK_RMENU,  VK_LWIN,     VK_RWIN,     VK_CAPITAL};

bool IsModifier(WPARAM vk) {
  return std::find(std::begin(kModifiers), std::end(kModifiers), vk) != std::end(kModifiers);
}

// The modifiers held, as VkKeyScanExW gives a key's shift state.
constexpr BYTE kShift = 1;
constexpr BYTE kCtrl = 2;
constexpr BYTE kAlt = 4;

BYTE HeldModifiers() {
  return static_cast<BYTE>((::GetKeyState(VK_SHIFT) < 0 ? kShift : 0) |
                           (::GetKeyState(VK_CONTROL) < 0 ? kCtrl : 0) |
                           (::GetKeyState(VK_MENU) < 0 ? kAlt : 0));
}

// A key as the log shows what arrived: "Ctrl+Shift+VK_48".
std::string KeyName(WPARAM vk, BYTE held) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string((held & kCtrl) != 0 ? "Ctrl+" : "") + ((held & kAlt) != 0 ? "Alt+" : "") +
         ((held & kShift) != 0 ? "Shift+" : "") + "VK_" + kDigits[(vk >> 4) & 0xF] +
         kDigits[vk & 0xF];
}

// What the softphone takes a key for: "0" to "9", "*", "#", "Enter", "Ctrl+H" or "ignored".
// The keypad's keys are looked up in the keyboard layout of this window's thread each time, so
// the key and the modifiers have to be the ones a person at that keyboard presses.
std::string TakenAs(WPARAM vk, BYTE held) {
  if (vk == VK_RETURN && held == 0)
    return "Enter";
  if (vk == 'H' && held == kCtrl)
    return "Ctrl+H";
  const HKL layout = ::GetKeyboardLayout(0);
  for (const char key : std::string_view("0123456789*#")) {
    const SHORT found = ::VkKeyScanExW(static_cast<WCHAR>(key), layout);
    if (found != -1 && LOBYTE(found) == vk && HIBYTE(found) == held)
      return std::string(1, key);
  }
  return "ignored";
}

class Softphone {
 public:
  explicit Softphone(HWND window) : window_(window), ring_(window) {}

  void OnKey(WPARAM vk) {
    if (IsModifier(vk))
      return;
    const BYTE held = HeldModifiers();
    const std::string taken_as = TakenAs(vk, held);
    const std::string name = KeyName(vk, held);
    log_.Write("key " + name + " " + taken_as);
    // On screen what the softphone made of each key; a key it passed over by what arrived.
    keys_.push_back(taken_as == "ignored" ? name + ":ignored" : taken_as);
    if (keys_.size() > kShownKeys)
      keys_.pop_front();
    if (taken_as == "Ctrl+H")
      HangUpKey();
    else if (taken_as == "Enter")
      CallKey();
    else if (taken_as.size() == 1)
      Keypad(taken_as[0]);
    Refresh();
  }

  CallState Do(Command command) {
    switch (command) {
      case Command::Ring:
        Ring();
        break;
      case Command::Stop:
        if (state_ == CallState::Ringing) {
          EndRing();
          state_ = CallState::Idle;
          log_.Write("ring stopped");
        }
        break;
      case Command::Quit:
        ::DestroyWindow(window_);
        return state_;
    }
    Refresh();
    return state_;
  }

  void OnBufferDone(HWAVEOUT device, WAVEHDR* header) { ring_.OnBufferDone(device, header); }

  void OnClose() {
    ring_.Stop();
    log_.Write("closed");
  }

  const EventLog& log() const { return log_; }

  void Paint(HDC dc, const RECT& client) const;

 private:
  void HangUpKey() {
    if (state_ == CallState::InCall) {
      state_ = CallState::Idle;
      party_.clear();
      tones_.clear();
      log_.Write("hung up");
    }
    number_.clear();
  }

  void CallKey() {
    if (state_ == CallState::Ringing) {
      EndRing();
      state_ = CallState::InCall;
      party_ = "caller";
      log_.Write("answered");
    } else if (state_ == CallState::Idle && !number_.empty()) {
      state_ = CallState::InCall;
      party_ = number_;
      number_.clear();
      log_.Write("dialled " + party_);
    }
  }

  void Keypad(char key) {
    if (state_ == CallState::InCall) {
      if (tones_.size() >= kLongestNumber)
        tones_.erase(0, 1);
      tones_ += key;
    } else if (number_.size() < kLongestNumber) {
      number_ += key;
    }
  }

  void Ring() {
    if (state_ == CallState::InCall) {
      log_.Write("busy");
      return;
    }
    if (state_ == CallState::Ringing)
      return;
    state_ = CallState::Ringing;
    log_.Write("ringing");
    const std::wstring failure = ring_.Start();
    sound_note_ = failure.empty() ? "" : "No ring tone: " + Narrow(failure);
    if (!failure.empty())
      log_.Write("ring tone failed: " + Narrow(failure));
  }

  void EndRing() {
    ring_.Stop();
    sound_note_.clear();
  }

  void Refresh() const { ::InvalidateRect(window_, nullptr, TRUE); }

  HWND window_;
  EventLog log_;
  RingTone ring_;
  CallState state_ = CallState::Idle;
  std::string number_;  // typed while idle, dialled by Enter
  std::string party_;   // whom the call is with
  std::string tones_;   // keys sent into the call
  std::string sound_note_;
  std::deque<std::string> keys_;
};

void DrawLine(HDC dc, RECT& area, int height, std::string_view text, COLORREF colour) {
  RECT line = area;
  line.bottom = line.top + height;
  ::SetTextColor(dc, colour);
  const std::wstring wide = Widen(text);
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &line,
              DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
  area.top += height;
}

void Fill(HDC dc, const RECT& area, COLORREF colour) {
  const HBRUSH brush = ::CreateSolidBrush(colour);
  ::FillRect(dc, &area, brush);
  ::DeleteObject(brush);
}

void Softphone::Paint(HDC dc, const RECT& client) const {
  RECT panel{client.left + 10, client.top + 10, client.right - 10, client.top + 120};
  const COLORREF panel_colour = state_ == CallState::Ringing  ? RGB(255, 196, 90)
                                : state_ == CallState::InCall ? RGB(170, 225, 160)
                                                              : RGB(200, 214, 200);
  Fill(dc, client, RGB(226, 228, 232));
  Fill(dc, panel, panel_colour);
  ::SetBkMode(dc, TRANSPARENT);
  const HFONT big = ::CreateFontW(-18, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                  ANTIALIASED_QUALITY, 0, L"Tahoma");
  const HFONT small = ::CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                    0, 0, ANTIALIASED_QUALITY, 0, L"Tahoma");
  const HGDIOBJ old_font = ::SelectObject(dc, big);

  RECT text = panel;
  text.left += 10;
  text.right -= 10;
  text.top += 8;
  const std::string status = state_ == CallState::Ringing  ? "Incoming call - ringing"
                             : state_ == CallState::InCall ? "In call: " + party_
                                                           : "Ready";
  DrawLine(dc, text, 28, status, RGB(20, 20, 20));
  ::SelectObject(dc, small);
  const std::string detail =
      state_ == CallState::InCall ? "Tones: " + tones_ : "Number: " + number_;
  DrawLine(dc, text, 22, detail, RGB(20, 20, 20));
  if (!sound_note_.empty())
    DrawLine(dc, text, 22, sound_note_, RGB(150, 0, 0));

  RECT keys{client.left + 10, panel.bottom + 10, client.right - 10, client.bottom - 6};
  DrawLine(dc, keys, 20, "Last keys:", RGB(60, 60, 60));
  std::string shown;
  for (const std::string& key : keys_)
    shown += (shown.empty() ? "" : "  ") + key;
  // Wrapped rather than cut, so the newest keys always show.
  const std::wstring wide = Widen(shown);
  ::SetTextColor(dc, RGB(20, 20, 20));
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &keys,
              DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old_font);
  ::DeleteObject(big);
  ::DeleteObject(small);
}

UINT ControlMessage() {
  static const UINT message = ::RegisterWindowMessageW(kControlMessageName);
  return message;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* phone = reinterpret_cast<Softphone*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (phone == nullptr)
    return ::DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      phone->OnKey(wparam);
      break;
    case WM_CHAR:
    case WM_SYSCHAR:
      return 0;  // the key it came from has been read; Alt+letter opens no menu
    case MM_WOM_DONE:
      phone->OnBufferDone(reinterpret_cast<HWAVEOUT>(wparam), reinterpret_cast<WAVEHDR*>(lparam));
      return 0;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers all of it
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(window, &paint);
      RECT client;
      ::GetClientRect(window, &client);
      phone->Paint(dc, client);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      phone->OnClose();
      ::PostQuitMessage(0);
      return 0;
    default:
      if (message == ControlMessage() && wparam >= 1 && wparam <= 3)
        return static_cast<LRESULT>(phone->Do(static_cast<Command>(wparam)));
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

const char* StateName(LRESULT state) {
  switch (static_cast<CallState>(state)) {
    case CallState::Idle:
      return "idle";
    case CallState::Ringing:
      return "ringing";
    case CallState::InCall:
      return "in call";
  }
  return "unknown";
}

int RunCommand(const std::wstring& argument) {
  const EventLog log;
  Command command;
  if (argument == L"/ring") {
    command = Command::Ring;
  } else if (argument == L"/stop") {
    command = Command::Stop;
  } else if (argument == L"/quit") {
    command = Command::Quit;
  } else {
    Complain(log, "control " + Narrow(argument) +
                      " failed: unknown command (use /ring, /stop or /quit)");
    return 2;
  }
  const HWND window = ::FindWindowW(kClassName, nullptr);
  if (window == nullptr) {
    Complain(log, "control " + Narrow(argument) + " failed: no X-Lite is running");
    return 1;
  }
  DWORD process_id = 0;
  ::GetWindowThreadProcessId(window, &process_id);
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, process_id);
  DWORD_PTR state = 0;
  const bool answered =
      ::SendMessageTimeoutW(window, ControlMessage(), static_cast<WPARAM>(command), 0,
                            SMTO_ABORTIFHUNG, kCommandTimeoutMs, &state) != 0 &&
      state != 0;
  // After /quit the caller may start another softphone at once: it must find this one gone.
  if (answered && command == Command::Quit && process != nullptr)
    ::WaitForSingleObject(process, kCommandTimeoutMs);
  if (process != nullptr)
    ::CloseHandle(process);
  if (!answered) {
    Complain(log, "control " + Narrow(argument) + " failed: X-Lite did not answer");
    return 1;
  }
  const std::string line = std::string(StateName(static_cast<LRESULT>(state))) + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
  return 0;
}

int RunSoftphone(HINSTANCE instance, int show) {
  const EventLog log;
  if (::FindWindowW(kClassName, nullptr) != nullptr) {
    Complain(log, "X-Lite is already running");
    return 1;
  }
  WNDCLASSEXW description{};
  description.cbSize = sizeof(description);
  description.lpfnWndProc = &WindowProcedure;
  description.hInstance = instance;
  description.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  description.lpszClassName = kClassName;
  if (::RegisterClassExW(&description) == 0)
    return 1;
  // The size of a small softphone, fixed as the real one's is.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, 320, 200};
  ::AdjustWindowRect(&frame, kStyle, FALSE);
  const HWND window =
      ::CreateWindowExW(0, kClassName, kTitle, kStyle, 40, 40, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (window == nullptr)
    return 1;
  Softphone phone(window);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&phone));
  ::ShowWindow(window, show);
  ::UpdateWindow(window);
  phone.log().Write("started");
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace
}  // namespace tavoro::sim

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  const std::wstring command = arguments != nullptr && count > 1 ? arguments[1] : L"";
  const bool extra = count > 2;
  ::LocalFree(arguments);
  if (extra) {
    tavoro::sim::Complain(tavoro::sim::EventLog(), "give one command: /ring, /stop or /quit");
    return 2;
  }
  if (!command.empty())
    return tavoro::sim::RunCommand(command);
  return tavoro::sim::RunSoftphone(instance, show);
}
