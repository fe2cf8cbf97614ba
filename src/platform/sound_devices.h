#pragma once
// The sound devices the system has, by the names the multimedia functions give them: what a
// user chooses from, and what the SIP stack opens its devices by.

#include <string>
#include <vector>

namespace tavoro::platform {

class SoundDevices {
 public:
  virtual ~SoundDevices() = default;
  // Devices that record (wave in) and play (wave out), in the system's order.
  virtual std::vector<std::string> CaptureDevices() = 0;
  virtual std::vector<std::string> PlaybackDevices() = 0;
};

}  // namespace tavoro::platform
