#pragma once
// The sound level meter: captures from the wave-in device whose product name holds the Skype
// client's input device name and tells the peak of the newest few milliseconds. Ring detection
// polls it from a 10 ms timer. No thread and no device callback: the device fills the queued
// buffers by itself and a read copies buffer 0 and queues it again.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wave_in.h"

namespace tavoro::audio {

class SoundMeter {
 public:
  explicit SoundMeter(platform::WaveIn& wave_in) : wave_in_(wave_in) {}
  // Releases a capture left open, as closing the program does.
  ~SoundMeter() { CloseMeter(); }
  SoundMeter(const SoundMeter&) = delete;
  SoundMeter& operator=(const SoundMeter&) = delete;

  // Listens to the device whose product name holds `device_name`, in two buffers of
  // `capture_bytes`: chooses the device, allocates, opens, queues and starts. False when the
  // open, a prepare or a queue step failed, with `MeterErrorText` set; what was acquired stays
  // until CloseMeter. A capture still held is closed first.
  bool OpenMeter(std::string_view device_name, std::uint32_t capture_bytes);

  // 0 to 128: the largest |sample - 128| over the first `capture_bytes` of buffer 0, which
  // is then queued again. 0 without touching anything while no capture runs.
  std::int16_t ReadPeakLevel();

  // Releases what the meter holds, each thing once; a closed meter releases nothing. Every
  // platform result is ignored, so it always returns 0.
  std::int16_t CloseMeter();

  bool capturing() const { return capturing_; }
  // What the last open asked for.
  const std::string& wanted_device_name() const { return wanted_device_name_; }
  std::uint32_t capture_bytes() const { return capture_bytes_; }

  // Module state, named as the callers know it.
  std::uint32_t DeviceId = 0;  // kept across opens; changed only by a matching name
  platform::WaveResult LastWaveResult = platform::kWaveOk;
  std::string MeterErrorText;
  std::array<std::uint8_t, 5001> SnapshotBuffer{};

 private:
  struct CaptureBuffer {
    platform::MemoryHandle memory = platform::MemoryHandle::None;
    platform::WaveHeader header;
    bool prepared = false;
  };

  bool Open();
  bool Fail();

  std::uint32_t capture_bytes_ = 0;
  std::string wanted_device_name_;

  platform::WaveIn& wave_in_;
  platform::WaveInHandle handle_ = platform::WaveInHandle::None;
  std::array<CaptureBuffer, 2> buffers_{};
  bool capturing_ = false;
};

}  // namespace tavoro::audio
