#pragma once
// Message boxes with nobody to read them: each box is kept for the test, and a responder the
// test sets plays the user while the box is up. A real box runs its own message loop until
// OK is pressed, so a responder that pumps (RunFor) reproduces events and ticks that arrive
// while a box waits for the user.

#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace tavoro::platform::headless {

struct ShownMessageBox {
  std::string text;
  MsgBoxIcon icon = MsgBoxIcon::None;
  std::string title;

  friend bool operator==(const ShownMessageBox&, const ShownMessageBox&) = default;
};

class RecordedMessageBoxes final : public MessageBoxes {
 public:
  using Responder = std::function<void(const ShownMessageBox&)>;

  void MsgBox(std::string_view text, MsgBoxIcon icon, std::string_view title) override;

  // Runs while each box is shown; the box closes when it returns. Without one, every box is
  // closed at once.
  void SetResponder(Responder responder) { responder_ = std::move(responder); }

  // Every box shown so far, oldest first.
  const std::vector<ShownMessageBox>& shown() const { return shown_; }

 private:
  std::vector<ShownMessageBox> shown_;
  Responder responder_;
};

}  // namespace tavoro::platform::headless
