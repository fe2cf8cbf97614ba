#include "win32/win32_softphone_window.h"

#include <windows.h>

#include <string>
#include <vector>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

constexpr ULONGLONG kForegroundLimitMs = 500;
constexpr DWORD kPollMs = 5;

HWND ToHwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

WindowHandle ToHandle(HWND window) {
  return WindowHandle{reinterpret_cast<std::uintptr_t>(window)};
}

std::wstring TitleOf(HWND window) {
  std::wstring title(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  title.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, title.data(), static_cast<int>(title.size()))));
  return title;
}

struct PrefixSearch {
  std::wstring prefix;
  HWND found = nullptr;
};

BOOL CALLBACK MatchPrefix(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<PrefixSearch*>(lparam);
  if (!::IsWindowVisible(window))
    return TRUE;
  const std::wstring title = TitleOf(window);
  if (title.size() < search->prefix.size())
    return TRUE;
  // Ordinal with case folding, the way FindWindowW matches whole titles.
  if (::CompareStringOrdinal(title.data(), static_cast<int>(search->prefix.size()),
                             search->prefix.data(), static_cast<int>(search->prefix.size()),
                             TRUE) != CSTR_EQUAL)
    return TRUE;
  search->found = window;
  return FALSE;
}

// Joins this thread's input state to another thread's while it lives. Sharing the foreground
// thread's input state is what lets SetForegroundWindow through the system's focus rules.
class InputAttachment {
 public:
  explicit InputAttachment(DWORD other) : other_(other) {
    const DWORD self = ::GetCurrentThreadId();
    attached_ = other != 0 && other != self && ::AttachThreadInput(self, other, TRUE);
  }
  ~InputAttachment() {
    if (attached_)
      ::AttachThreadInput(::GetCurrentThreadId(), other_, FALSE);
  }
  InputAttachment(const InputAttachment&) = delete;
  InputAttachment& operator=(const InputAttachment&) = delete;

 private:
  DWORD other_;
  bool attached_ = false;
};

// Keys typed before the target's thread has taken the activation go to whichever window had
// the focus before; the target's own view of its active window says when that is done.
bool HasSettled(HWND window) {
  if (::GetForegroundWindow() != window)
    return false;
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info))
    return false;
  return info.hwndActive == window;
}

// Sent messages only: posted ones (timers, peers' events) stay queued for the program's own
// loop, so none of its handlers runs inside an activation.
void PumpSentMessages() {
  MSG message;
  ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

INPUT KeyInput(WORD virtual_key, WORD scan, DWORD flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtual_key;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  return input;
}

void AddPress(std::vector<INPUT>& inputs, WORD virtual_key) {
  inputs.push_back(KeyInput(virtual_key, 0, 0));
  inputs.push_back(KeyInput(virtual_key, 0, KEYEVENTF_KEYUP));
}

void AddUnicode(std::vector<INPUT>& inputs, char32_t character) {
  std::vector<WORD> units;
  if (character > 0xFFFF) {
    const char32_t offset = character - 0x10000;
    units = {static_cast<WORD>(0xD800 + (offset >> 10)),
             static_cast<WORD>(0xDC00 + (offset & 0x3FF))};
  } else {
    units = {static_cast<WORD>(character)};
  }
  for (const WORD unit : units) {
    inputs.push_back(KeyInput(0, unit, KEYEVENTF_UNICODE));
    inputs.push_back(KeyInput(0, unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  }
}

bool IsAsciiLetter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

void AddKey(std::vector<INPUT>& inputs, const SoftphoneKey& key) {
  if (key.ctrl)
    inputs.push_back(KeyInput(VK_CONTROL, 0, 0));
  if (key.kind == SoftphoneKey::Kind::Enter) {
    AddPress(inputs, VK_RETURN);
  } else if (key.ctrl && IsAsciiLetter(key.character)) {
    // A character typed as text ignores Ctrl, so a Ctrl letter is its key. Without Shift,
    // whatever its case: "^h" and "^H" are both Ctrl+H to the softphone.
    const char32_t upper = key.character >= U'a' ? key.character - (U'a' - U'A') : key.character;
    AddPress(inputs, static_cast<WORD>(upper));
  } else {
    // As text, so the window gets the character whatever the keyboard layout.
    AddUnicode(inputs, key.character);
  }
  if (key.ctrl)
    inputs.push_back(KeyInput(VK_CONTROL, 0, KEYEVENTF_KEYUP));
}

}  // namespace

std::optional<WindowHandle> Win32SoftphoneWindow::FindByTitle(std::string_view title) {
  if (HWND window = ::FindWindowW(nullptr, Widen(title).c_str()))
    return ToHandle(window);
  return std::nullopt;
}

std::optional<WindowHandle> Win32SoftphoneWindow::FindByTitlePrefix(std::string_view prefix) {
  PrefixSearch search{Widen(prefix)};
  ::EnumWindows(&MatchPrefix, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr)
    return std::nullopt;
  return ToHandle(search.found);
}

bool Win32SoftphoneWindow::BringToForeground(WindowHandle handle) {
  HWND window = ToHwnd(handle);
  if (!::IsWindow(window))
    return false;
  if (::IsIconic(window))
    ::ShowWindow(window, SW_RESTORE);
  if (!HasSettled(window)) {
    const InputAttachment attachment(::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr));
    ::SetForegroundWindow(window);
  }
  const ULONGLONG start = ::GetTickCount64();
  while (true) {
    PumpSentMessages();
    if (HasSettled(window))
      return true;
    if (!::IsWindow(window) || ::GetTickCount64() - start >= kForegroundLimitMs)
      return false;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, kPollMs, QS_SENDMESSAGE, 0);
  }
}

bool Win32SoftphoneWindow::TypeKeys(std::span<const SoftphoneKey> keys) {
  std::vector<INPUT> inputs;
  for (const SoftphoneKey& key : keys)
    AddKey(inputs, key);
  if (inputs.empty())
    return true;
  // One call, so no input of the user or of another program comes between the keys.
  const UINT sent =
      ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), static_cast<int>(sizeof(INPUT)));
  return sent == inputs.size();
}

}  // namespace tavoro::platform::win32
