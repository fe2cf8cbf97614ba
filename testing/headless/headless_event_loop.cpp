#include "headless/headless_event_loop.h"

#include <algorithm>

namespace tavoro::platform::headless {
namespace {

// SetTimer's USER_TIMER_MINIMUM.
constexpr std::uint32_t kMinimumIntervalMs = 10;

}  // namespace

void HeadlessEventLoop::DoEvents() {
  while (DeliverOne()) {
  }
}

TimerId HeadlessEventLoop::SetTimer(std::uint32_t interval_ms, std::function<void()> on_tick) {
  const std::uint64_t interval = std::max(interval_ms, kMinimumIntervalMs);
  const TimerId id = next_timer_id_++;
  timers_.emplace(id, Timer{interval, clock_.Milliseconds() + interval,
                            std::make_shared<std::function<void()>>(std::move(on_tick))});
  return id;
}

void HeadlessEventLoop::Run() {
  const std::uint64_t stop_at = clock_.Milliseconds() + run_limit_ms_;
  switch (Idle(stop_at, [this] { return quit_requested_; })) {
    case IdleEnd::Done:
      quit_requested_ = false;
      last_run_outcome_ = RunOutcome::Quit;
      break;
    case IdleEnd::NothingLeft:
      last_run_outcome_ = RunOutcome::Idle;
      break;
    case IdleEnd::StopTime:
      last_run_outcome_ = RunOutcome::TimeLimit;
      break;
  }
}

void HeadlessEventLoop::Post(std::uint64_t delay_ms, std::function<void()> event) {
  PostAt(clock_.Milliseconds() + delay_ms, std::move(event));
}

void HeadlessEventLoop::PostAt(std::uint64_t time_ms, std::function<void()> event) {
  events_.emplace(EventKey{time_ms, next_event_number_++}, std::move(event));
}

void HeadlessEventLoop::RunFor(std::uint64_t milliseconds) {
  const std::uint64_t stop_at = clock_.Milliseconds() + milliseconds;
  Idle(stop_at, [] { return false; });
  clock_.AdvanceTo(stop_at);
}

bool HeadlessEventLoop::DeliverOne() {
  const std::uint64_t now = clock_.Milliseconds();
  if (!events_.empty() && events_.begin()->first.first <= now) {
    auto event = events_.extract(events_.begin());
    event.mapped()();
    return true;
  }

  auto due = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due_ms <= now &&
        (due == timers_.end() || it->second.due_ms < due->second.due_ms))
      due = it;
  }
  if (due == timers_.end())
    return false;

  Timer& timer = due->second;
  const std::uint64_t periods_passed = (now - timer.due_ms) / timer.interval_ms + 1;
  timer.due_ms += periods_passed * timer.interval_ms;
  const auto on_tick = timer.on_tick;
  (*on_tick)();
  return true;
}

std::optional<std::uint64_t> HeadlessEventLoop::NextDue() const {
  std::optional<std::uint64_t> next;
  if (!events_.empty())
    next = events_.begin()->first.first;
  for (const auto& [id, timer] : timers_) {
    if (!next || timer.due_ms < *next)
      next = timer.due_ms;
  }
  return next;
}

HeadlessEventLoop::IdleEnd HeadlessEventLoop::Idle(std::uint64_t stop_at,
                                                   const std::function<bool()>& done) {
  for (;;) {
    DoEvents();
    if (done())
      return IdleEnd::Done;
    const std::optional<std::uint64_t> next = NextDue();
    if (!next)
      return IdleEnd::NothingLeft;
    if (*next > stop_at) {
      clock_.AdvanceTo(stop_at);
      return IdleEnd::StopTime;
    }
    clock_.AdvanceTo(*next);
  }
}

}  // namespace tavoro::platform::headless
