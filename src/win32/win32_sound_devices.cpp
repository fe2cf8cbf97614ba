#include "win32/win32_sound_devices.h"

#include <windows.h>

#include <mmsystem.h>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

// MAXPNAMELEN less the terminating zero: what the module's copy of a product name holds.
constexpr std::size_t kStackNameBytes = MAXPNAMELEN - 1;

template <typename Caps, typename Count, typename GetCaps>
std::vector<std::string> Devices(Count count, GetCaps get_caps) {
  std::vector<std::string> names;
  const UINT devices = count();
  for (UINT id = 0; id < devices; ++id) {
    Caps caps{};
    // A device that cannot answer is one the stack skips as well.
    if (get_caps(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
      names.push_back(StackDeviceName(caps.szPname));
  }
  return names;
}

}  // namespace

std::string StackDeviceName(std::wstring_view product) {
  product = product.substr(0, product.find(L'\0'));
  const std::string ansi = WideToAnsi(product);
  // A name longer than the module keeps is matched by its first 31 bytes only, so that is the
  // name stored.
  return AnsiFieldText(std::string_view(ansi).substr(0, kStackNameBytes));
}

std::vector<std::string> Win32SoundDevices::CaptureDevices() {
  return Devices<WAVEINCAPSW>(::waveInGetNumDevs, [](UINT id, WAVEINCAPSW* caps, UINT size) {
    return ::waveInGetDevCapsW(id, caps, size);
  });
}

std::vector<std::string> Win32SoundDevices::PlaybackDevices() {
  return Devices<WAVEOUTCAPSW>(::waveOutGetNumDevs, [](UINT id, WAVEOUTCAPSW* caps, UINT size) {
    return ::waveOutGetDevCapsW(id, caps, size);
  });
}

}  // namespace tavoro::platform::win32
