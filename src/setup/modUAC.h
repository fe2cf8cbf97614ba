#pragma once
// User Account Control, and re-registering the two common-controls ActiveX files the main
// program's windows use, which only an unelevated Vista without UAC lets a user do.

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace tavoro::setup {

inline constexpr std::string_view kUacPolicyKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr std::string_view kUacPolicyValue = "EnableLUA";

// In the order they run: each file unregistered, then registered again.
inline constexpr std::array<std::string_view, 4> kRegistrationCommands = {
    "regsvr32 /u /s mscomct2.ocx",
    "regsvr32 /s mscomct2.ocx",
    "regsvr32 /u /s mscomctl.ocx",
    "regsvr32 /s mscomctl.ocx",
};

class modUAC {
 public:
  modUAC(platform::Registry& registry, platform::Shell& shell, platform::EventLoop& loop,
         platform::Clock& clock)
      : registry_(registry), shell_(shell), loop_(loop), clock_(clock) {}

  // True when the machine's policy value is the number 1; a missing key or value, or one of
  // another type, counts as off.
  bool IsUacEnabled();

  // Runs the registration commands one after the other; their results are not examined.
  void ReregisterControls();

  // Starts `command_line` minimized and returns once its process has ended, or after
  // kCommandLimitMs when it has not, pumping this thread's messages meanwhile. False when it
  // could not be started.
  bool RunCommandAndWait(std::string_view command_line);

  // The longest a wait goes without pumping when no message wakes it.
  static constexpr std::uint32_t kWaitSliceMs = 50;
  // A registration takes well under a second; one still running after this has hung (on a
  // message nobody sees, say) and is left to itself.
  static constexpr std::uint64_t kCommandLimitMs = 60'000;

 private:
  platform::Registry& registry_;
  platform::Shell& shell_;
  platform::EventLoop& loop_;
  platform::Clock& clock_;
};

}  // namespace tavoro::setup
