#pragma once
// The PIN an accepted caller keys before the home line is given to them. It is kept with the
// user's credentials, never in the settings file; no PIN means callers dial at once.

#include <optional>
#include <string>
#include <string_view>

#include "platform/credential_store.h"

namespace tavoro::settings {

inline constexpr std::size_t kPinMinDigits = 4;
inline constexpr std::size_t kPinMaxDigits = 12;

// The credential's name, the program's own.
inline constexpr std::string_view kPinTarget = "Tavorophone/PIN";

// What is wrong with a PIN and its confirmation as typed, in words for the user; none when
// they may be kept. Both empty is no PIN, which is allowed.
std::optional<std::string> PinProblem(std::string_view pin, std::string_view confirmation);

// Stands for a PIN that is kept but cannot be read or is not one: no keypad can key it, so
// callers are turned away until a new PIN is saved, rather than let through without one.
inline constexpr std::string_view kUnusablePin = "-";

// The PIN kept for this user: empty when there is none, kUnusablePin when what is kept cannot
// serve as one.
std::string ReadPin(platform::CredentialStore& store);

// Keeps `pin` (empty removes it). The system's result code; kSuccess also when there was
// nothing to remove.
platform::SystemCode SavePin(platform::CredentialStore& store, std::string_view pin);

}  // namespace tavoro::settings
