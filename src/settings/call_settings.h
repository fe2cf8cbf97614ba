#pragma once
// The running program's copy of its call settings: loaded at start-up, replaced by the
// settings dialog's OK, read by the call handling.

#include <array>
#include <string>

namespace tavoro::settings {

inline constexpr int kMaxAcceptedCallers = 100;

struct CallSettings {
  // The Skype user called when the home line rings.
  std::string call_to;
  // Positions 1 to 100 (index 0 unused, so positions read as the keys AcceptFrom-1 to -100
  // they come from); an empty text is an unused position.
  std::array<std::string, kMaxAcceptedCallers + 1> accepted_callers;
  // What an accepted caller keys before dialling; empty when callers dial at once.
  std::string pin;
};

}  // namespace tavoro::settings
