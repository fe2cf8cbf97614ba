#pragma once
// Sounds for the headless capture devices, in the meter's capture format: unsigned 8-bit
// samples centred on 128, 44100 a second. A sound is a function of the sample's index counted
// from the moment it began, so a device can skip ahead over time nobody captured.

#include <cstdint>
#include <functional>
#include <vector>

namespace tavoro::platform::headless {

inline constexpr std::uint32_t kCaptureRate = 44100;

using SampleSource = std::function<std::uint8_t(std::uint64_t index)>;

SampleSource Silence();

// A sine swinging `amplitude` (0 to 128) either side of 128.
SampleSource Tone(double frequency_hz, int amplitude);

// `sound` for `on_ms`, silence for `off_ms`, over and over: the cadence of a ringing line.
SampleSource Bursts(SampleSource sound, std::uint32_t on_ms, std::uint32_t off_ms);

// Uniform noise within `amplitude` of 128, the same for the same seed.
SampleSource Noise(int amplitude, std::uint64_t seed = 1);

// The samples once, then silence.
SampleSource Recording(std::vector<std::uint8_t> samples);

}  // namespace tavoro::platform::headless
