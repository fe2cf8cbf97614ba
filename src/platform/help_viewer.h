#pragma once
// The system's HTML Help viewer.

#include <string_view>

#include "platform/window_handle.h"

namespace tavoro::platform {

// Owners and viewers are windows of the system; WindowHandle{} stands for none.

class HelpViewer {
 public:
  virtual ~HelpViewer() = default;
  // Opens the compiled help file on its contents tab, owned by `owner`. Returns the viewer's
  // window, or WindowHandle{} when it could not be opened (a missing file included).
  virtual WindowHandle DisplayContents(WindowHandle owner, std::string_view help_file) = 0;
};

}  // namespace tavoro::platform
