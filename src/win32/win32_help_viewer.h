#pragma once
// The system's HTML Help viewer (hhctrl.ocx), through its ANSI entry point HtmlHelpA: the help
// file's contents and index are in the ANSI code page, as the viewer of a Japanese system reads
// them.

#include "platform/help_viewer.h"

namespace tavoro::platform::win32 {

class Win32HelpViewer final : public HelpViewer {
 public:
  // Returns WindowHandle{} when the viewer is not installed or cannot open the file.
  WindowHandle DisplayContents(WindowHandle owner, std::string_view help_file) override;
};

}  // namespace tavoro::platform::win32
