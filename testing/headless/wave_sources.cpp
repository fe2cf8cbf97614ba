#include "headless/wave_sources.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace tavoro::platform::headless {
namespace {

constexpr std::uint8_t kCentre = 128;

std::uint64_t MsToSamples(std::uint32_t ms) {
  return std::uint64_t{ms} * kCaptureRate / 1000;
}

// splitmix64: a good spread from consecutive inputs, so noise needs no state and any index
// can be asked for in any order.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::uint8_t Centred(long deviation) {
  return static_cast<std::uint8_t>(std::clamp(kCentre + deviation, 0L, 255L));
}

}  // namespace

SampleSource Silence() {
  return [](std::uint64_t) { return kCentre; };
}

SampleSource Tone(double frequency_hz, int amplitude) {
  const double step = 2 * std::numbers::pi * frequency_hz / kCaptureRate;
  return [step, amplitude](std::uint64_t index) {
    return Centred(std::lround(amplitude * std::sin(step * static_cast<double>(index))));
  };
}

SampleSource Bursts(SampleSource sound, std::uint32_t on_ms, std::uint32_t off_ms) {
  const std::uint64_t on = MsToSamples(on_ms);
  const std::uint64_t period = std::max<std::uint64_t>(on + MsToSamples(off_ms), 1);
  return [sound = std::move(sound), on, period](std::uint64_t index) {
    return index % period < on ? sound(index) : kCentre;
  };
}

SampleSource Noise(int amplitude, std::uint64_t seed) {
  const std::uint64_t span = static_cast<std::uint64_t>(2 * amplitude + 1);
  return [span, amplitude, seed](std::uint64_t index) {
    return Centred(static_cast<long>(Mix(index ^ Mix(seed)) % span) - amplitude);
  };
}

SampleSource Recording(std::vector<std::uint8_t> samples) {
  // Shared: a SampleSource is copied around, a long recording should not be.
  auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(samples));
  return
      [shared](std::uint64_t index) { return index < shared->size() ? (*shared)[index] : kCentre; };
}

}  // namespace tavoro::platform::headless
