#include "win32/win32_wave_in.h"

#include <algorithm>
#include <cstring>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

static_assert(sizeof(WAVEHDR) == (sizeof(void*) == 8 ? 48 : 32));

HWAVEIN Native(WaveInHandle handle) {
  return reinterpret_cast<HWAVEIN>(static_cast<std::uintptr_t>(handle));
}

HGLOBAL Native(MemoryHandle memory) {
  return reinterpret_cast<HGLOBAL>(static_cast<std::uintptr_t>(memory));
}

std::string ProductName(const char* field, std::size_t field_bytes, bool& fills_field) {
  const std::size_t length = ::strnlen(field, field_bytes);
  fills_field = length >= kProductNameBytes;
  return AnsiFieldText(std::string_view(field, length));
}

}  // namespace

std::uint32_t Win32WaveIn::DeviceCount() {
  return ::waveInGetNumDevs();
}

WaveResult Win32WaveIn::DeviceCaps(std::uint32_t device_id, WaveInCaps& caps) {
  WAVEINCAPSA system{};
  const MMRESULT result = ::waveInGetDevCapsA(device_id, &system, sizeof(system));
  if (result == MMSYSERR_NOERROR) {
    caps.product_name = ProductName(system.szPname, sizeof(system.szPname), caps.name_fills_field);
    caps.formats = system.dwFormats;
  }
  return result;
}

WaveResult Win32WaveIn::Open(WaveInHandle& handle, std::uint32_t device_id,
                             const WaveFormat& format) {
  WAVEFORMATEX system{};
  system.wFormatTag = format.format_tag;
  system.nChannels = format.channels;
  system.nSamplesPerSec = format.samples_per_second;
  system.nAvgBytesPerSec = format.bytes_per_second;
  system.nBlockAlign = format.block_align;
  system.wBitsPerSample = format.bits_per_sample;
  system.cbSize = format.extra_bytes;
  HWAVEIN opened = nullptr;
  // No callback: the meter polls its buffers from the window thread instead.
  const MMRESULT result = ::waveInOpen(&opened, device_id, &system, 0, 0, CALLBACK_NULL);
  if (result == MMSYSERR_NOERROR)
    handle = static_cast<WaveInHandle>(reinterpret_cast<std::uintptr_t>(opened));
  return result;
}

WaveResult Win32WaveIn::Prepare(WaveInHandle handle, WaveHeader& header,
                                std::uint32_t header_size) {
  const auto [record, added] = records_.try_emplace({Native(handle), &header});
  if (added) {
    record->second.lpData = reinterpret_cast<LPSTR>(header.data);
    record->second.dwBufferLength = header.buffer_length;
    record->second.dwFlags = header.flags;
    record->second.dwLoops = header.loops;
  }
  const MMRESULT result = ::waveInPrepareHeader(Native(handle), &record->second, header_size);
  if (result != MMSYSERR_NOERROR && added)
    records_.erase(record);
  return result;
}

WaveResult Win32WaveIn::Unprepare(WaveInHandle handle, WaveHeader& header,
                                  std::uint32_t header_size) {
  const auto record = records_.find({Native(handle), &header});
  // The system, too, has nothing to undo for a header it never prepared.
  if (record == records_.end())
    return MMSYSERR_NOERROR;
  const MMRESULT result = ::waveInUnprepareHeader(Native(handle), &record->second, header_size);
  if (result == MMSYSERR_NOERROR)
    records_.erase(record);
  return result;
}

WaveResult Win32WaveIn::AddBuffer(WaveInHandle handle, WaveHeader& header,
                                  std::uint32_t header_size) {
  const auto record = records_.find({Native(handle), &header});
  if (record == records_.end())
    return WAVERR_UNPREPARED;
  // Windows refuses a buffer that is still queued; Wine takes it and links it into its queue a
  // second time, which drops the buffer behind it. A meter read re-queues buffer 0 while the
  // sound server has not yet delivered anything, so the answer is Windows' on both.
  if ((record->second.dwFlags & WHDR_INQUEUE) != 0)
    return WAVERR_STILLPLAYING;
  return ::waveInAddBuffer(Native(handle), &record->second, header_size);
}

WaveResult Win32WaveIn::Start(WaveInHandle handle) {
  return ::waveInStart(Native(handle));
}

WaveResult Win32WaveIn::Stop(WaveInHandle handle) {
  return ::waveInStop(Native(handle));
}

WaveResult Win32WaveIn::Reset(WaveInHandle handle) {
  return ::waveInReset(Native(handle));
}

WaveResult Win32WaveIn::Close(WaveInHandle handle) {
  // Windows keeps a device open while it holds queued buffers, which it could still write
  // into; Wine closes it anyway. Both answer as Windows does.
  const bool buffers_queued = std::ranges::any_of(records_, [&](const auto& entry) {
    return entry.first.first == Native(handle) && (entry.second.dwFlags & WHDR_INQUEUE) != 0;
  });
  if (buffers_queued)
    return WAVERR_STILLPLAYING;
  const MMRESULT result = ::waveInClose(Native(handle));
  if (result == MMSYSERR_NOERROR)
    std::erase_if(records_, [&](const auto& entry) { return entry.first.first == Native(handle); });
  return result;
}

std::string Win32WaveIn::ErrorText(WaveResult code) {
  char text[MAXERRORLENGTH] = {};
  if (::waveInGetErrorTextA(code, text, sizeof(text)) != MMSYSERR_NOERROR)
    return {};
  return Narrow(AnsiToWide(std::string_view(text, ::strnlen(text, sizeof(text)))));
}

std::uint32_t Win32WaveIn::HeaderSize() {
  return sizeof(WAVEHDR);
}

MemoryHandle Win32WaveIn::AllocateBuffer(std::size_t bytes) {
  // Fixed, so the address the driver was given stays valid however the heap moves.
  return static_cast<MemoryHandle>(
      reinterpret_cast<std::uintptr_t>(::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes)));
}

std::uint8_t* Win32WaveIn::LockBuffer(MemoryHandle memory) {
  return static_cast<std::uint8_t*>(::GlobalLock(Native(memory)));
}

void Win32WaveIn::FreeBuffer(MemoryHandle memory) {
  ::GlobalFree(Native(memory));
}

}  // namespace tavoro::platform::win32
