#pragma once
// The Skype client through its automation library, Skype4COM: the object made from the ProgID
// "Skype4COM.Skype" on the calling thread's apartment (the window thread's single-threaded
// one), every operation bound late by name, the events taken from its connection point.
//
// Events reach the CallClientEvents sink while the window thread dispatches messages. A failure a
// handler throws must not travel back into the library's frames: it is handed to the event
// loop, whose next DoEvents or Run throws it on the window thread.

#include <memory>

#include "platform/call_client.h"
#include "win32/win32_event_loop.h"

namespace tavoro::platform::win32 {

// Throws ClientError when the library is not registered or its object cannot be made or
// connected. The loop must outlive the client.
std::shared_ptr<CallClient> CreateSkype4ComClient(Win32EventLoop& loop);

}  // namespace tavoro::platform::win32
