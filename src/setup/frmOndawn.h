#pragma once
// The first-run tool's only form. It is never seen: loading it is the whole run, and it
// unloads itself at the end of loading, so it is gone before it could be shown and the
// program ends.

#include <optional>
#include <string>
#include <string_view>

#include "forms/form.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "platform/shell.h"
#include "platform/version.h"

namespace tavoro::setup {

inline constexpr std::string_view kOndawnTitle = "Ondawn";
// The tool has always named the file in lower case; Windows matches file names without
// regard to case, so it is the file shipped as "Tavoro.exe".
inline constexpr std::string_view kMainProgramFile = "tavoro.exe";
inline constexpr std::string_view kShortcutFolder = "Tavorophone";
inline constexpr std::string_view kShortcutFile = "Tavorophone.lnk";
// The show command stored in both shortcuts.
inline constexpr int kShortcutWindowStyle = 4;

class frmOndawn final : public forms::Form {
 public:
  frmOndawn(platform::Runtime runtime, forms::WindowSystem& windows, platform::Registry& registry,
            platform::VersionQuery& version, platform::Shell& shell);

  // Replaces the shortcut in the "Tavorophone" folder of the desktop and of the Programs
  // menu. Each step is tried on its own and a failing one is passed over silently; a missing
  // "Tavorophone" folder is not created, so that place gets no shortcut.
  void CreateShortcuts();

 protected:
  // On Vista without UAC re-registers the controls; elsewhere than Vista makes the shortcuts;
  // then starts the main program without waiting for it, and unloads the form.
  void Form_Load() override;

 private:
  std::optional<std::string> ShortcutPath(platform::SpecialFolder folder);
  void StartMainProgram();

  platform::Registry& registry_;
  platform::VersionQuery& version_;
  platform::Shell& shell_;
};

}  // namespace tavoro::setup
