#pragma once
// The softphone driven through the desktop: visible windows found by title, activated with
// SetForegroundWindow, keys typed with SendInput as the foreground window's keyboard layout
// types them.

#include "platform/softphone_window.h"

namespace tavoro::platform::win32 {

class Win32SoftphoneWindow final : public SoftphoneWindow {
 public:
  std::optional<WindowHandle> FindByTitle(std::string_view title) override;
  std::optional<WindowHandle> FindByTitlePrefix(std::string_view prefix) override;
  // Returns once the window is the foreground and its own thread has taken the activation,
  // pumping this thread's sent messages meanwhile; gives up after half a second.
  bool BringToForeground(WindowHandle window) override;
  bool TypeKeys(std::span<const SoftphoneKey> keys) override;
};

}  // namespace tavoro::platform::win32
