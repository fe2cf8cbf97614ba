#include "setup/frmOndawn.h"

#include "platform/paths.h"
#include "settings/modGeneral.h"
#include "setup/modUAC.h"

namespace tavoro::setup {

using platform::SpecialFolder;

frmOndawn::frmOndawn(platform::Runtime runtime, forms::WindowSystem& windows,
                     platform::Registry& registry, platform::VersionQuery& version,
                     platform::Shell& shell)
    : Form(runtime, windows, "frmOndawn", std::string(kOndawnTitle), {0, 0, 4680, 3195},
           forms::BorderStyle::FixedSingle),
      registry_(registry),
      version_(version),
      shell_(shell) {}

void frmOndawn::Form_Load() {
  modUAC uac(registry_, shell_, runtime().loop, runtime().clock);
  const std::string version = settings::GetOSVersion(version_);
  const bool uac_enabled = uac.IsUacEnabled();
  if (version == "VISTA" && !uac_enabled)
    uac.ReregisterControls();
  if (settings::GetOSVersion(version_) != "VISTA")
    CreateShortcuts();
  StartMainProgram();
  Unload();
}

std::optional<std::string> frmOndawn::ShortcutPath(SpecialFolder folder) {
  const std::optional<std::string> place = shell_.SpecialFolderPath(folder);
  // An empty folder name would put the file under the root of the current drive.
  if (!place || place->empty())
    return std::nullopt;
  return platform::JoinPath(platform::JoinPath(*place, kShortcutFolder), kShortcutFile);
}

void frmOndawn::CreateShortcuts() {
  constexpr SpecialFolder kPlaces[] = {SpecialFolder::Desktop, SpecialFolder::Programs};
  for (const SpecialFolder folder : kPlaces) {
    if (const auto path = ShortcutPath(folder))
      shell_.RemoveFile(*path);
  }
  const std::string own_folder = runtime().process.AppPath();
  const platform::Shortcut shortcut{
      shell_.ExpandEnvironment(platform::JoinPath(own_folder, kMainProgramFile)),
      shell_.ExpandEnvironment(own_folder), kShortcutWindowStyle};
  for (const SpecialFolder folder : kPlaces) {
    if (const auto path = ShortcutPath(folder))
      shell_.CreateShortcut(*path, shortcut);
  }
}

void frmOndawn::StartMainProgram() {
  const std::string program = platform::JoinPath(runtime().process.AppPath(), kMainProgramFile);
  // Quoted, or a folder with spaces ("C:\Program Files\...") would have the system try
  // "C:\Program.exe" first.
  if (!shell_.Start("\"" + program + "\"", platform::WindowShow::NormalFocus)) {
    runtime().boxes.MsgBox(
        std::string(kMainProgramFile) + " を起動できませんでした。\r\n" + program,
        platform::MsgBoxIcon::Exclamation, kOndawnTitle);
  }
}

}  // namespace tavoro::setup
