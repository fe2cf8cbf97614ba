#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/softphone_keys.h"
#include "win32/win32_softphone_window.h"

namespace tavoro::platform::win32 {
namespace {

// What a window read from its queue: a character or a key going down, with the Ctrl state
// its thread saw at that moment.
struct Received {
  bool is_char = false;
  WPARAM code = 0;
  bool ctrl = false;

  friend bool operator==(const Received&, const Received&) = default;
};

std::ostream& operator<<(std::ostream& out, const Received& r) {
  return out << (r.ctrl ? "^" : "") << (r.is_char ? "char " : "key ") << r.code;
}

Received Char(wchar_t c, bool ctrl = false) {
  return {true, static_cast<WPARAM>(c), ctrl};
}
Received Key(WPARAM vk, bool ctrl = false) {
  return {false, vk, ctrl};
}

// What "^h", "{ENTER}", "123#*" must produce: the keys that mean something to the softphone
// and the characters they make, Ctrl only on H.
const std::vector<Received> kExpected = {Key('H', true), Char(0x08, true), Key(VK_RETURN),
                                         Char(L'\r'),    Char(L'1'),       Char(L'2'),
                                         Char(L'3'),     Char(L'#'),       Char(L'*')};

constexpr wchar_t kClassName[] = L"TavoroTestSoftphone";

// How a window in another process is asked for the `wparam`th thing it read.
constexpr UINT kReadMessage = WM_APP;

LRESULT Encode(const Received& r) {
  return static_cast<LRESULT>((r.code & 0xFFFF) | (r.is_char ? 0x10000 : 0) |
                              (r.ctrl ? 0x20000 : 0));
}

Received Decode(LRESULT value) {
  return {(value & 0x10000) != 0, static_cast<WPARAM>(value & 0xFFFF), (value & 0x20000) != 0};
}

// Until `read` has `count` things, or two seconds have passed.
template <typename Read>
std::vector<Received> WaitFor(Read read, std::size_t count) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
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
    if (message == WM_NCCREATE) {
      const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<SoftphoneDesktop*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    // Modifiers and the carrier of typed text are how keys travel, not what they mean.
    const bool meaningful_key =
        message == WM_KEYDOWN && wparam != VK_CONTROL && wparam != VK_SHIFT && wparam != VK_PACKET;
    if (self != nullptr && (message == WM_CHAR || meaningful_key)) {
      const std::lock_guard lock(self->mutex_);
      self->received_[window].push_back({message == WM_CHAR, wparam, ctrl});
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

// What a window of another process read, asked through its own message loop.
std::vector<Received> ReceivedByRemote(HWND window) {
  std::vector<Received> received;
  for (WPARAM index = 0;; ++index) {
    DWORD_PTR value = 0;
    if (!::SendMessageTimeoutW(window, kReadMessage, index, 0, SMTO_ABORTIFHUNG, 1000, &value) ||
        static_cast<LRESULT>(value) == -1)
      return received;
    received.push_back(Decode(static_cast<LRESULT>(value)));
  }
}

constexpr wchar_t kChildVariable[] = L"TAVORO_SOFTPHONE_CHILD_TITLE";

// The child's half: started by RemoteSoftphone with the variable set, it shows a window with
// that title until the window is closed.
TEST(Win32SoftphoneWindow, ChildSoftphone) {
  wchar_t title[256] = {};
  if (::GetEnvironmentVariableW(kChildVariable, title, 256) == 0)
    GTEST_SKIP() << "only runs as the child of the tests beside it";
  SoftphoneDesktop desktop({title});
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::IsWindow(desktop.window(0)) && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path;
}

// A window titled `title` in a process of its own, as the real softphone is.
class RemoteSoftphone {
 public:
  explicit RemoteSoftphone(const std::wstring& title) {
    ::SetEnvironmentVariableW(kChildVariable, title.c_str());
    std::wstring command_line =
        L"\"" + ModulePath() + L"\" --gtest_filter=Win32SoftphoneWindow.ChildSoftphone";
    // Its test report would only clutter ours.
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    null_device_ = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = null_device_;
    const BOOL started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &child_);
    ::SetEnvironmentVariableW(kChildVariable, nullptr);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (started && window_ == nullptr && std::chrono::steady_clock::now() < give_up) {
      window_ = ::FindWindowW(kClassName, title.c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~RemoteSoftphone() {
    if (window_ != nullptr)
      ::PostMessageW(window_, WM_CLOSE, 0, 0);
    if (child_.hProcess != nullptr) {
      if (::WaitForSingleObject(child_.hProcess, 10'000) != WAIT_OBJECT_0)
        ::TerminateProcess(child_.hProcess, 1);
      ::CloseHandle(child_.hProcess);
      ::CloseHandle(child_.hThread);
    }
    ::CloseHandle(null_device_);
  }
  RemoteSoftphone(const RemoteSoftphone&) = delete;
  RemoteSoftphone& operator=(const RemoteSoftphone&) = delete;

  HWND window() const { return window_; }

 private:
  HANDLE null_device_ = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION child_{};
  HWND window_ = nullptr;
};

WindowHandle HandleOf(HWND window) {
  return WindowHandle{reinterpret_cast<std::uintptr_t>(window)};
}

void TypeSoftphoneStrings(Win32SoftphoneWindow& softphone) {
  for (const char* keys : {"^h", "{ENTER}", "123#*"})
    ASSERT_TRUE(softphone.TypeKeys(app::ParseSoftphoneKeys(keys))) << keys;
}

TEST(Win32SoftphoneWindow, FindsByWholeTitleOrVisiblePrefixIgnoringCase) {
  const std::wstring unique = L" " + std::to_wstring(::GetCurrentProcessId());
  SoftphoneDesktop desktop({L"X-Lite" + unique, L"X-Lite 3.0" + unique});
  const std::string narrow_unique = " " + std::to_string(::GetCurrentProcessId());
  Win32SoftphoneWindow softphone;

  EXPECT_EQ(softphone.FindByTitle("X-Lite" + narrow_unique), HandleOf(desktop.window(0)));
  EXPECT_EQ(softphone.FindByTitle("x-lite" + narrow_unique), HandleOf(desktop.window(0)));
  EXPECT_EQ(softphone.FindByTitle("X-Lite 3.0" + narrow_unique), HandleOf(desktop.window(1)));
  EXPECT_EQ(softphone.FindByTitle("X-Lite 3" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitlePrefix("x-LITE 3.0" + narrow_unique), HandleOf(desktop.window(1)));
  EXPECT_EQ(softphone.FindByTitlePrefix("X-Lite 3.0" + narrow_unique + "1"), std::nullopt);

  ::ShowWindow(desktop.window(1), SW_HIDE);
  EXPECT_EQ(softphone.FindByTitlePrefix("X-Lite 3.0" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitle("Tavoro has no such window" + narrow_unique), std::nullopt);
  EXPECT_EQ(softphone.FindByTitlePrefix("Tavoro has no such window"), std::nullopt);
}

TEST(Win32SoftphoneWindow, KeysReachASoftphoneInAnotherProcessEachTimeItIsBroughtBack) {
  const std::wstring title = L"X-Lite " + std::to_wstring(::GetCurrentProcessId());
  RemoteSoftphone remote(title);
  ASSERT_NE(remote.window(), nullptr);
  SoftphoneDesktop local({L"Tavoro"});
  Win32SoftphoneWindow softphone;
  ASSERT_EQ(softphone.FindByTitle("X-Lite " + std::to_string(::GetCurrentProcessId())),
            HandleOf(remote.window()));

  // The program's own window takes the focus between rounds, as a user's click on it would, so
  // each round's keys are typed right after a change of foreground: where keys get lost, or
  // land in the window that had the focus before.
  constexpr int kRounds = 20;
  std::vector<Received> expected;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(softphone.BringToForeground(HandleOf(local.window(0)))) << "round " << round;
    ASSERT_TRUE(softphone.BringToForeground(HandleOf(remote.window()))) << "round " << round;
    TypeSoftphoneStrings(softphone);
    expected.insert(expected.end(), kExpected.begin(), kExpected.end());
    ASSERT_EQ(WaitFor([&] { return ReceivedByRemote(remote.window()); }, expected.size()), expected)
        << "round " << round;
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
  TypeSoftphoneStrings(softphone);
  EXPECT_EQ(desktop.WaitFor(desktop.window(0), kExpected.size()), kExpected);
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
