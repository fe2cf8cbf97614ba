// The cost of one meter read with the 100-byte buffers ring detection uses, on the headless
// capture device. Ring detection reads every 10 ms, so anything in microseconds is free.

#include <benchmark/benchmark.h>

#include "audio/SoundMeter.h"
#include "headless/headless_wave_in.h"

namespace {

using tavoro::audio::SoundMeter;
using tavoro::platform::headless::HeadlessWaveIn;
using tavoro::platform::headless::Tone;
using tavoro::platform::headless::VirtualClock;

struct OpenMeter {
  explicit OpenMeter(benchmark::State& state) {
    wave_in.AddDevice("Microphone (USB Audio Device)");
    wave_in.Play(0, Tone(1000, 64));
    if (!meter.OpenMeter("Microphone", 100))
      state.SkipWithError("the meter did not open");
    clock.Advance(10);
  }
  VirtualClock clock;
  HeadlessWaveIn wave_in{clock};
  SoundMeter meter{wave_in};
};

// The read alone: copy, re-queue, peak. No time passes, so the device does no work.
void BM_ReadPeakLevel(benchmark::State& state) {
  OpenMeter open(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(open.meter.ReadPeakLevel());
}
BENCHMARK(BM_ReadPeakLevel);

// One timer tick: 10 ms pass, the device fills buffer 0 with a tone, then the read.
void BM_ReadPeakLevelEveryTick(benchmark::State& state) {
  OpenMeter open(state);
  for (auto _ : state) {
    open.clock.Advance(10);
    benchmark::DoNotOptimize(open.meter.ReadPeakLevel());
  }
}
BENCHMARK(BM_ReadPeakLevelEveryTick);

}  // namespace
