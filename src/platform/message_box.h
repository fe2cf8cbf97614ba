#pragma once
// Message boxes. Every box of the programs has an OK button only; what differs is the icon
// and the title.

#include <string>
#include <string_view>

namespace tavoro::platform {

enum class MsgBoxIcon {
  None,
  Information,  // advice
  Exclamation,  // failures
  Critical,     // the run-time error message
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a modal box with an OK button and returns once it is closed (`MsgBox`).
  // Texts are UTF-8; lines are joined with CR LF.
  virtual void MsgBox(std::string_view text, MsgBoxIcon icon, std::string_view title) = 0;
};

}  // namespace tavoro::platform
