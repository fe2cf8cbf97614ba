#pragma once
// The system's clocks: the tick count for intervals, the local time for the calendar.

#include "platform/clock.h"

namespace tavoro::platform::win32 {

class Win32Clock final : public Clock {
 public:
  std::uint64_t Milliseconds() override;
  LocalTime Now() override;
};

}  // namespace tavoro::platform::win32
