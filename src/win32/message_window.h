#pragma once
// A message-only window (parent HWND_MESSAGE): an address on this thread for timers and posted
// messages. It is never shown and takes no part in broadcasts or window enumeration, so
// nothing but its owner's messages reaches it.

#include <windows.h>

#include <functional>

namespace tavoro::platform::win32 {

class MessageWindow {
 public:
  // Returns true when it handled the message; the others go to DefWindowProcW.
  using Handler = std::function<bool(UINT message, WPARAM wparam, LPARAM lparam)>;

  explicit MessageWindow(Handler handler);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND handle() const { return handle_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  Handler handler_;
  HWND handle_ = nullptr;
};

}  // namespace tavoro::platform::win32
