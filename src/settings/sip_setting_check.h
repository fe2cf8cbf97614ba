#pragma once
// What the SIP settings dialog refuses before anything is kept: text the user agent could not
// use, or would use otherwise than the user meant.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/sip_settings.h"

namespace tavoro::settings {

// The settings as typed; the port as its text, since a box holds anything.
struct TypedSipSettings {
  SipSettings sip;
  std::string port;
  std::string password;
};

// What is wrong, in words for the user; none when the settings may be kept. The devices are
// those the system lists now: a device chosen earlier and since taken away is named, so the
// user can plug it back in or choose another.
std::optional<std::string> SipSettingsProblem(const TypedSipSettings& typed,
                                              const std::vector<std::string>& capture_devices,
                                              const std::vector<std::string>& playback_devices);

// The port the text names: 1 to 65535 in decimal digits only.
std::optional<std::uint16_t> ParsePort(std::string_view text);

}  // namespace tavoro::settings
