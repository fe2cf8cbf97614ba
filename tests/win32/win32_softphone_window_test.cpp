// The softphone's window driver: windows found by title, brought forward, and typed into with the
// keys of the display's keyboard layout.

#include <gtest/gtest.h>

#include <windows.h>

#include <future>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/softphone_keys.h"
#include "win32/wide_text.h"
#include "win32/win32_process.h"
#include "win32/win32_softphone_window.h"
#include "win32/window_thunk.h"
#include "win32_test_support.h"

namespace tavoro::platform::win32 {
namespace {

// What a window read from its queue, packed into one number that a window of another process
// can hand over as a message's result: a key going down (its virtual key, its scan code above
// it) or a character, with the modifiers its thread saw held at that moment. Printed in hex.
struct Received {
  LRESULT packed;
  friend bool operator==(const Received&, const Received&) = default;
};
void PrintTo(const Received& r, std::ostream* out) {
  *out << std::hex << std::showbase << r.packed;
}

constexpr LRESULT kChar = 1 << 24, kShift = 1 << 25, kCtrl = 1 << 26, kAlt = 1 << 27;

Received Key(WPARAM vk, BYTE scan, LRESULT held = 0) {
  return {static_cast<LRESULT>(vk) | scan << 16 | held};
}
Received Char(wchar_t c, LRESULT held = 0) {
  return {c | kChar | held};
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
  const std::map<std::string, Received> star_keys = {{"jp", Key(VK_OEM_1, 0x28, kShift)},
                                                     {"us", Key('8', 0x09, kShift)}};
  const auto star = star_keys.find(Narrow(e2e::Environment(L"TAVORO_KEYMAP")));
  if (star == star_keys.end())
    return std::nullopt;
  std::vector<Received> expected = kReadyKeys;
  // The dial pad's digits, with the scan codes of the key row: 0x02 for "1" on to 0x0B for "0".
  for (const wchar_t digit : std::wstring(L"0123456789"))
    expected.insert(expected.end(),
                    {Key(digit, digit == L'0' ? 0x0B : digit - L'0' + 1), Char(digit)});
  expected.insert(expected.end(),
                  {Key('3', 0x04, kShift), Char(L'#', kShift), star->second, Char(L'*', kShift)});
  return expected;
}

constexpr wchar_t kClassName[] = L"TavoroTestSoftphone";

// How a window is asked, from any thread or process, for the `wparam`th thing it read.
constexpr UINT kReadMessage = WM_APP;

// Top-level windows on a thread of their own with its own message loop, as the softphone has
// in its own process; each keeps what it read, and hands it over through kReadMessage.
class SoftphoneDesktop {
 public:
  explicit SoftphoneDesktop(std::vector<std::wstring> titles) {
    std::promise<void> ready;
    thread_ = std::thread([this, titles = std::move(titles), &ready] {
      WNDCLASSEXW description{};
      description.cbSize = sizeof(description);
      description.lpfnWndProc = &Procedure;
      description.hInstance = ::GetModuleHandleW(nullptr);
      description.lpszClassName = kClassName;
      ::RegisterClassExW(&description);  // fails harmlessly when an earlier test registered it
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

 private:
  // Only the windows' own thread touches what they read.
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = WindowOwner<SoftphoneDesktop>(window, message, lparam);
    // Modifiers are the state the other keys are read in, not keys of their own. Every other
    // key is kept, VK_PACKET (how text arrives that no key typed) too.
    const bool key = (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && wparam != VK_SHIFT &&
                     wparam != VK_CONTROL && wparam != VK_MENU;
    if (self != nullptr && (message == WM_CHAR || key)) {
      const LRESULT held = (::GetKeyState(VK_SHIFT) < 0 ? kShift : 0) |
                           (::GetKeyState(VK_CONTROL) < 0 ? kCtrl : 0) |
                           (::GetKeyState(VK_MENU) < 0 ? kAlt : 0);
      self->received_[window].push_back(key ? Key(wparam, (lparam >> 16) & 0xFF, held)
                                            : Char(static_cast<wchar_t>(wparam), held));
    }
    if (self != nullptr && message == kReadMessage) {
      const std::vector<Received>& received = self->received_[window];
      return wparam < received.size() ? received[wparam].packed : -1;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  std::thread thread_;
  DWORD thread_id_ = 0;
  std::vector<HWND> windows_;
  std::map<HWND, std::vector<Received>> received_;
};

// What `window` read from the `from`th thing on, asked through its own message loop.
std::vector<Received> ReceivedBy(HWND window, WPARAM from = 0) {
  std::vector<Received> received;
  for (DWORD_PTR value = 0;; ++from) {
    if (!::SendMessageTimeoutW(window, kReadMessage, from, 0, SMTO_ABORTIFHUNG, 1000, &value) ||
        static_cast<LRESULT>(value) == -1)
      return received;
    received.push_back({static_cast<LRESULT>(value)});
  }
}

// The same once there are `count` things, or fifteen seconds have passed: only a failing wait
// runs to the end, but a loaded machine may take seconds to deliver a round.
std::vector<Received> WaitFor(HWND window, std::size_t count, WPARAM from = 0) {
  std::vector<Received> received;
  testing::WaitUntil([&] { return (received = ReceivedBy(window, from)).size() >= count; },
                     testing::milliseconds(15'000));
  return received;
}

// The child's half of the keyboard layout test: a window with the title until it is closed.
[[maybe_unused]] const bool kChild =
    testing::EnterChildMode(L"softphone", [](const std::wstring& title) -> DWORD {
      SoftphoneDesktop desktop({title});
      testing::WaitUntil([&] { return !::IsWindow(desktop.window(0)); },
                         testing::milliseconds(60'000));
      return 0;
    });

WindowHandle HandleOf(HWND window) {
  return WindowHandle{reinterpret_cast<std::uintptr_t>(window)};
}

void Type(Win32SoftphoneWindow& softphone, std::span<const char* const> strings) {
  for (const char* keys : strings)
    ASSERT_TRUE(softphone.TypeKeys(app::ParseSoftphoneKeys(keys))) << keys;
}

TEST(Win32SoftphoneWindow, FindsVisibleWindowsOnlyByWholeTitleOrPrefixIgnoringCase) {
  const std::string narrow_unique = " " + std::to_string(::GetCurrentProcessId());
  const std::wstring unique = Widen(narrow_unique);
  SoftphoneDesktop desktop({L"X-Lite" + unique, L"X-Lite 3.0" + unique, L"X-Lite" + unique});
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
}

TEST(Win32SoftphoneWindow, KeysArriveAsTheKeyboardLayoutTypesThemEachTimeTheWindowIsBroughtBack) {
  const std::optional<std::vector<Received>> typed = ExpectedOnLayout();
  if (!typed)
    GTEST_SKIP() << "TAVORO_KEYMAP does not say the display's keyboard layout (jp or us)";
  const std::wstring title = L"X-Lite " + std::to_wstring(::GetCurrentProcessId());
  const testing::ScopedVariable mode(testing::kChildVariable, L"softphone " + title);
  const testing::Program child(ModulePath());
  const HWND remote =
      e2e::WaitForWindow(child.id(), kClassName, title, testing::milliseconds(20'000));
  ASSERT_NE(remote, nullptr);
  SoftphoneDesktop local({L"Tavoro"});
  Win32SoftphoneWindow softphone;
  ASSERT_EQ(softphone.FindByTitle(Narrow(title)), HandleOf(remote));

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
    ASSERT_TRUE(softphone.BringToForeground(HandleOf(remote))) << "round " << round;
    ::Sleep(100);
    Type(softphone, kTyped);
    ASSERT_EQ(WaitFor(remote, typed->size(), before), *typed) << "round " << round;
    before += typed->size();
  }
  EXPECT_TRUE(ReceivedBy(local.window(0)).empty());
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
  EXPECT_EQ(WaitFor(desktop.window(0), kReadyKeys.size()), kReadyKeys);
  EXPECT_TRUE(ReceivedBy(desktop.window(1)).empty());
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
