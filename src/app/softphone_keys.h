#pragma once
// Key strings for the softphone and how they become key presses. The notation is the small
// part of the classic SendKeys notation the program uses: "^" before a letter holds Ctrl for
// that letter, "{ENTER}" is the Enter key, and every other character is typed as itself.

#include <string_view>
#include <vector>

#include "platform/softphone_window.h"

namespace tavoro::app {

// Ends the softphone's call.
inline constexpr std::string_view SoftphoneHangUpKey = "^h";
// Dials the number typed so far, or takes the ringing call.
inline constexpr std::string_view SoftphoneCallKey = "{ENTER}";

// Text is UTF-8; a byte that starts no valid character is typed as U+FFFD.
std::vector<platform::SoftphoneKey> ParseSoftphoneKeys(std::string_view keys);

}  // namespace tavoro::app
