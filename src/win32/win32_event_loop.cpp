#include "win32/win32_event_loop.h"

#include <system_error>

namespace tavoro::platform::win32 {

Win32EventLoop::Win32EventLoop()
    : window_([this](UINT message, WPARAM wparam, LPARAM) { return OnMessage(message, wparam); }) {}

void Win32EventLoop::DoEvents() {
  ThrowPendingFailure();
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Peeking removed it; put it back for the Run that is waiting to end on it.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

TimerId Win32EventLoop::SetTimer(std::uint32_t interval_ms, std::function<void()> on_tick) {
  const TimerId id = next_timer_id_++;
  if (::SetTimer(window_.handle(), id, interval_ms, nullptr) == 0)
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), "SetTimer");
  timers_.emplace(id, std::make_shared<std::function<void()>>(std::move(on_tick)));
  return id;
}

void Win32EventLoop::KillTimer(TimerId id) {
  if (timers_.erase(id) != 0)
    ::KillTimer(window_.handle(), id);
}

void Win32EventLoop::Run() {
  ThrowPendingFailure();
  MSG message{};
  // GetMessageW gives 0 for WM_QUIT; -1 (an invalid window filter) cannot happen with none.
  while (::GetMessageW(&message, nullptr, 0, 0) > 0)
    Dispatch(message);
}

bool Win32EventLoop::OnMessage(UINT message, WPARAM wparam) {
  if (message != WM_TIMER)
    return false;
  // A tick of a timer killed after the system generated it is dropped here.
  const auto timer = timers_.find(static_cast<TimerId>(wparam));
  if (timer == timers_.end())
    return true;
  const auto on_tick = timer->second;
  try {
    (*on_tick)();
  } catch (...) {
    Fail(std::current_exception());
  }
  return true;
}

void Win32EventLoop::Fail(std::exception_ptr failure) {
  if (!pending_failure_)
    pending_failure_ = std::move(failure);
}

void Win32EventLoop::Dispatch(MSG& message) {
  if (!filter_ || !filter_(message)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ThrowPendingFailure();
}

void Win32EventLoop::ThrowPendingFailure() {
  if (!pending_failure_)
    return;
  std::exception_ptr failure;
  std::swap(failure, pending_failure_);
  std::rethrow_exception(failure);
}

}  // namespace tavoro::platform::win32
