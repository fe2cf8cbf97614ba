#include "win32/win32_softphone_window.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii.h"
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

// FindWindowW would also find a hidden window, which cannot take the keys meant for the
// softphone; both searches therefore go through the visible top-level windows themselves.
struct TitleSearch {
  std::wstring title;
  bool whole = true;  // the whole title, or only its beginning
  HWND found = nullptr;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<TitleSearch*>(lparam);
  if (!::IsWindowVisible(window))
    return TRUE;
  const std::wstring title = TitleOf(window);
  const std::size_t wanted = search->title.size();
  if (search->whole ? title.size() != wanted : title.size() < wanted)
    return TRUE;
  // Ordinal with case folding, the way FindWindowW matches titles.
  if (::CompareStringOrdinal(title.data(), static_cast<int>(wanted), search->title.data(),
                             static_cast<int>(wanted), TRUE) != CSTR_EQUAL)
    return TRUE;
  search->found = window;
  return FALSE;
}

std::optional<WindowHandle> FindVisible(std::string_view title, bool whole) {
  TitleSearch search{Widen(title), whole};
  ::EnumWindows(&MatchTitle, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr)
    return std::nullopt;
  return ToHandle(search.found);
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

// The shift state bits of VkKeyScanExW, which are also the modifiers a chord holds.
constexpr BYTE kShift = 1;
constexpr BYTE kCtrl = 2;
constexpr BYTE kAlt = 4;
constexpr std::pair<BYTE, WORD> kModifierKeys[] = {
    {kCtrl, VK_CONTROL}, {kAlt, VK_MENU}, {kShift, VK_SHIFT}};

// A key with the modifiers held while it is pressed.
struct Chord {
  WORD virtual_key = 0;
  BYTE modifiers = 0;
};

// Turns key strings into the input a person at the keyboard would make: each character as the
// key the layout has for it, with Shift, Ctrl and Alt as the layout needs (many dial pads act
// on the keys alone and pass over text that arrives without one), and each key with its scan
// code, as a real keyboard reports it.
class KeyTyper {
 public:
  explicit KeyTyper(HKL layout) : layout_(layout) {}

  void Add(const SoftphoneKey& key) {
    std::optional<Chord> chord;
    if (key.kind == SoftphoneKey::Kind::Enter) {
      chord = Chord{VK_RETURN, 0};
    } else if (key.ctrl && platform::IsAsciiLetter(key.character)) {
      // Without Shift, whatever its case: "^h" and "^H" are both Ctrl+H to the softphone.
      const char32_t upper = key.character >= U'a' ? key.character - (U'a' - U'A') : key.character;
      chord = Chord{static_cast<WORD>(upper), 0};
    } else {
      chord = ChordFor(key.character);
    }
    const BYTE held = key.ctrl ? kCtrl : 0;
    if (chord) {
      chord->modifiers |= held;
      AddChord(*chord);
    } else {
      AddText(key.character, held);
    }
  }

  std::vector<INPUT>& inputs() { return inputs_; }

 private:
  // None when the layout has no key for the character, or reaches it only with a shift state
  // beyond Shift, Ctrl and Alt (Hankaku, for one), which has no key to hold down.
  std::optional<Chord> ChordFor(char32_t character) const {
    if (character > 0xFFFF)
      return std::nullopt;
    const SHORT found = ::VkKeyScanExW(static_cast<WCHAR>(character), layout_);
    const BYTE key = LOBYTE(found);
    const BYTE state = HIBYTE(found);
    if (found == -1 || key == 0xFF || (state & ~(kShift | kCtrl | kAlt)) != 0)
      return std::nullopt;
    return Chord{key, state};
  }

  void Key(WORD virtual_key, DWORD flags) {
    const auto scan = static_cast<WORD>(::MapVirtualKeyExW(virtual_key, MAPVK_VK_TO_VSC, layout_));
    inputs_.push_back(KeyInput(virtual_key, scan, flags));
  }

  // Modifiers go down in one order and come up in the other, as fingers do.
  void Press(BYTE modifiers) {
    for (const auto& [bit, modifier] : kModifierKeys) {
      if ((modifiers & bit) != 0)
        Key(modifier, 0);
    }
  }
  void Release(BYTE modifiers) {
    for (auto each = std::rbegin(kModifierKeys); each != std::rend(kModifierKeys); ++each) {
      if ((modifiers & each->first) != 0)
        Key(each->second, KEYEVENTF_KEYUP);
    }
  }

  void AddChord(const Chord& chord) {
    Press(chord.modifiers);
    Key(chord.virtual_key, 0);
    Key(chord.virtual_key, KEYEVENTF_KEYUP);
    Release(chord.modifiers);
  }

  // A character no key of the layout makes arrives as a Unicode packet, which at least a
  // window that reads text can take.
  void AddText(char32_t character, BYTE modifiers) {
    std::vector<WORD> units;
    if (character > 0xFFFF) {
      const char32_t offset = character - 0x10000;
      units = {static_cast<WORD>(0xD800 + (offset >> 10)),
               static_cast<WORD>(0xDC00 + (offset & 0x3FF))};
    } else {
      units = {static_cast<WORD>(character)};
    }
    Press(modifiers);
    for (const WORD unit : units) {
      inputs_.push_back(KeyInput(0, unit, KEYEVENTF_UNICODE));
      inputs_.push_back(KeyInput(0, unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
    }
    Release(modifiers);
  }

  HKL layout_;
  std::vector<INPUT> inputs_;
};

}  // namespace

std::optional<WindowHandle> Win32SoftphoneWindow::FindByTitle(std::string_view title) {
  return FindVisible(title, true);
}

std::optional<WindowHandle> Win32SoftphoneWindow::FindByTitlePrefix(std::string_view prefix) {
  return FindVisible(prefix, false);
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
  // The layout of the thread that will read the keys, which is what its keyboard would send.
  KeyTyper typer(::GetKeyboardLayout(::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr)));
  for (const SoftphoneKey& key : keys)
    typer.Add(key);
  std::vector<INPUT>& inputs = typer.inputs();
  if (inputs.empty())
    return true;
  // One call, so no input of the user or of another program comes between the keys.
  const UINT sent =
      ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), static_cast<int>(sizeof(INPUT)));
  return sent == inputs.size();
}

}  // namespace tavoro::platform::win32
