#pragma once
// Sound devices as a test lists them; a device can be taken away between two looks.

#include <string>
#include <vector>

#include "platform/sound_devices.h"

namespace tavoro::platform::headless {

class ListedSoundDevices final : public SoundDevices {
 public:
  std::vector<std::string> CaptureDevices() override { return capture; }
  std::vector<std::string> PlaybackDevices() override { return playback; }

  std::vector<std::string> capture;
  std::vector<std::string> playback;
};

}  // namespace tavoro::platform::headless
