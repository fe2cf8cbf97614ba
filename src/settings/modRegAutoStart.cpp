#include "settings/modRegAutoStart.h"

#include <memory>

#include "platform/paths.h"
#include "product/identity.h"
#include "settings/modGeneral.h"

namespace tavoro::settings {

using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryRoot;
using platform::SystemCode;

modRegAutoStart::modRegAutoStart(platform::Registry& registry, platform::VersionQuery& version,
                                 platform::MessageBoxes& boxes, std::string_view program_folder)
    : registry_(registry),
      version_(version),
      boxes_(boxes),
      run_command_("\"" + platform::JoinPath(program_folder, kExecutableName) + "\"") {}

RegistryRoot modRegAutoStart::ChosenScope() {
  const std::string os = GetOSVersion(version_);
  return (os == "7" || os == "VISTA") ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
}

void modRegAutoStart::ApplyAutoStart(bool on) {
  const RegistryRoot scope = ChosenScope();
  if (on) {
    AddRunValue(scope);
  } else {
    RemoveRunValue(scope);
  }
}

void modRegAutoStart::AddRunValue(RegistryRoot scope) {
  std::unique_ptr<RegistryKey> key;
  if (const SystemCode code =
          registry_.CreateKey(scope, kRunKeyPath, RegistryAccess::SetValue, key);
      code != platform::kSuccess) {
    ShowFailure(code);
    return;
  }
  if (const SystemCode code = key->SetString(kRunValueName, run_command_);
      code != platform::kSuccess) {
    ShowFailure(code);
  }
}

void modRegAutoStart::RemoveRunValue(RegistryRoot scope) {
  std::unique_ptr<RegistryKey> key;
  if (registry_.OpenKey(scope, kRunKeyPath, RegistryAccess::All, key) == platform::kSuccess) {
    key->DeleteValue(kRunValueName);
  }
}

void modRegAutoStart::ShowFailure(SystemCode code) {
  boxes_.MsgBox(registry_.MessageText(code), platform::MsgBoxIcon::Exclamation, kProgramTitle);
}

}  // namespace tavoro::settings
