#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "win32/message_window.h"
#include "win32/win32_clock.h"
#include "win32/win32_event_loop.h"

namespace tavoro::platform::win32 {
namespace {

TEST(Win32EventLoop, TicksWaitForDoEventsMergeIntoOneAndStopWhenKilled) {
  Win32EventLoop loop;
  int ticks = 0;
  int killed_ticks = 0;
  TimerId timer = 0;
  timer = loop.SetTimer(100, [&] {
    if (++ticks == 2)
      loop.KillTimer(timer);
  });
  const TimerId killed = loop.SetTimer(20, [&killed_ticks] { ++killed_ticks; });
  loop.Sleep(350);
  loop.KillTimer(killed);
  EXPECT_EQ(ticks, 0);
  loop.DoEvents();
  EXPECT_EQ(ticks, 1);
  for (int pass = 0; pass < 10; ++pass) {
    loop.Sleep(50);
    loop.DoEvents();
  }
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(killed_ticks, 0);
}

TEST(Win32EventLoop, AFailingTickLeavesThroughTheDoEventsThatDispatchedIt) {
  Win32EventLoop loop;
  loop.SetTimer(10, [] { throw std::runtime_error("tick failed"); });
  loop.Sleep(30);
  EXPECT_THROW(loop.DoEvents(), std::runtime_error);
}

TEST(Win32EventLoop, DoEventsDispatchesPostedMessagesAndLeavesTheQuitToRun) {
  Win32EventLoop loop;
  int received = 0;
  MessageWindow peer([&received](UINT message, WPARAM, LPARAM) {
    received += message == WM_APP ? 1 : 0;
    return message == WM_APP;
  });
  // Should DoEvents swallow the quit, Run ends only on the backstop's, and the test fails.
  bool backstop_ended_run = false;
  const TimerId backstop = loop.SetTimer(3000, [&backstop_ended_run] {
    backstop_ended_run = true;
    ::PostQuitMessage(0);
  });
  ::PostMessageW(peer.handle(), WM_APP, 0, 0);
  ::PostQuitMessage(0);
  EXPECT_EQ(received, 0);
  loop.DoEvents();
  EXPECT_EQ(received, 1);
  loop.Run();
  loop.KillTimer(backstop);
  EXPECT_FALSE(backstop_ended_run);
}

TEST(Win32Clock, NowIsTheSystemsLocalTime) {
  SYSTEMTIME system{};
  ::GetLocalTime(&system);
  const LocalTime now = Win32Clock().Now();
  const LocalTime expected{system.wYear, system.wMonth,  system.wDay,
                           system.wHour, system.wMinute, system.wSecond};
  EXPECT_LE(std::abs(SecondsBetween(expected, now)), 1);
}

}  // namespace
}  // namespace tavoro::platform::win32
