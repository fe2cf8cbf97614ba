// The cost of one Timer1 tick of ring detection with the meter open on the headless capture
// device: the read, the diagnostics, the statistics. It runs every 10 ms, so this shows the
// share of one core the listening program takes.
#include <benchmark/benchmark.h>

#include "bridge_harness.h"
#include "headless/wave_sources.h"

namespace {

using tavoro::app::testing::Bridge;

// One tick as the loop delivers it: 10 ms of capture, then the handler.
void BM_Timer1Tick(benchmark::State& state) {
  Bridge bridge;
  // A steady tone: loud enough to be measured, never twice its own average.
  bridge.wave_in.Play(bridge.device, tavoro::platform::headless::Tone(1000, 40));
  if (bridge.Listen() || !bridge.Listening())
    state.SkipWithError("ring detection did not start");
  for (auto _ : state) {
    bridge.headless.clock.Advance(10);
    bridge.call->Timer1_Timer();
  }
  if (!bridge.skype->placed_calls().empty())
    state.SkipWithError("a steady tone was taken for a ring");
  benchmark::DoNotOptimize(bridge.display.average);
}
BENCHMARK(BM_Timer1Tick);

}  // namespace
