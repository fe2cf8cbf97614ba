#include "forms/timer.h"

#include "forms/form.h"

namespace tavoro::forms {

Timer::Timer(Form& form, std::string name, std::uint32_t interval_ms, bool enabled)
    : form_(form), name_(std::move(name)), interval_ms_(interval_ms), enabled_(enabled) {
  form_.Register(*this);
  Sync();
}

Timer::~Timer() {
  Disarm();
  form_.Unregister(*this);
}

void Timer::set_enabled(bool enabled) {
  enabled_ = enabled;
  Sync();
}

void Timer::set_interval(std::uint32_t interval_ms) {
  interval_ms_ = interval_ms;
  Disarm();
  Sync();
}

void Timer::Sync() {
  const bool should_run = enabled_ && interval_ms_ > 0 && form_.loaded();
  if (should_run && armed_ == 0) {
    armed_ = form_.runtime().loop.SetTimer(interval_ms_, [this] {
      if (Tick)
        Tick();
    });
  } else if (!should_run) {
    Disarm();
  }
}

void Timer::Disarm() {
  if (armed_ == 0)
    return;
  form_.runtime().loop.KillTimer(armed_);
  armed_ = 0;
}

}  // namespace tavoro::forms
