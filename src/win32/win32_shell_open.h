#pragma once
// The shell's "open" through ShellExecuteW. A web address goes to the user's default browser.
// ShellExecute may hand the address over through COM or DDE, so the calling thread should have
// joined an apartment (ComApartment) and keep pumping messages.

#include "platform/shell_open.h"

namespace tavoro::platform::win32 {

class Win32ShellOpen final : public ShellOpen {
 public:
  bool Open(std::string_view target) override;
};

}  // namespace tavoro::platform::win32
