#include "audio/device_choice.h"

namespace tavoro::audio {

DeviceNameTable ReadDeviceNames(platform::WaveIn& wave_in) {
  // One slot for every id the system reports: machines with virtual devices have dozens.
  DeviceNameTable names(wave_in.DeviceCount());
  for (std::uint32_t id = 0; id < names.size(); ++id) {
    platform::WaveInCaps caps;
    if (wave_in.DeviceCaps(id, caps) == platform::kWaveOk &&
        (caps.formats & platform::kFormat44kStereo16) != 0) {
      names[id] = std::move(caps);
    }
  }
  return names;
}

bool NameMatches(const platform::WaveInCaps& entry, std::string_view wanted) {
  if (std::string_view(entry.product_name).find(wanted) != std::string_view::npos)
    return true;
  return entry.name_fills_field && wanted.starts_with(entry.product_name);
}

std::uint32_t ChooseDeviceId(const DeviceNameTable& names, std::string_view wanted,
                             std::uint32_t previous) {
  std::uint32_t chosen = previous;
  for (std::uint32_t id = 0; id < names.size(); ++id) {
    if (names[id] && NameMatches(*names[id], wanted))
      chosen = id;
  }
  return chosen;
}

}  // namespace tavoro::audio
