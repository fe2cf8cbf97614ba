#pragma once
// The runtime services one program uses, bundled so a window or module takes them in one
// argument. The backend (win32 or headless) owns the objects; this only refers to them.

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace tavoro::platform {

struct Runtime {
  Clock& clock;
  EventLoop& loop;
  MessageBoxes& boxes;
  Process& process;
};

}  // namespace tavoro::platform
