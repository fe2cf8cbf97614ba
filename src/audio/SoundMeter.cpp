#include "audio/SoundMeter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "audio/device_choice.h"

namespace tavoro::audio {
namespace {

using platform::kWaveOk;

constexpr std::uint16_t kBitsPerSample = 8;
constexpr std::uint32_t kSamplesPerSecond = 44100;

platform::WaveFormat CaptureFormat() {
  platform::WaveFormat format;
  format.format_tag = platform::kWaveFormatPcm;
  format.channels = 1;
  format.samples_per_second = kSamplesPerSecond;
  format.block_align = kBitsPerSample / 8;
  format.bytes_per_second = format.block_align * kSamplesPerSecond;
  format.bits_per_sample = kBitsPerSample;
  format.extra_bytes = 0;
  return format;
}

}  // namespace

bool SoundMeter::OpenMeter(std::string_view device_name, std::uint32_t capture_bytes) {
  wanted_device_name_ = device_name;
  capture_bytes_ = capture_bytes;
  return Open();
}

bool SoundMeter::Open() {
  // The meter holds the handles of one capture only; a restart of ring detection can come
  // while one runs, and overwriting them would leak the device and its buffers.
  CloseMeter();
  const platform::WaveFormat format = CaptureFormat();

  for (CaptureBuffer& buffer : buffers_) {
    buffer.memory = wave_in_.AllocateBuffer(capture_bytes_);
    buffer.header = platform::WaveHeader{wave_in_.LockBuffer(buffer.memory), capture_bytes_, 0, 0};
  }

  DeviceId = ChooseDeviceId(ReadDeviceNames(wave_in_), wanted_device_name_, DeviceId);

  LastWaveResult = wave_in_.Open(handle_, DeviceId, format);
  if (LastWaveResult != kWaveOk)
    return Fail();

  // The size is the platform's own record's: a fixed 32, right for the 32-bit build, makes
  // every prepare fail in the 64-bit one.
  const std::uint32_t header_size = wave_in_.HeaderSize();
  for (CaptureBuffer& buffer : buffers_) {
    LastWaveResult = wave_in_.Prepare(handle_, buffer.header, header_size);
    if (LastWaveResult != kWaveOk)
      return Fail();
    buffer.prepared = true;
  }
  for (CaptureBuffer& buffer : buffers_) {
    LastWaveResult = wave_in_.AddBuffer(handle_, buffer.header, header_size);
    if (LastWaveResult != kWaveOk)
      return Fail();
  }

  // A capture that does not start leaves the buffers as they are; reads then see them so.
  LastWaveResult = wave_in_.Start(handle_);
  capturing_ = true;
  return true;
}

std::int16_t SoundMeter::ReadPeakLevel() {
  // The window timer can tick while a restart has closed the meter; its buffers are gone then.
  CaptureBuffer& newest = buffers_[0];
  if (!capturing_ || newest.header.data == nullptr)
    return 0;

  // Copied whether or not the device has finished the buffer: the level of a partly filled
  // one is still the newest there is. A buffer larger than the snapshot is cut, not let
  // overrun it.
  const std::size_t copied =
      std::min<std::size_t>(newest.header.buffer_length, SnapshotBuffer.size());
  std::memcpy(SnapshotBuffer.data(), newest.header.data, copied);
  LastWaveResult = wave_in_.AddBuffer(handle_, newest.header, wave_in_.HeaderSize());

  const std::size_t analysed = std::min<std::size_t>(capture_bytes_, SnapshotBuffer.size());
  int peak = 0;
  for (std::size_t i = 0; i < analysed; ++i)
    peak = std::max(peak, std::abs(int{SnapshotBuffer[i]} - 128));
  return static_cast<std::int16_t>(peak);
}

std::int16_t SoundMeter::CloseMeter() {
  capturing_ = false;
  const bool device_open = handle_ != platform::WaveInHandle::None;
  if (device_open) {
    wave_in_.Reset(handle_);
    wave_in_.Stop(handle_);
  }
  for (CaptureBuffer& buffer : buffers_) {
    if (buffer.prepared)
      wave_in_.Unprepare(handle_, buffer.header, wave_in_.HeaderSize());
    if (buffer.memory != platform::MemoryHandle::None)
      wave_in_.FreeBuffer(buffer.memory);
    buffer = CaptureBuffer{};
  }
  if (device_open)
    wave_in_.Close(handle_);
  handle_ = platform::WaveInHandle::None;
  return 0;
}

bool SoundMeter::Fail() {
  MeterErrorText = wave_in_.ErrorText(LastWaveResult);
  return false;
}

}  // namespace tavoro::audio
