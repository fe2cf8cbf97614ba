#pragma once
// Start with Windows: one string value in the Run key, per user on the Windows versions named
// "VISTA" and "7", per machine on the others.

#include <string>
#include <string_view>

#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/version.h"

namespace tavoro::settings {

inline constexpr std::string_view kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValueName = "Tavoro";

class modRegAutoStart {
 public:
  modRegAutoStart(platform::Registry& registry, platform::VersionQuery& version,
                  platform::MessageBoxes& boxes, std::string_view program_folder);

  // Registers (on) or unregisters (off) the program in the scope the Windows version calls for.
  void ApplyAutoStart(bool on);

  // Writes the Run value; a failure is shown with the system's text for its code.
  void AddRunValue(platform::RegistryRoot scope);

  // Deletes the Run value; a missing key or value is no failure and shows nothing.
  void RemoveRunValue(platform::RegistryRoot scope);

  // The scope registration uses on this system.
  platform::RegistryRoot ChosenScope();

  // The command Windows runs at logon: the program's path in double quotes, so that a folder
  // with spaces ("C:\Program Files\...") cannot make Windows start some other program first.
  const std::string& RunCommand() const { return run_command_; }

 private:
  void ShowFailure(platform::SystemCode code);

  platform::Registry& registry_;
  platform::VersionQuery& version_;
  platform::MessageBoxes& boxes_;
  std::string run_command_;
};

}  // namespace tavoro::settings
