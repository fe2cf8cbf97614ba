#pragma once
// The system's wave-in devices (winmm) and global memory for their buffers.

#include <windows.h>
// After <windows.h>: WIN32_LEAN_AND_MEAN leaves the multimedia declarations out of it.
#include <mmsystem.h>

#include <map>
#include <utility>

#include "platform/wave_in.h"

namespace tavoro::platform::win32 {

class Win32WaveIn final : public WaveIn {
 public:
  Win32WaveIn() = default;
  Win32WaveIn(const Win32WaveIn&) = delete;
  Win32WaveIn& operator=(const Win32WaveIn&) = delete;

  std::uint32_t DeviceCount() override;
  WaveResult DeviceCaps(std::uint32_t device_id, WaveInCaps& caps) override;
  WaveResult Open(WaveInHandle& handle, std::uint32_t device_id, const WaveFormat& format) override;
  WaveResult Prepare(WaveInHandle handle, WaveHeader& header, std::uint32_t header_size) override;
  WaveResult Unprepare(WaveInHandle handle, WaveHeader& header, std::uint32_t header_size) override;
  WaveResult AddBuffer(WaveInHandle handle, WaveHeader& header, std::uint32_t header_size) override;
  WaveResult Start(WaveInHandle handle) override;
  WaveResult Stop(WaveInHandle handle) override;
  WaveResult Reset(WaveInHandle handle) override;
  WaveResult Close(WaveInHandle handle) override;
  std::string ErrorText(WaveResult code) override;
  std::uint32_t HeaderSize() override;
  MemoryHandle AllocateBuffer(std::size_t bytes) override;
  std::uint8_t* LockBuffer(MemoryHandle memory) override;
  void FreeBuffer(MemoryHandle memory) override;

 private:
  // The system's own header records (WAVEHDR), one per header the caller prepared, kept at a
  // fixed address until unprepared: the driver writes into them while it fills the buffer.
  // Map nodes never move, so the records' addresses hold.
  std::map<std::pair<HWAVEIN, const WaveHeader*>, WAVEHDR> records_;
};

}  // namespace tavoro::platform::win32
