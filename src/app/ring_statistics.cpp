#include "app/ring_statistics.h"

#include <limits>

namespace tavoro::app {

RingStatistics::Verdict RingStatistics::Take(std::int32_t level) {
  Verdict verdict = Verdict::WarmingUp;
  if (TickCount >= kWarmUpReadings) {
    if (level > 2 * AverageLevel) {
      // Only a chain of rings, each restarting on a loud first reading, grows the run past
      // 11; it cannot reach the limit in any real run, but it must not wrap to a quiet value.
      if (LoudRun < std::numeric_limits<std::int16_t>::max())
        ++LoudRun;
    } else {
      LoudRun = 0;
    }
    if (LoudRun > kRingRun)
      return Verdict::Ring;
    verdict = LoudRun > 0 ? Verdict::Loud : Verdict::Quiet;
  }
  ++TickCount;
  if (TickCount >= kAveragedReadings) {
    LevelSum -= AverageLevel;
    TickCount = kAveragedReadings;
    LevelSum += level;
    AverageLevel = LevelSum / kAveragedReadings;
  } else {
    LevelSum += level;
    AverageLevel = LevelSum / TickCount;
  }
  return verdict;
}

}  // namespace tavoro::app
