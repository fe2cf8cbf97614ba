#pragma once
// The one window thread's event loop. Every handler runs on it; waits pump it, so peer
// events, timer ticks and menu commands run inside other handlers' waits.

#include <cstdint>
#include <functional>

namespace tavoro::platform {

using TimerId = std::uint32_t;

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Processes every message pending now (timer ticks that are due, peer events, input) and
  // returns; it never waits for new ones (`DoEvents`).
  virtual void DoEvents() = 0;

  // Blocks the thread for `milliseconds` without processing anything (`Sleep`). What falls
  // due meanwhile waits for the next DoEvents.
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // A repeating window timer: `on_tick` runs on this thread from the loop every
  // `interval_ms` while the timer lives. Ticks that fall due while nobody pumps are merged
  // into one, as window timers are. Returns an id that is never 0.
  virtual TimerId SetTimer(std::uint32_t interval_ms, std::function<void()> on_tick) = 0;

  // Stops the timer; no tick of it runs afterwards, even one already due. Unknown ids and
  // repeated calls are harmless. A handler may kill its own timer from inside its tick.
  virtual void KillTimer(TimerId id) = 0;

  // Runs the loop until the program ends (the main window's life).
  virtual void Run() = 0;
};

}  // namespace tavoro::platform
