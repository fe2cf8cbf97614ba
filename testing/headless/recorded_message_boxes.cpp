#include "headless/recorded_message_boxes.h"

namespace tavoro::platform::headless {

void RecordedMessageBoxes::MsgBox(std::string_view text, MsgBoxIcon icon, std::string_view title) {
  // The responder gets its own copy: it may show further boxes, which can move the record.
  const ShownMessageBox box{std::string(text), icon, std::string(title)};
  shown_.push_back(box);
  if (responder_) {
    // Held by value, so a responder that replaces itself is not destroyed while it runs.
    const Responder responder = responder_;
    responder(box);
  }
}

}  // namespace tavoro::platform::headless
