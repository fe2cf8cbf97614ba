#pragma once
// The window thread's loop on the virtual clock. It follows what the Windows message queue
// does, so handlers meet the same orders and re-entrancy in tests as on a desktop:
//
// - Sleep only moves the clock. Whatever falls due meanwhile waits for the next DoEvents.
// - DoEvents delivers what is due by now, one item at a time, until nothing due is left. An
//   item posted by a handler for now or earlier is delivered in the same call, because
//   PeekMessage keeps draining the queue it is filled from.
// - Posted events (the peers' messages) come before timer ticks: Windows hands out WM_TIMER
//   only when no posted message is waiting. Among themselves, events go by due time, then
//   posting order; ticks go by due time.
// - A timer is one flag, not a queue: however many ticks it missed, it fires once, and its
//   next tick falls on its own cadence (start + n * interval) after the moment it fired, the
//   way Windows and Wine re-arm an expired timer. Intervals below 10 ms become 10 ms, as
//   SetTimer makes them.
// - A handler may pump (DoEvents, Sleep, RunFor) and set or kill any timer, its own included;
//   the item it runs for was taken off the queue or re-armed before it was called.
// - An exception from a handler leaves through the pumping call that delivered it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "headless/virtual_clock.h"
#include "platform/event_loop.h"

namespace tavoro::platform::headless {

// Why the last Run returned.
enum class RunOutcome {
  Quit,       // RequestQuit was called (the main window closed)
  Idle,       // nothing was left to run: a real program would wait for input forever
  TimeLimit,  // the run limit passed with timers still running
};

class HeadlessEventLoop final : public EventLoop {
 public:
  explicit HeadlessEventLoop(VirtualClock& clock) : clock_(clock) {}

  void DoEvents() override;
  void Sleep(std::uint32_t milliseconds) override { clock_.Advance(milliseconds); }
  TimerId SetTimer(std::uint32_t interval_ms, std::function<void()> on_tick) override;
  void KillTimer(TimerId id) override { timers_.erase(id); }

  // Idles as the program's main loop would: jumps the clock to each next due item and pumps,
  // until quit is requested, nothing is left, or `SetRunLimit` of virtual time has passed
  // (a program whose timers never stop would otherwise never return to the test).
  void Run() override;
  RunOutcome last_run_outcome() const { return last_run_outcome_; }
  void SetRunLimit(std::uint64_t milliseconds) { run_limit_ms_ = milliseconds; }

  // The headless PostQuitMessage: the running or next Run returns once the queue is drained.
  void RequestQuit() { quit_requested_ = true; }

  // A peer's message arriving `delay_ms` from now, or at clock time `time_ms`.
  void Post(std::uint64_t delay_ms, std::function<void()> event);
  void PostAt(std::uint64_t time_ms, std::function<void()> event);

  // Lets `milliseconds` pass while the program idles in its loop: every item is delivered at
  // its exact due time, and the clock ends at now + `milliseconds` (or later, if a handler
  // slept past it).
  void RunFor(std::uint64_t milliseconds);

  std::size_t timer_count() const { return timers_.size(); }
  std::size_t pending_event_count() const { return events_.size(); }

 private:
  struct Timer {
    std::uint64_t interval_ms;
    std::uint64_t due_ms;
    // Shared so that a tick that kills its own timer keeps running on a live function.
    std::shared_ptr<std::function<void()>> on_tick;
  };
  // Events are keyed by due time, then by a running number that keeps posting order.
  using EventKey = std::pair<std::uint64_t, std::uint64_t>;

  enum class IdleEnd { Done, NothingLeft, StopTime };

  bool DeliverOne();
  std::optional<std::uint64_t> NextDue() const;
  // Pumps at each due time until `done` holds, nothing is left, or the next item lies after
  // `stop_at` (the clock is then moved to `stop_at`).
  IdleEnd Idle(std::uint64_t stop_at, const std::function<bool()>& done);

  VirtualClock& clock_;
  std::map<EventKey, std::function<void()>> events_;
  std::uint64_t next_event_number_ = 0;
  std::map<TimerId, Timer> timers_;
  TimerId next_timer_id_ = 1;
  bool quit_requested_ = false;
  std::uint64_t run_limit_ms_ = 24ULL * 60 * 60 * 1000;
  RunOutcome last_run_outcome_ = RunOutcome::Idle;
};

}  // namespace tavoro::platform::headless
