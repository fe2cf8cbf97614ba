#pragma once
// Sound input devices (the multimedia wave-in functions) and the global memory their capture
// buffers live in. Calls mirror the system's one for one and return its result codes, so the
// meter's logic runs the same against a real device and the headless one. Text is UTF-8 here.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavoro::platform {

// MMRESULT. 0 is success; the codes below are the ones the programs and tests meet.
using WaveResult = std::uint32_t;
inline constexpr WaveResult kWaveOk = 0;
inline constexpr WaveResult kWaveBadDeviceId = 2;    // MMSYSERR_BADDEVICEID
inline constexpr WaveResult kWaveInvalidHandle = 5;  // MMSYSERR_INVALHANDLE
inline constexpr WaveResult kWaveNoMemory = 7;       // MMSYSERR_NOMEM
inline constexpr WaveResult kWaveInvalidParam = 11;  // MMSYSERR_INVALPARAM
inline constexpr WaveResult kWaveBadFormat = 32;     // WAVERR_BADFORMAT
inline constexpr WaveResult kWaveStillPlaying = 33;  // WAVERR_STILLPLAYING
inline constexpr WaveResult kWaveUnprepared = 34;    // WAVERR_UNPREPARED

// WAVE_FORMAT_44S16 in a device's format mask: 44.1 kHz, stereo, 16-bit.
inline constexpr std::uint32_t kFormat44kStereo16 = 0x800;
inline constexpr std::uint16_t kWaveFormatPcm = 1;

// The 32-byte product-name field: at most this many bytes of text and a terminator.
inline constexpr std::size_t kProductNameBytes = 31;

struct WaveInCaps {
  std::string product_name;
  // The name took the whole field, so the device's real name may go on past it.
  bool name_fills_field = false;
  std::uint32_t formats = 0;
};

// WAVEFORMATEX.
struct WaveFormat {
  std::uint16_t format_tag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samples_per_second = 0;
  std::uint32_t bytes_per_second = 0;
  std::uint16_t block_align = 0;
  std::uint16_t bits_per_sample = 0;
  std::uint16_t extra_bytes = 0;
};

// What the caller fills in a wave header. The header must stay at its address from prepare to
// unprepare: the platform's own record for it is found by that address.
struct WaveHeader {
  std::uint8_t* data = nullptr;
  std::uint32_t buffer_length = 0;
  std::uint32_t flags = 0;
  std::uint32_t loops = 0;
};

enum class WaveInHandle : std::uintptr_t { None = 0 };  // HWAVEIN
enum class MemoryHandle : std::uintptr_t { None = 0 };  // HGLOBAL

class WaveIn {
 public:
  virtual ~WaveIn() = default;

  // waveInGetNumDevs: ids run from 0 to this number - 1.
  virtual std::uint32_t DeviceCount() = 0;
  // waveInGetDevCapsA, the name converted from the system's code page.
  virtual WaveResult DeviceCaps(std::uint32_t device_id, WaveInCaps& caps) = 0;

  // waveInOpen with no callback and no flags; `handle` is set only on success.
  virtual WaveResult Open(WaveInHandle& handle, std::uint32_t device_id,
                          const WaveFormat& format) = 0;
  // `header_size` is passed on as given; the platform refuses one below HeaderSize().
  virtual WaveResult Prepare(WaveInHandle handle, WaveHeader& header,
                             std::uint32_t header_size) = 0;
  virtual WaveResult Unprepare(WaveInHandle handle, WaveHeader& header,
                               std::uint32_t header_size) = 0;
  // Queues a prepared buffer; the device fills queued buffers in queue order, each once.
  virtual WaveResult AddBuffer(WaveInHandle handle, WaveHeader& header,
                               std::uint32_t header_size) = 0;
  virtual WaveResult Start(WaveInHandle handle) = 0;
  virtual WaveResult Stop(WaveInHandle handle) = 0;
  // Stops and hands back every queued buffer.
  virtual WaveResult Reset(WaveInHandle handle) = 0;
  virtual WaveResult Close(WaveInHandle handle) = 0;
  // waveInGetErrorTextA; empty for a code the system has no text for.
  virtual std::string ErrorText(WaveResult code) = 0;

  // The size of the platform's own wave header record (sizeof(WAVEHDR)): 32 bytes in a 32-bit
  // build, 48 in a 64-bit one.
  virtual std::uint32_t HeaderSize() = 0;

  // GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT), GlobalLock, GlobalFree.
  virtual MemoryHandle AllocateBuffer(std::size_t bytes) = 0;
  virtual std::uint8_t* LockBuffer(MemoryHandle memory) = 0;
  virtual void FreeBuffer(MemoryHandle memory) = 0;
};

}  // namespace tavoro::platform
