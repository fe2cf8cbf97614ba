// The softphone stand-in (sim/xlite) as the gateway meets it: found by its title, brought
// forward and typed into by the program's own window driver. It must take no more than a
// keyboard gives it, or the end-to-end runs could not catch keys typed as text. (Its ring on
// the capture device is heard end to end, by the gateway itself.)
//
// xlite.exe is the one built beside this program (<build>\sim\xlite\xlite.exe, reached from
// <build>\tests); TAVORO_XLITE_EXE names another. The sound checks need the harness's sound
// server (TAVORO_SOUND_SERVER=pulseaudio); without it they are skipped and the rest still runs.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/softphone_keys.h"
#include "audio/SoundMeter.h"
#include "win32/wide_text.h"
#include "win32/win32_softphone_window.h"
#include "win32/win32_wave_in.h"
#include "xlite/log_clock.h"

namespace tavoro::platform::win32 {
namespace {

using sim::xlite::UnixMilliseconds;

constexpr wchar_t kXLiteClass[] = L"TavoroXLiteStandIn";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool SoundServerRuns() {
  return Environment("TAVORO_SOUND_SERVER") == "pulseaudio";
}

std::wstring XLitePath() {
  if (const std::string path = Environment("TAVORO_XLITE_EXE"); !path.empty())
    return Widen(path);
  std::wstring own(MAX_PATH, L'\0');
  own.resize(::GetModuleFileNameW(nullptr, own.data(), MAX_PATH));
  const std::wstring relative =
      own.substr(0, own.find_last_of(L'\\')) + L"\\..\\sim\\xlite\\xlite.exe";
  wchar_t full[MAX_PATH] = {};
  ::GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
  return full;
}

std::wstring TempFile(const wchar_t* name) {
  static int serial = 0;
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(++serial) + L".txt";
}

std::string ReadFile(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return {};
  std::string text(::GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  ::CloseHandle(file);
  text.resize(read);
  return text;
}

// xlite.exe started with `arguments`, its standard output and error into `output` if given.
PROCESS_INFORMATION StartXLite(const std::wstring& arguments, HANDLE output = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
  }
  std::wstring command = L"\"" + XLitePath() + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                   nullptr, &startup, &process);
  return process;
}

struct LogLine {
  std::uint64_t ms = 0;
  std::string event;
};

// A running stand-in with a log of its own; closed and its log removed at the end.
class XLite {
 public:
  XLite() : log_path_(TempFile(L"xlite-log-")) {
    ::SetEnvironmentVariableW(L"TAVORO_XLITE_LOG", log_path_.c_str());
    process_ = StartXLite(L"");
    ::SetEnvironmentVariableW(L"TAVORO_XLITE_LOG", nullptr);
    // Up once its window shows and it has said so.
    for (int waited = 0; process_.hProcess != nullptr && waited < 20'000; waited += 10) {
      window_ = ::FindWindowW(kXLiteClass, L"X-Lite");
      if (window_ != nullptr && !Log().empty())
        break;
      ::Sleep(10);
    }
  }
  ~XLite() {
    if (process_.hProcess == nullptr)
      return;
    if (::WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
      ::PostMessageW(window_, WM_CLOSE, 0, 0);
      if (::WaitForSingleObject(process_.hProcess, 10'000) != WAIT_OBJECT_0)
        ::TerminateProcess(process_.hProcess, 1);
    }
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
    ::DeleteFileW(log_path_.c_str());
  }
  XLite(const XLite&) = delete;
  XLite& operator=(const XLite&) = delete;

  HWND window() const { return window_; }
  bool Ended(DWORD wait_ms) const {
    return ::WaitForSingleObject(process_.hProcess, wait_ms) == WAIT_OBJECT_0;
  }

  std::vector<LogLine> Log() const {
    std::vector<LogLine> lines;
    const std::string text = ReadFile(log_path_);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      const std::string line = text.substr(start, end - start);
      const std::size_t space = line.find(' ');
      lines.push_back({std::strtoull(line.c_str(), nullptr, 10), line.substr(space + 1)});
    }
    return lines;
  }

  // Its events, once there are `count` of them or five seconds have passed.
  std::vector<std::string> Events(std::size_t count) const {
    std::vector<LogLine> lines = Log();
    for (int waited = 0; waited < 5000 && lines.size() < count; waited += 10) {
      ::Sleep(10);
      lines = Log();
    }
    std::vector<std::string> events;
    for (const LogLine& line : lines) {
      if (SoundServerRuns() || !line.event.starts_with("ring tone failed"))
        events.push_back(line.event);
    }
    return events;
  }

 private:
  std::wstring log_path_;
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

// What the gateway does for each key string: bring the window titled "X-Lite" forward, type.
void TypeIntoSoftphone(const std::string& keys) {
  Win32SoftphoneWindow driver;
  const std::optional<WindowHandle> window = driver.FindByTitle("X-Lite");
  ASSERT_TRUE(window.has_value());
  ASSERT_TRUE(driver.BringToForeground(*window)) << keys;
  ASSERT_TRUE(driver.TypeKeys(app::ParseSoftphoneKeys(keys))) << keys;
}

// What the display's keyboard layout (TAVORO_KEYMAP, set by the test harness) makes of Shift+8
// and of Shift with VK_OEM_1, as the softphone logs them: one of them is its "*" key.
std::optional<std::pair<std::string, std::string>> ShiftedEightAndOem1() {
  const char* keymap = std::getenv("TAVORO_KEYMAP");
  const std::map<std::string, std::pair<std::string, std::string>> kLayouts = {
      {"jp", {"key Shift+VK_38 ignored", "key Shift+VK_BA *"}},
      {"us", {"key Shift+VK_38 *", "key Shift+VK_BA ignored"}}};
  const auto found = kLayouts.find(keymap != nullptr ? keymap : "");
  if (found == kLayouts.end())
    return std::nullopt;
  return found->second;
}

TEST(XLiteStandIn, TakesTheKeysTheDriverTypesOnTheKeyboardLayoutAndDialsTheNumber) {
  const auto shifted = ShiftedEightAndOem1();
  if (!shifted)
    GTEST_SKIP() << "TAVORO_KEYMAP does not say the display's keyboard layout (jp or us)";
  const std::string star = shifted->first.ends_with(" *") ? shifted->first : shifted->second;
  const std::uint64_t before = UnixMilliseconds();
  XLite xlite;
  ASSERT_NE(xlite.window(), nullptr)
      << "xlite.exe did not show its window: " << Narrow(XLitePath());
  EXPECT_EQ(Win32SoftphoneWindow().FindByTitle("X-Lite"),
            WindowHandle{reinterpret_cast<std::uintptr_t>(xlite.window())});

  // The gateway's Skype-to-home-line call: ready, number, call key, tones, hang up.
  for (const char* keys : {"^h", "{ENTER}", "0312345678", "{ENTER}", "#*", "^h"})
    TypeIntoSoftphone(keys);
  std::vector<std::string> expected = {"started", "key Ctrl+VK_48 Ctrl+H", "key VK_0D Enter"};
  for (const char digit : std::string("0312345678"))
    expected.push_back(std::string("key VK_3") + digit + " " + digit);
  expected.insert(expected.end(), {"key VK_0D Enter", "dialled 0312345678", "key Shift+VK_33 #",
                                   star, "key Ctrl+VK_48 Ctrl+H", "hung up"});
  EXPECT_EQ(xlite.Events(expected.size()), expected);

  // On the clock this process reads too, in order.
  const std::uint64_t after = UnixMilliseconds();
  std::uint64_t previous = before;
  for (const LogLine& line : xlite.Log()) {
    EXPECT_GE(line.ms, previous) << line.event;
    EXPECT_LE(line.ms, after) << line.event;
    previous = line.ms;
  }
}

// Keys a keyboard of another layout, or no keyboard, would send: the softphone logs what
// arrived and dials only with the keys of its own layout, never with text.
TEST(XLiteStandIn, PassesOverTextAndKeysItsKeyboardLayoutDoesNotDialWith) {
  const auto shifted = ShiftedEightAndOem1();
  if (!shifted)
    GTEST_SKIP() << "TAVORO_KEYMAP does not say the display's keyboard layout (jp or us)";
  XLite xlite;
  ASSERT_NE(xlite.window(), nullptr);
  ASSERT_TRUE(Win32SoftphoneWindow().BringToForeground(
      WindowHandle{reinterpret_cast<std::uintptr_t>(xlite.window())}));

  auto key = [](WORD vk, DWORD flags, WORD scan = 0) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    return input;
  };
  // Each press with its modifiers held around it, and the line the softphone must log of it.
  struct Press {
    std::vector<WORD> modifiers;
    WORD vk;
    std::string logged;
  };
  const std::vector<Press> presses = {{{VK_SHIFT}, '0', "key Shift+VK_30 ignored"},
                                      {{VK_CONTROL, VK_SHIFT}, 'H', "key Ctrl+Shift+VK_48 ignored"},
                                      {{VK_MENU}, 'H', "key Alt+VK_48 ignored"},
                                      {{VK_SHIFT}, '8', shifted->first},
                                      {{VK_SHIFT}, VK_OEM_1, shifted->second},
                                      {{VK_SHIFT}, VK_RETURN, "key Shift+VK_0D ignored"},
                                      {{VK_CONTROL}, VK_RETURN, "key Ctrl+VK_0D ignored"},
                                      {{}, VK_RETURN, "key VK_0D Enter"}};
  // First "5" as text, the way the driver once typed every key.
  std::vector<INPUT> inputs = {key(0, KEYEVENTF_UNICODE, L'5'),
                               key(0, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP, L'5')};
  std::vector<std::string> expected = {"started", "key VK_E7 ignored"};
  for (const Press& press : presses) {
    for (const WORD modifier : press.modifiers)
      inputs.push_back(key(modifier, 0));
    inputs.insert(inputs.end(), {key(press.vk, 0), key(press.vk, KEYEVENTF_KEYUP)});
    for (const WORD modifier : press.modifiers)
      inputs.push_back(key(modifier, KEYEVENTF_KEYUP));
    expected.push_back(press.logged);
  }
  ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
            inputs.size());
  // Only the "*" of its own layout made it into the number.
  expected.push_back("dialled *");
  EXPECT_EQ(xlite.Events(expected.size()), expected);
}

}  // namespace
}  // namespace tavoro::platform::win32
