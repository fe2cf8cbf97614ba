#include "ui/modHTMLHelp.h"

#include "platform/paths.h"

namespace tavoro::ui {

std::string HelpFilePath(std::string_view program_folder) {
  return platform::JoinPath(program_folder, "Tavoro.chm");
}

platform::WindowHandle ShowHelp(platform::HelpViewer& viewer, platform::WindowHandle owner,
                                std::string_view help_file) {
  return viewer.DisplayContents(owner, help_file);
}

}  // namespace tavoro::ui
