#pragma once
// The help viewer of the headless platform: remembers what it was asked to open.

#include <string>
#include <vector>

#include "platform/help_viewer.h"

namespace tavoro::platform::headless {

class RecordingHelpViewer final : public HelpViewer {
 public:
  struct Request {
    WindowHandle owner;
    std::string help_file;
  };

  WindowHandle DisplayContents(WindowHandle owner, std::string_view help_file) override {
    requests.push_back({owner, std::string(help_file)});
    return available ? kViewerWindow : WindowHandle{};
  }

  static constexpr WindowHandle kViewerWindow{0x4e11};
  bool available = true;
  std::vector<Request> requests;
};

}  // namespace tavoro::platform::headless
