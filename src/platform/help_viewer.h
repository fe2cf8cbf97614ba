#pragma once
// The system's HTML Help viewer.

#include <cstdint>
#include <string_view>

namespace tavoro::platform {

// A window of the program as the system knows it (an HWND on Windows); 0 for none.
using WindowHandle = std::uintptr_t;

class HelpViewer {
 public:
  virtual ~HelpViewer() = default;
  // Opens the compiled help file on its contents tab, owned by `owner`. Returns the viewer's
  // window, or 0 when it could not be opened (a missing file included).
  virtual WindowHandle DisplayContents(WindowHandle owner, std::string_view help_file) = 0;
};

}  // namespace tavoro::platform
