#pragma once
// The window thread's message loop. Timers are window timers on a message-only window, so
// their ticks are WM_TIMER messages and merge and wait exactly as the system makes them.
//
// A failure thrown by a tick is caught before it reaches the system's frames (C++ exceptions
// must not cross DispatchMessageW) and thrown again from the DoEvents or Run that dispatched
// it; a tick that a foreign loop (a message box's) dispatched fails at the next DoEvents or
// Run.

#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <memory>

#include "platform/event_loop.h"
#include "win32/message_window.h"

namespace tavoro::platform::win32 {

class Win32EventLoop final : public EventLoop {
 public:
  // Looks at each message before it is dispatched and returns true when it consumed it: the
  // hook for IsDialogMessageW, which gives dialogs their Tab and Enter keys.
  using MessageFilter = std::function<bool(MSG& message)>;

  Win32EventLoop();

  void DoEvents() override;
  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
  TimerId SetTimer(std::uint32_t interval_ms, std::function<void()> on_tick) override;
  void KillTimer(TimerId id) override;
  // Ends on WM_QUIT (PostQuitMessage when the main window is destroyed).
  void Run() override;

  void SetMessageFilter(MessageFilter filter) { filter_ = std::move(filter); }

  // Hands on a failure caught where it must not travel further (a window procedure, a COM
  // event sink): the next DoEvents or Run throws it on the window thread. The first one wins.
  void Fail(std::exception_ptr failure);

 private:
  bool OnMessage(UINT message, WPARAM wparam);
  void Dispatch(MSG& message);
  void ThrowPendingFailure();

  // Shared so that a tick that kills its own timer keeps running on a live function.
  std::map<TimerId, std::shared_ptr<std::function<void()>>> timers_;
  TimerId next_timer_id_ = 1;
  std::exception_ptr pending_failure_;
  MessageFilter filter_;
  // Declared last: destroyed first, which kills its timers while the callbacks still exist.
  MessageWindow window_;
};

}  // namespace tavoro::platform::win32
