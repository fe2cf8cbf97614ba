#pragma once
// The softphone has no programming interface, so it is driven the way a user drives it: find
// its top-level window by title, bring it to the front, type keys into whatever window then
// has the keyboard focus. Nothing comes back this way.
//
// Keys are typed as the keyboard would type them: a person's softphone may act on the keys it
// is sent rather than on the text they make. The win32 backend finds visible windows with
// EnumWindows and GetWindowTextW, activates with SetForegroundWindow and types with one
// SendInput per sequence: each character as the key that the foreground window's keyboard
// layout has for it (VkKeyScanExW), with its scan code, Shift, Ctrl and Alt pressed and
// released around it as that layout needs; Ctrl as well around each key that asks for it. Only
// a character the layout has no key for goes as a Unicode packet.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/window_handle.h"

namespace tavoro::platform {

struct SoftphoneKey {
  enum class Kind { Character, Enter };
  Kind kind = Kind::Character;
  char32_t character = 0;  // for Character
  bool ctrl = false;       // Ctrl held while the key is pressed

  friend bool operator==(const SoftphoneKey&, const SoftphoneKey&) = default;
};

class SoftphoneWindow {
 public:
  virtual ~SoftphoneWindow() = default;

  // Titles are compared as the system's own search compares them, letter case ignored.
  // Only visible windows count: a hidden one cannot take the keys meant for the softphone.
  // A top-level window whose whole title is `title`.
  virtual std::optional<WindowHandle> FindByTitle(std::string_view title) = 0;
  // A top-level window whose title begins with `prefix`.
  virtual std::optional<WindowHandle> FindByTitlePrefix(std::string_view prefix) = 0;

  // False when the system refused to give the window the foreground (or it has gone).
  virtual bool BringToForeground(WindowHandle window) = 0;

  // Queues the keys, in order, for the foreground window and returns without waiting for it
  // to read them. False when the system would not take them.
  virtual bool TypeKeys(std::span<const SoftphoneKey> keys) = 0;
};

}  // namespace tavoro::platform
