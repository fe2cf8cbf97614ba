// The runtime's own services on the real system: the event loop, the clock and the message boxes
// (the process is in win32_process_test.cpp).

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "desktop/desktop.h"
#include "win32/message_window.h"
#include "win32/wide_text.h"
#include "win32/win32_clock.h"
#include "win32/win32_event_loop.h"
#include "win32/win32_message_boxes.h"

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

struct SeenBox {
  bool found = false;
  std::string title;
  std::string text;
  HICON icon = nullptr;
};

// Shows a box on this thread while a second thread plays the user: it finds the box by its
// title, as the end-to-end harness does, reads it and presses OK. If no box with that title
// turns up it closes whatever box there is, so a failing test cannot hang.
SeenBox ShowAndAnswer(std::string_view text, MsgBoxIcon icon, std::string_view title) {
  SeenBox seen;
  std::atomic<bool> returned = false;
  std::thread user([&seen, &returned, wide_title = Widen(title)] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!returned) {
      // The box is found as soon as it has its title, before its text and icon are set; it is
      // shown only once they are.
      HWND box = ::FindWindowW(L"#32770", wide_title.c_str());
      if (box && ::IsWindowVisible(box)) {
        seen = {true, e2e::TextOf(box), e2e::TextOf(::GetDlgItem(box, 0xFFFF))};
        if (HWND icon_control = ::GetDlgItem(box, 0x440))
          seen.icon = reinterpret_cast<HICON>(::SendMessageW(icon_control, STM_GETICON, 0, 0));
        ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return;
      }
      if (std::chrono::steady_clock::now() > give_up)
        ::PostMessageW(::FindWindowW(L"#32770", nullptr), WM_COMMAND, IDOK, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  Win32MessageBoxes().MsgBox(text, icon, title);
  returned = true;
  user.join();
  return seen;
}

TEST(Win32MessageBoxes, ShowTheTextAndTitleUnchangedWithTheIconAsked) {
  const std::string text =
      "X-Liteの音量検出機能がエラーを返しました。\r\n"
      "プログラムを一旦終了し、起動しなおしてみてください。";
  const struct {
    MsgBoxIcon icon;
    const wchar_t* system_icon;
  } cases[] = {{MsgBoxIcon::Information, IDI_INFORMATION},
               {MsgBoxIcon::Exclamation, IDI_WARNING},
               {MsgBoxIcon::Critical, IDI_ERROR},
               {MsgBoxIcon::None, nullptr}};
  for (const auto& [icon, system_icon] : cases) {
    const std::string title = "タヴォロフォン " + std::to_string(static_cast<int>(icon));
    const SeenBox seen = ShowAndAnswer(text, icon, title);
    ASSERT_TRUE(seen.found) << title;
    EXPECT_EQ(seen.title, title);
    EXPECT_EQ(seen.text, text);
    EXPECT_EQ(seen.icon, system_icon ? ::LoadIconW(nullptr, system_icon) : nullptr) << title;
  }
}

}  // namespace
}  // namespace tavoro::platform::win32
