#pragma once
// The program's help: Tavoro.chm beside the program, opened on its contents.

#include <string>
#include <string_view>

#include "platform/help_viewer.h"

namespace tavoro::ui {

// The help file of a program installed in `program_folder`.
std::string HelpFilePath(std::string_view program_folder);

// Opens `help_file` in the viewer; what the viewer returns is of no use to the caller, and a
// missing file is the viewer's to report.
platform::WindowHandle ShowHelp(platform::HelpViewer& viewer, platform::WindowHandle owner,
                                std::string_view help_file);

}  // namespace tavoro::ui
