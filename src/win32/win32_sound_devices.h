#pragma once
// The wave devices the system lists, named as the SIP stack's sound module looks them up.

#include "platform/sound_devices.h"

namespace tavoro::platform::win32 {

class Win32SoundDevices final : public SoundDevices {
 public:
  std::vector<std::string> CaptureDevices() override;
  std::vector<std::string> PlaybackDevices() override;
};

// The name the stack's sound module sees for a device the system names `product` (the
// product name of the wide capabilities): the module reads the ANSI capabilities and keeps
// their first 31 bytes, and finds a configured device by comparing with that, ignoring ASCII
// case. Returned in UTF-8: a name beyond ASCII is found only when the SIP client hands it to
// the stack in the ANSI code page; otherwise the module opens the system's default device.
std::string StackDeviceName(std::wstring_view product);

}  // namespace tavoro::platform::win32
