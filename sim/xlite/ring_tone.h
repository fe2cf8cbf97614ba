#pragma once
// The ring the stand-in plays on the default output while a call comes in: a warble of two
// tones, one second on and two off, repeating until stopped. The samples are made here as they
// are played, so no sound file has to travel with the program.
//
// The device reports finished buffers to the owner window (MM_WOM_DONE), which hands them
// back through OnBufferDone to be refilled and queued again: the window's own message loop
// keeps the sound going, with no thread of ours and nothing blocking while keys arrive.

#include <windows.h>
// After <windows.h>: WIN32_LEAN_AND_MEAN leaves the multimedia declarations out of it.
#include <mmsystem.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavoro::sim {

// One mono 16-bit sample at 44.1 kHz, `index` samples after the ring began. `phase` carries the
// oscillator from one sample to the next, so the change of pitch makes no click.
std::int16_t RingSample(std::uint64_t index, double& phase);

class RingTone {
 public:
  static constexpr std::uint32_t kRate = 44100;
  // One second of ring and two of silence, as a telephone rings.
  static constexpr std::uint64_t kOnSamples = kRate;
  static constexpr std::uint64_t kPeriodSamples = 3 * kRate;

  explicit RingTone(HWND owner) : owner_(owner) {}
  ~RingTone() { Stop(); }
  RingTone(const RingTone&) = delete;
  RingTone& operator=(const RingTone&) = delete;

  // Opens the default output and queues the start of the ring. Empty on success, else the
  // system's description of what failed; the device is then left closed.
  std::wstring Start();
  // Silences at once (queued buffers are dropped) and closes the device. Safe when not playing.
  void Stop();
  bool playing() const { return device_ != nullptr; }

  // For MM_WOM_DONE sent to the owner window.
  void OnBufferDone(HWAVEOUT device, WAVEHDR* header);

 private:
  // 40 ms each, five queued: 200 ms of ring ahead, enough to ride out a busy moment of the
  // window thread, while a stop still takes effect at once through waveOutReset.
  static constexpr std::size_t kBufferSamples = kRate / 25;
  static constexpr std::size_t kBuffers = 5;

  struct Buffer {
    std::vector<std::int16_t> samples = std::vector<std::int16_t>(kBufferSamples);
    WAVEHDR header{};
    bool prepared = false;
  };

  MMRESULT FillAndQueue(Buffer& buffer);
  void Release();

  HWND owner_;
  HWAVEOUT device_ = nullptr;
  std::array<Buffer, kBuffers> buffers_{};
  std::uint64_t position_ = 0;
  double phase_ = 0;
};

}  // namespace tavoro::sim
