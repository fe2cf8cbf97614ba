#pragma once
// The shell "open" of the headless platform: remembers what it was asked to open.

#include <string>
#include <vector>

#include "platform/shell_open.h"

namespace tavoro::platform::headless {

class RecordingShellOpen final : public ShellOpen {
 public:
  bool Open(std::string_view target) override {
    opened.emplace_back(target);
    return succeeds;
  }
  bool succeeds = true;
  std::vector<std::string> opened;
};

}  // namespace tavoro::platform::headless
