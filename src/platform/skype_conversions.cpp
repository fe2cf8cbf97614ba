#include "platform/skype_conversions.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavoro::platform::skype_conversion {
namespace {

constexpr std::int32_t kUnknown = -1;

template <std::size_t N>
std::int32_t Lookup(const std::array<std::pair<std::string_view, std::int32_t>, N>& table,
                    std::string_view text) {
  const auto found = std::find_if(table.begin(), table.end(),
                                  [text](const auto& entry) { return entry.first == text; });
  return found == table.end() ? kUnknown : found->second;
}

constexpr std::array<std::pair<std::string_view, std::int32_t>, 3> kAttachmentStatuses{{
    {"SUCCESS", 0},
    {"REFUSED", 2},
    {"AVAILABLE", 4},
}};

// The client's status names for the states the program can meet; the voicemail and transfer
// states are left out because nothing here produces them.
constexpr std::array<std::pair<std::string_view, std::int32_t>, 14> kCallStatuses{{
    {"UNPLACED", 0},
    {"ROUTING", 1},
    {"EARLYMEDIA", 2},
    {"FAILED", 3},
    {"RINGING", 4},
    {"INPROGRESS", 5},
    {"ONHOLD", 6},
    {"FINISHED", 7},
    {"MISSED", 8},
    {"REFUSED", 9},
    {"BUSY", 10},
    {"CANCELLED", 11},
    {"LOCALHOLD", 12},
    {"REMOTEHOLD", 13},
}};

constexpr std::array<std::pair<std::string_view, std::int32_t>, 4> kCallTypes{{
    {"INCOMING_PSTN", 0},
    {"OUTGOING_PSTN", 1},
    {"INCOMING_P2P", 2},
    {"OUTGOING_P2P", 3},
}};

// Indexed by status + 1.
constexpr std::array<std::string_view, 16> kCallStatusTexts{
    "Unknown",
    "Never placed",
    "Routing",
    "Playing Early Media",
    "Sorry, call failed!",
    "Calling",
    "Call in Progress",
    "On Hold",
    "Finished",
    "Missed",
    "Refused",
    "Busy",
    "Cancelled",
    "On Local Hold",
    "On Remote Hold",
    "Buffering Greeting",
};

}  // namespace

std::int32_t TextToAttachmentStatus(std::string_view text) {
  return Lookup(kAttachmentStatuses, text);
}

std::int32_t TextToCallStatus(std::string_view text) {
  return Lookup(kCallStatuses, text);
}

std::int32_t TextToCallType(std::string_view text) {
  return Lookup(kCallTypes, text);
}

std::string CallStatusToText(std::int32_t status) {
  // The texts of the later voicemail and transfer states were never read from the library;
  // they fall back to the text for an unknown status.
  const std::int64_t index = static_cast<std::int64_t>(status) + 1;
  if (index < 0 || index >= static_cast<std::int64_t>(kCallStatusTexts.size()))
    return std::string(kCallStatusTexts[0]);
  return std::string(kCallStatusTexts[static_cast<std::size_t>(index)]);
}

}  // namespace tavoro::platform::skype_conversion
