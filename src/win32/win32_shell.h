#pragma once
// The shell through its W functions and its shortcut object. Shortcuts need COM: the thread
// must have joined an apartment (ComApartment) before one is made.

#include "platform/shell.h"

namespace tavoro::platform::win32 {

class Win32Shell final : public Shell {
 public:
  std::optional<std::string> SpecialFolderPath(SpecialFolder folder) override;
  bool RemoveFile(std::string_view path) override;
  bool CreateShortcut(std::string_view path, const Shortcut& shortcut) override;
  std::string ExpandEnvironment(std::string_view text) override;
  std::unique_ptr<StartedProcess> Start(std::string_view command_line, WindowShow show) override;
};

}  // namespace tavoro::platform::win32
