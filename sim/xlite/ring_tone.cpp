#include "ring_tone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavoro::sim {
namespace {

// Half of full scale: loud and unmistakable on the line's monitor (peaks about 64 of 128 in
// 8-bit capture), with room left so nothing clips after the sound server's mixing.
constexpr double kAmplitude = 16384;
// The pitch changes every 25 ms. Each pitch alone has a steady level, so every few milliseconds
// of the ring show the full peak; two tones at once would beat and dip towards silence.
constexpr std::uint64_t kWarbleSamples = RingTone::kRate / 40;
constexpr double kLowHz = 1000;
constexpr double kHighHz = 1300;
// A 5 ms fade at each end of a burst, so the ring starts and ends without a click.
constexpr double kRampSamples = RingTone::kRate / 200.0;

std::wstring ErrorText(MMRESULT code) {
  wchar_t text[MAXERRORLENGTH] = {};
  if (::waveOutGetErrorTextW(code, text, MAXERRORLENGTH) != MMSYSERR_NOERROR)
    return L"waveOut error " + std::to_wstring(code);
  return text;
}

}  // namespace

std::int16_t RingSample(std::uint64_t index, double& phase) {
  const std::uint64_t in_period = index % RingTone::kPeriodSamples;
  if (in_period >= RingTone::kOnSamples) {
    // Each burst starts from the same point of the wave.
    phase = 0;
    return 0;
  }
  const double hz = (in_period / kWarbleSamples) % 2 == 0 ? kLowHz : kHighHz;
  phase = std::fmod(phase + 2 * std::numbers::pi * hz / RingTone::kRate, 2 * std::numbers::pi);
  const double envelope =
      std::min({1.0, static_cast<double>(in_period) / kRampSamples,
                static_cast<double>(RingTone::kOnSamples - in_period) / kRampSamples});
  return static_cast<std::int16_t>(std::lround(kAmplitude * envelope * std::sin(phase)));
}

std::wstring RingTone::Start() {
  if (device_ != nullptr)
    return {};
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = kRate * format.nBlockAlign;
  HWAVEOUT device = nullptr;
  MMRESULT result = ::waveOutOpen(&device, WAVE_MAPPER, &format,
                                  reinterpret_cast<DWORD_PTR>(owner_), 0, CALLBACK_WINDOW);
  if (result != MMSYSERR_NOERROR)
    return ErrorText(result);
  device_ = device;
  position_ = 0;
  phase_ = 0;
  for (Buffer& buffer : buffers_) {
    buffer.header = WAVEHDR{};
    buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
    buffer.header.dwBufferLength = static_cast<DWORD>(buffer.samples.size() * sizeof(std::int16_t));
    result = ::waveOutPrepareHeader(device_, &buffer.header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR)
      break;
    buffer.prepared = true;
  }
  for (std::size_t i = 0; i < buffers_.size() && result == MMSYSERR_NOERROR; ++i)
    result = FillAndQueue(buffers_[i]);
  if (result != MMSYSERR_NOERROR) {
    Release();
    return ErrorText(result);
  }
  return {};
}

void RingTone::Stop() {
  Release();
}

void RingTone::OnBufferDone(HWAVEOUT device, WAVEHDR* header) {
  // A report can outlive the device it came from (it was queued before the stop) or describe a
  // buffer that has since been queued again; only a buffer of this device that is really
  // finished may be written.
  if (device_ == nullptr || device != device_)
    return;
  for (Buffer& buffer : buffers_) {
    if (&buffer.header == header && buffer.prepared && (header->dwFlags & WHDR_DONE) != 0) {
      // A buffer the device refuses stays out; the others keep the ring going.
      FillAndQueue(buffer);
      return;
    }
  }
}

MMRESULT RingTone::FillAndQueue(Buffer& buffer) {
  for (std::int16_t& sample : buffer.samples)
    sample = RingSample(position_++, phase_);
  return ::waveOutWrite(device_, &buffer.header, sizeof(WAVEHDR));
}

void RingTone::Release() {
  if (device_ == nullptr)
    return;
  // Hands every queued buffer back at once: the ring stops now, not after what was queued.
  ::waveOutReset(device_);
  for (Buffer& buffer : buffers_) {
    if (buffer.prepared)
      ::waveOutUnprepareHeader(device_, &buffer.header, sizeof(WAVEHDR));
    buffer.prepared = false;
  }
  ::waveOutClose(device_);
  device_ = nullptr;
  // The device's reports of the buffers it just handed back mean nothing any more.
  MSG message;
  while (::PeekMessageW(&message, owner_, MM_WOM_OPEN, MM_WOM_DONE, PM_REMOVE)) {
  }
}

}  // namespace tavoro::sim
