#pragma once
// One program's runtime services on Windows, made once in the entry point. The process comes
// first so that the instance mutex is taken before anything else happens.

#include "platform/runtime.h"
#include "win32/win32_clock.h"
#include "win32/win32_event_loop.h"
#include "win32/win32_message_boxes.h"
#include "win32/win32_process.h"

namespace tavoro::platform::win32 {

struct Win32Runtime {
  Win32Runtime() = default;
  Win32Runtime(const Win32Runtime&) = delete;
  Win32Runtime& operator=(const Win32Runtime&) = delete;

  Runtime runtime() { return Runtime{clock, loop, boxes, process}; }

  Win32Process process;
  Win32Clock clock;
  Win32EventLoop loop;
  Win32MessageBoxes boxes;
};

}  // namespace tavoro::platform::win32
