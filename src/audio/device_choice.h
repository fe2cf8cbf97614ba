#pragma once
// Which wave-in device the meter captures from, chosen by product name.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wave_in.h"

namespace tavoro::audio {

// One entry per device id; empty for a device without the 44.1 kHz stereo 16-bit format bit.
using DeviceNameTable = std::vector<std::optional<platform::WaveInCaps>>;

DeviceNameTable ReadDeviceNames(platform::WaveIn& wave_in);

// True when the entry's name holds `wanted` anywhere (exact bytes, so an empty `wanted` is in
// every name), or when the system cut the name at the end of its field and `wanted` begins
// with what is left: the Skype client knows the device by its full name.
bool NameMatches(const platform::WaveInCaps& entry, std::string_view wanted);

// The last matching id, or `previous` when none matches.
std::uint32_t ChooseDeviceId(const DeviceNameTable& names, std::string_view wanted,
                             std::uint32_t previous);

}  // namespace tavoro::audio
