#pragma once
// A form's window timer: ticks every `interval` milliseconds while it is enabled and its form
// is loaded, on the window thread, whenever the thread pumps messages.

#include <cstdint>
#include <string>

#include "forms/controls.h"
#include "platform/event_loop.h"

namespace tavoro::forms {

class Timer {
 public:
  Timer(Form& form, std::string name, std::uint32_t interval_ms, bool enabled = false);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  const std::string& name() const { return name_; }
  bool enabled() const { return enabled_; }
  // Enabling a running timer leaves its rhythm alone; disabling drops a tick already due.
  void set_enabled(bool enabled);
  std::uint32_t interval() const { return interval_ms_; }
  // A new interval starts the count again; 0 stops the ticks but keeps the timer enabled.
  void set_interval(std::uint32_t interval_ms);

  // Arms or disarms the system timer to match the state: called by the form as it loads and
  // unloads, so a timer of a form that is not loaded never ticks.
  void Sync();

  Event Tick;

 private:
  void Disarm();

  Form& form_;
  std::string name_;
  std::uint32_t interval_ms_;
  bool enabled_;
  platform::TimerId armed_ = 0;
};

}  // namespace tavoro::forms
