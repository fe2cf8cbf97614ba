#pragma once
// The shell's "open" of a document or web page: whatever program the user has chosen for it
// (the default browser for a web address) opens it in a normal window.

#include <string_view>

namespace tavoro::platform {

class ShellOpen {
 public:
  virtual ~ShellOpen() = default;
  // False when the shell could not open it; callers that only offer a convenience ignore that.
  virtual bool Open(std::string_view target) = 0;
};

}  // namespace tavoro::platform
