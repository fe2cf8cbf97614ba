#pragma once
// How ring detection tells a ring from the room's noise: a running average of the level, and
// a run of readings well above it. The widths are those of the original fields, so the
// numbers behave as they did, down to the integer division.
#include <cstdint>

namespace tavoro::app {

class RingStatistics {
 public:
  // Readings that only build the average after a restart.
  static constexpr std::int16_t kWarmUpReadings = 100;
  // Readings after which each new one moves the average by 1/1000.
  static constexpr std::int16_t kAveragedReadings = 1000;
  // A run longer than this is a ring.
  static constexpr std::int16_t kRingRun = 10;
  // The meter reads 0 for silence; the offset added to its peak keeps the average off zero,
  // so that twice it is a real margin above the room's noise.
  static constexpr std::int32_t kLevelOffset = 5;

  enum class Verdict {
    WarmingUp,  // not tested: the average is still being built
    Quiet,      // tested, not above twice the average; the run starts again
    Loud,       // tested, above twice the average, the run not yet long enough
    Ring,       // the reading that completes a run; it is not added to the average
  };

  // Takes one level (the meter's peak + kLevelOffset).
  Verdict Take(std::int32_t level);

  // A restart forgets the average but not the run: after a ring the run is still long, so a
  // loud first tested reading fires again at once.
  void Restart() {
    TickCount = 0;
    LevelSum = 0;
    AverageLevel = 0;
  }

  std::int16_t TickCount = 0;
  std::int32_t LevelSum = 0;
  std::int32_t AverageLevel = 0;
  std::int16_t LoudRun = 0;
};

}  // namespace tavoro::app
