#include "app/pin_gate.h"

namespace tavoro::app {

void PinGate::Close(bool pin_set) {
  awaited_ = pin_set;
  wrong_tries_ = 0;
  keyed_.clear();
}

PinGate::Outcome PinGate::Take(std::string_view code, std::string_view pin) {
  if (!awaited_)
    return Outcome::Relay;
  if (wrong_tries_ >= kTries)
    return Outcome::Held;
  if (code != "#") {
    // A caller pressing on and on is not kept in memory without end; a try that long is
    // wrong whatever follows.
    if (keyed_.size() < kLongestTry)
      keyed_ += code;
    return Outcome::Held;
  }
  const bool right = !pin.empty() && keyed_ == pin;
  keyed_.clear();
  if (right) {
    awaited_ = false;
    return Outcome::Opened;
  }
  return ++wrong_tries_ >= kTries ? Outcome::TurnAway : Outcome::Wrong;
}

}  // namespace tavoro::app
