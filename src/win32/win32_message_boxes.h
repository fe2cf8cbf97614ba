#pragma once
// Message boxes through MessageBoxW; the box's own modal loop keeps timers and peer events
// running while it waits for OK.

#include "platform/message_box.h"

namespace tavoro::platform::win32 {

class Win32MessageBoxes final : public MessageBoxes {
 public:
  void MsgBox(std::string_view text, MsgBoxIcon icon, std::string_view title) override;
};

}  // namespace tavoro::platform::win32
