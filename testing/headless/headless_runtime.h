#pragma once
// One program's runtime services on the headless platform, owned together so that the loop
// and the clock it moves stay paired. Tests reach each part by name to script it.

#include "headless/headless_event_loop.h"
#include "headless/headless_process.h"
#include "headless/recorded_message_boxes.h"
#include "headless/virtual_clock.h"
#include "platform/runtime.h"

namespace tavoro::platform::headless {

struct HeadlessRuntime {
  explicit HeadlessRuntime(const LocalTime& start = {}, std::uint32_t millisecond = 0)
      : clock(start, millisecond) {}
  HeadlessRuntime(const HeadlessRuntime&) = delete;
  HeadlessRuntime& operator=(const HeadlessRuntime&) = delete;

  Runtime runtime() { return Runtime{clock, loop, boxes, process}; }

  VirtualClock clock;
  HeadlessEventLoop loop{clock};
  RecordedMessageBoxes boxes;
  HeadlessProcess process;
};

}  // namespace tavoro::platform::headless
