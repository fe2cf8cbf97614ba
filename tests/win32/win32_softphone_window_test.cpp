#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/softphone_keys.h"
#include "child_process.h"
#include "win32/win32_softphone_window.h"
#include "win32/window_thunk.h"

namespace tavoro::platform::win32 {
namespace {

// What a window read from its queue: a key going down (its virtual key and scan code) or a
// character, with the modifiers its thread saw held at that moment.
struct Received {
  bool is_char = false;
  WPARAM code = 0;
  BYTE scan = 0;  // keys only
  bool shift = false;
  bool ctrl = false;
  bool alt = false;

  friend bool operator==(const Received&, const Received&) = default;
};

std::ostream& operator<<(std::ostream& out, const Received& r) {
  out << (r.ctrl ? "Ctrl+" : "") << (r.alt ? "Alt+" : "") << (r.shift ? "Shift+" : "") << std::hex
      << std::showbase;
  if (r.is_char)
    out << "char " << r.code;
  else
    out << "key " << r.code << " scan " << static_cast<int>(r.scan);
  return out << std::dec << std::noshowbase;
}

constexpr BYTE kShift = 1;
constexpr BYTE kCtrl = 2;

Received Key(WPARAM vk, BYTE scan, BYTE held = 0) {
  return {false, vk, scan, (held & kShift) != 0, (held & kCtrl) != 0, false};
}
Received Char(wchar_t c, BYTE held = 0) {
  return {true, static_cast<WPARAM>(c), 0, (held & kShift) != 0, (held & kCtrl) != 0, false};
}

// Typed by the tests: the softphone's hang-up and call keys, and every key of its dial pad.
constexpr const char* kTyped[] = {"^h", "{ENTER}", "0123456789#*"};

// What "^h" and "{ENTER}" must produce on any layout: the keys a person presses, then the
// characters they make, Ctrl only on H.
const std::vector<Received> kReadyKeys = {Key('H', 0x23, kCtrl), Char(0x08, kCtrl),
                                          Key(VK_RETURN, 0x1C), Char(L'\r')};

// What kTyped must produce on the display's keyboard layout (TAVORO_KEYMAP, which the test
// harness sets): digits are their own keys everywhere and "#" is Shift+3 on both layouts, but
// "*" is Shift+8 on the US layout and Shift with the ":" key (VK_OEM_1) on the Japanese 106 one.
std::optional<std::vector<Received>> ExpectedOnLayout() {
  const char* keymap = std::getenv("TAVORO_KEYMAP");
  const std::map<std::string, Received> star_keys = {{"jp", Key(VK_OEM_1, 0x28, kShift)},
                                                     {"us", Key('8', 0x09, kShift)}};
  const auto star = star_keys.find(keymap != nullptr ? keymap : "");
  if (star == star_keys.end())
    return std::nullopt;
  // The dial pad's digits, with the scan codes of the key row.
  constexpr std::pair<wchar_t, BYTE> kDigits[] = {
      {L'0', 0x0B}, {L'1', 0x02}, {L'2', 0x03}, {L'3', 0x04}, {L'4', 0x05},
      {L'5', 0x06}, {L'6', 0x07}, {L'7', 0x08}, {L'8', 0x09}, {L'9', 0x0A}};
  std::vector<Received> expected = kReadyKeys;
  for (const auto& [digit, scan] : kDigits)
    expected.insert(expected.end(), {Key(digit, scan), Char(digit)});
  expected.insert(expected.end(),
                  {Key('3', 0x04, kShift), Char(L'#', kShift), star->second, Char(L'*', kShift)});
  return expected;
}

constexpr wchar_t kClassName[] = L"TavoroTestSoftphone";

// How a window in another process is asked for the `wparam`th thing it read.
constexpr UINT kReadMessage = WM_APP;

LRESULT Encode(const Received& r) {
  return static_cast<LRESULT>((r.code & 0xFFFF) | (r.scan << 16) | (r.is_char ? 1 << 24 : 0) |
                              (r.shift ? 1 << 25 : 0) | (r.ctrl ? 1 << 26 : 0) |
                              (r.alt ? 1 << 27 : 0));
}

Received Decode(LRESULT value) {
  return {(value & (1 << 24)) != 0,
          static_cast<WPARAM>(value & 0xFFFF),
          static_cast<BYTE>((value >> 16) & 0xFF),
          (value & (1 << 25)) != 0,
          (value & (1 << 26)) != 0,
          (value & (1 << 27)) != 0};
}

// Until `read` has `count` things, or fifteen seconds have passed.
template <typename Read>
std::vector<Received> WaitFor(Read read, std::size_t count) {
  // Only a failing wait runs to the end: a loaded machine may take seconds to deliver a round.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (read().size() < count && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return read();
}

// Top-level windows on a thread of their own with its own message loop, as the softphone has
// in its own process; each keeps what it read.
class SoftphoneDesktop {
 public:
  explicit SoftphoneDesktop(std::vector<std::wstring> titles) {
    std::promise<void> ready;
    thread_ = std::thread([this, titles = std::move(titles), &ready] {
      Register();
      for (const std::wstring& title : titles)
        windows_.push_back(::CreateWindowExW(0, kClassName, title.c_str(),
                                             WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                             nullptr, nullptr, ::GetModuleHandleW(nullptr), this));
      thread_id_ = ::GetCurrentThreadId();
      ready.set_value();
      MSG message;
      while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
      for (HWND window : windows_)
        ::DestroyWindow(window);
    });
    ready.get_future().wait();
  }
  ~SoftphoneDesktop() {
    ::PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  SoftphoneDesktop(const SoftphoneDesktop&) = delete;
  SoftphoneDesktop& operator=(const SoftphoneDesktop&) = delete;

  HWND window(std::size_t index) const { return windows_.at(index); }

  std::vector<Received> ReceivedBy(HWND window) {
    const std::lock_guard lock(mutex_);
    return received_[window];
  }

  std::vector<Received> WaitFor(HWND window, std::size_t count) {
    return tavoro::platform::win32::WaitFor([&] { return ReceivedBy(window); }, count);
  }

 private:
  static void Register() {
    WNDCLASSEXW description{};
    description.cbSize = sizeof(description);
    description.lpfnWndProc = &Procedure;
    description.hInstance = ::GetModuleHandleW(nullptr);
    description.lpszClassName = kClassName;
    ::RegisterClassExW(&description);  // fails harmlessly when an earlier test registered it
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = WindowOwner<SoftphoneDesktop>(window, message, lparam);
    // Modifiers are the state the other keys are read in, not keys of their own. Every other
    // key is kept, VK_PACKET (how text arrives that no key typed) too.
    const bool key = (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && wparam != VK_SHIFT &&
                     wparam != VK_CONTROL && wparam != VK_MENU;
    if (self != nullptr && (message == WM_CHAR || key)) {
      const std::lock_guard lock(self->mutex_);
      self->received_[window].push_back(
          {message == WM_CHAR, wparam, static_cast<BYTE>(key ? (lparam >> 16) & 0xFF : 0),
           ::GetKeyState(VK_SHIFT) < 0, ::GetKeyState(VK_CONTROL) < 0, ::GetKeyState(VK_MENU) < 0});
    }
    if (self != nullptr && message == kReadMessage) {
      const std::lock_guard lock(self->mutex_);
      const std::vector<Received>& received = self->received_[window];
      return wparam < received.size() ? Encode(received[wparam]) : -1;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  std::thread thread_;
  DWORD thread_id_ = 0;
  std::vector<HWND> windows_;
  std::mutex mutex_;
  std::map<HWND, std::vector<Received>> received_;
};

// What a window of another process read from the `from`th thing on, asked through its own
// message loop.
std::vector<Received> ReceivedByRemote(HWND window, WPARAM from = 0) {
  std::vector<Received> received;
  for (WPARAM index = from;; ++index) {
    DWORD_PTR value = 0;
    if (!::SendMessageTimeoutW(window, kReadMessage, index, 0, SMTO_ABORTIFHUNG, 1000, &value) ||
        static_cast<LRESULT>(value) == -1)
      return received;
    received.push_back(Decode(static_cast<LRESULT>(value)));
  }
}

// The child's half of RemoteSoftphone: a window with the title until the window is closed.
[[maybe_unused]] const bool kChild =
    testing::EnterChildMode(L"softphone", [](const std::wstring& title) -> DWORD {
      SoftphoneDesktop desktop({title});
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (::IsWindow(desktop.window(0)) && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return 0;
    });

// A window titled `title` in a process of its own, as the real softphone is.
class RemoteSoftphone {
 public:
  explicit RemoteSoftphone(const std::wstring& title)
      : child_(testing::StartChild(L"softphone", title)) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (child_ != nullptr && window_ == nullptr && std::chrono::steady_clock::now() < give_up) {
      window_ = ::FindWindowW(kClassName, title.c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~RemoteSoftphone() {
    if (window_ != nullptr)
      ::PostMessageW(window_, WM_CLOSE, 0, 0);
    if (child_ != nullptr && ::WaitForSingleObject(child_, 10'000) != WAIT_OBJECT_0)
      ::TerminateProcess(child_, 1);
    ::CloseHandle(child_);
  }
  RemoteSoftphone(const RemoteSoftphone&) = delete;
  RemoteSoftphone& operator=(const RemoteSoftphone&) = delete;

  HWND window() const { return window_; }

 private:
  HANDLE child_;
  HWND window_ = nullptr;
};

WindowHandle HandleOf(HWND window) {
  return WindowHandle{reinterpret_cast<std::uintptr_t>(window)};
}

void Type(Win32SoftphoneWindow& softphone, std::span<const char* const> strings) {
  for (const char* keys : strings)
    ASSERT_TRUE(softphone.TypeKeys(app::ParseSoftphoneKeys(keys))) << keys;
}

TEST(Win32SoftphoneWindow, FindsVisibleWindowsOnlyByWholeTitleOrPrefixIgnoringCase) {
  const std::wstring unique = L" " + std::to_wstring(::GetCurrentProcessId());
  SoftphoneDesktop desktop({L"X-Lite" + unique, L"X-Lite 3.0" + unique, L"X-Lite" + unique});
  const std::string narrow_unique = " " + std::to_string(::GetCurrentProcessId());
  Win32SoftphoneWindow softphone;
  // A hidden window of the same title, first in the order the system searches in.
  ::ShowWindow(desktop.window(2), SW_HIDE);
  ::SetWindowPos(desktop.window(2), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  EXPECT_EQ(softphone.FindByTitle("X-Lite" + narrow_unique), HandleOf(desktop.window(0)));
  EXPECT_EQ(softphone.FindByTitle("x-lite" + narrow_unique), HandleOf(desktop.window(0)));
  EXPECT_EQ(softphone.FindByTitle("X-Lite 3.0" + narrow_unique), HandleOf(desktop.window(1)));
  EXPECT_EQ(softphone.FindByTitle("X-Lite 3" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitlePrefix("x-LITE 3.0" + narrow_unique), HandleOf(desktop.window(1)));
  EXPECT_EQ(softphone.FindByTitlePrefix("X-Lite 3.0" + narrow_unique + "1"), std::nullopt);

  ::ShowWindow(desktop.window(1), SW_HIDE);
  EXPECT_EQ(softphone.FindByTitle("X-Lite 3.0" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitlePrefix("X-Lite 3.0" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitle("Tavoro has no such window" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitlePrefix("Tavoro has no such window"), std::nullopt);
}

TEST(Win32SoftphoneWindow, KeysArriveAsTheKeyboardLayoutTypesThemEachTimeTheWindowIsBroughtBack) {
  const std::optional<std::vector<Received>> typed = ExpectedOnLayout();
  if (!typed)
    GTEST_SKIP() << "TAVORO_KEYMAP does not say the display's keyboard layout (jp or us)";
  const std::wstring title = L"X-Lite " + std::to_wstring(::GetCurrentProcessId());
  RemoteSoftphone remote(title);
  ASSERT_NE(remote.window(), nullptr);
  SoftphoneDesktop local({L"Tavoro"});
  Win32SoftphoneWindow softphone;
  ASSERT_EQ(softphone.FindByTitle("X-Lite " + std::to_string(::GetCurrentProcessId())),
            HandleOf(remote.window()));

  // The program's own window takes the focus between rounds, as a user's click on it would, so
  // each round's keys are typed just after a change of foreground (after the 100 ms the program
  // pauses after each activation): where keys get lost, or land in the window that had the
  // focus before. Typed sooner, Wine may still be syncing the new window's key state with the X
  // server's and drop the Ctrl it was given. The softphone is in another process, as the real
  // one is, so its own thread's layout and key state read them.
  constexpr int kRounds = 20;
  std::size_t before = 0;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(softphone.BringToForeground(HandleOf(local.window(0)))) << "round " << round;
    ASSERT_TRUE(softphone.BringToForeground(HandleOf(remote.window()))) << "round " << round;
    ::Sleep(100);
    Type(softphone, kTyped);
    ASSERT_EQ(WaitFor([&] { return ReceivedByRemote(remote.window(), before); }, typed->size()),
              *typed)
        << "round " << round;
    before += typed->size();
  }
  EXPECT_TRUE(local.ReceivedBy(local.window(0)).empty());
}

TEST(Win32SoftphoneWindow, AMinimizedWindowIsRestoredAndTakesTheKeys) {
  SoftphoneDesktop desktop({L"X-Lite", L"Another program"});
  Win32SoftphoneWindow softphone;
  ::ShowWindow(desktop.window(0), SW_MINIMIZE);
  ASSERT_TRUE(softphone.BringToForeground(HandleOf(desktop.window(1))));
  ASSERT_TRUE(::IsIconic(desktop.window(0)));

  ASSERT_TRUE(softphone.BringToForeground(HandleOf(desktop.window(0))));
  EXPECT_FALSE(::IsIconic(desktop.window(0)));
  Type(softphone, std::span(kTyped).first(2));
  EXPECT_EQ(desktop.WaitFor(desktop.window(0), kReadyKeys.size()), kReadyKeys);
  EXPECT_TRUE(desktop.ReceivedBy(desktop.window(1)).empty());
}

TEST(Win32SoftphoneWindow, AWindowThatHasGoneCannotBeBroughtForward) {
  HWND gone = nullptr;
  {
    SoftphoneDesktop desktop({L"X-Lite"});
    gone = desktop.window(0);
    Win32SoftphoneWindow softphone;
    ASSERT_TRUE(softphone.BringToForeground(HandleOf(gone)));
  }
  EXPECT_FALSE(Win32SoftphoneWindow().BringToForeground(HandleOf(gone)));
}

}  // namespace
}  // namespace tavoro::platform::win32
