// The window system on a small form of the test's own: input becomes events once, program
// changes reach the windows, colours are painted, the dialog keys, modal and modeless showing,
// closing through the form.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <stdexcept>

#include "form_window_fixture.h"
#include "forms/controls.h"
#include "forms/menu.h"
#include "forms/timer.h"
#include "win32/wide_text.h"

namespace tavoro::platform::win32::testing {
namespace {

constexpr forms::Color kLit = forms::Rgb(192, 255, 192);

class TestForm final : public forms::Form {
 public:
  TestForm(Runtime runtime, forms::WindowSystem& windows)
      : Form(runtime, windows, "frmTest", "試験用の画面", {0, 0, 4800, 3600},
             forms::BorderStyle::FixedSingle),
        Text1(*this, "Text1", {120, 120, 2415, 270}),
        Label1(*this, "Label1", {120, 480, 2415, 255}, "状態"),
        Frame1(*this, "Frame1", {120, 840, 4500, 1800}, "枠"),
        Check1(*this, "Check1", {120, 240, 2000, 255}, "確認する", &Frame1),
        List1(*this, "List1", {120, 600, 2000, 900}, &Frame1),
        Progress1(*this, "Progress1", {2400, 600, 1800, 255}, 0, 50, &Frame1),
        cmdOK(*this, "cmdOK", {2400, 2880, 1095, 375}, "OK"),
        cmdCancel(*this, "cmdCancel", {3600, 2880, 1095, 375}, "キャンセル"),
        timRest(*this, "timRest", 100),
        MFile("MFile", "ファイル(&F)"),
        MOpen(MFile.Add("MOpen", "開く(&O)")) {
    // Not the order they are declared in.
    Text1.tab_index = 0;
    List1.tab_index = 1;
    Check1.tab_index = 2;
    cmdCancel.tab_index = 3;
    cmdOK.tab_index = 4;
    cmdOK.is_default = true;
    cmdCancel.is_cancel = true;
    Register(MFile);
    // The status boxes' flash, with a shorter rest.
    Text1.Change = [this] {
      ++changes;
      Text1.set_back_color(kLit);
      timRest.set_enabled(true);
    };
    timRest.Tick = [this] {
      timRest.set_enabled(false);
      Text1.set_back_color(forms::kWindowColor);
    };
    cmdOK.Click = [this] { ++ok_clicks; };
    cmdCancel.Click = [this] { ++cancel_clicks; };
    MOpen.Click = [this] { ++menu_clicks; };
  }

  forms::TextBox Text1;
  forms::Label Label1;
  forms::Frame Frame1;
  forms::CheckBox Check1;
  forms::ListBox List1;
  forms::ProgressBar Progress1;
  forms::Button cmdOK;
  forms::Button cmdCancel;
  forms::Timer timRest;
  forms::MenuItem MFile;
  forms::MenuItem& MOpen;

  int changes = 0;
  int ok_clicks = 0;
  int cancel_clicks = 0;
  int menu_clicks = 0;
  bool refuse_close = false;
  std::vector<forms::CloseReason> close_requests;

 protected:
  void Form_QueryUnload(bool& cancel, forms::CloseReason reason) override {
    close_requests.push_back(reason);
    cancel = refuse_close;
  }
};

class Win32WindowSystemTest : public FormWindowTest {
 protected:
  HWND Shown() {
    form_.Show();
    return windows_.WindowOf(form_);
  }
  COLORREF PixelInside(const forms::Control& control) {
    const HWND window = Control(control);
    RECT client{};
    ::GetClientRect(window, &client);
    const HDC dc = ::GetDC(window);
    // Right of any text, left of the border.
    const COLORREF pixel = ::GetPixel(dc, client.right - 3, client.bottom / 2);
    ::ReleaseDC(window, dc);
    return pixel;
  }

  TestForm form_{runtime(), windows_};
};

TEST_F(Win32WindowSystemTest, TypingRaisesChangeOnceAndTheProgramsChangesAreNotRaisedAgain) {
  Shown();
  const HWND text = Control(form_.Text1);
  ::SendMessageW(text, WM_CHAR, L'あ', 1);
  EXPECT_EQ(form_.changes, 1);
  EXPECT_EQ(form_.Text1.text(), "あ");

  ::SetWindowTextW(text, L"通話中");
  EXPECT_EQ(form_.changes, 2);
  EXPECT_EQ(form_.Text1.text(), "通話中");

  form_.Text1.set_text("待機中");
  EXPECT_EQ(form_.changes, 3);
  EXPECT_EQ(WindowText(text), "待機中");
  // Typing on at the end keeps what the program wrote.
  ::SendMessageW(text, EM_SETSEL, 3, 3);
  ::SendMessageW(text, WM_CHAR, L'1', 1);
  EXPECT_EQ(form_.changes, 4);
  EXPECT_EQ(form_.Text1.text(), "待機中1");

  // A window shows text only up to a NUL; the program's text stands and its change is raised
  // once, not again as if the user had cut it short.
  const std::string with_nul("前\0後", 7);
  form_.Text1.set_text(with_nul);
  EXPECT_EQ(form_.changes, 5);
  EXPECT_EQ(form_.Text1.text(), with_nul);
  EXPECT_EQ(WindowText(text), "前");
}

TEST_F(Win32WindowSystemTest, AColourIsPaintedAtOnceAndALitBoxRestsInTheWindowColourAfterItsTimer) {
  Shown();
  const COLORREF resting = ::GetSysColor(COLOR_WINDOW);
  ASSERT_EQ(PixelInside(form_.Text1), resting);
  // Nothing pumped: the program's colour is on screen before its handler returns.
  form_.Text1.set_back_color(kLit);
  EXPECT_EQ(PixelInside(form_.Text1), RGB(192, 255, 192));
  form_.Text1.set_back_color(forms::kWindowColor);
  EXPECT_EQ(PixelInside(form_.Text1), resting);
  // A label too, as the detection light is turned red before the program waits on a call.
  form_.Label1.set_back_color(0x0000FF);
  EXPECT_EQ(PixelInside(form_.Label1), RGB(255, 0, 0));

  ::SendMessageW(Control(form_.Text1), WM_CHAR, L'5', 1);
  EXPECT_EQ(PixelInside(form_.Text1), RGB(192, 255, 192));
  ASSERT_TRUE(PumpUntil([this] { return form_.Text1.back_color() == forms::kWindowColor; }));
  EXPECT_EQ(PixelInside(form_.Text1), resting);
}

TEST_F(Win32WindowSystemTest, ProgramChangesReachTheirWindows) {
  const HWND window = Shown();
  form_.List1.AddItem("alice");
  form_.List1.AddItem("ボブ");
  form_.List1.set_list_index(1);
  form_.Check1.set_checked(true);
  form_.Progress1.set_value(30);
  form_.Label1.set_caption("検出中");
  form_.cmdOK.set_enabled(false);
  form_.Label1.set_visible(false);
  form_.set_caption("別の題");

  const HWND list = Control(form_.List1);
  EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
  wchar_t item[16] = {};
  ::SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, L"ボブ");
  EXPECT_EQ(::SendMessageW(Control(form_.Check1), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendMessageW(Control(form_.Progress1), PBM_GETPOS, 0, 0), 30);
  EXPECT_EQ(::SendMessageW(Control(form_.Progress1), PBM_GETRANGE, FALSE, 0), 50);
  EXPECT_EQ(WindowText(Control(form_.Label1)), "検出中");
  EXPECT_FALSE(::IsWindowEnabled(Control(form_.cmdOK)));
  EXPECT_FALSE(::IsWindowVisible(Control(form_.Label1)));
  EXPECT_EQ(WindowText(window), "別の題");

  form_.List1.RemoveItem(1);
  EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(::SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(Win32WindowSystemTest, ClicksReachTheCheckBoxAndOnlyEnabledButtons) {
  Shown();
  ::SendMessageW(Control(form_.Check1), BM_CLICK, 0, 0);
  EXPECT_TRUE(form_.Check1.checked());
  ::SendMessageW(Control(form_.cmdOK), BM_CLICK, 0, 0);
  EXPECT_EQ(form_.ok_clicks, 1);
  form_.cmdOK.set_enabled(false);
  ::SendMessageW(Control(form_.cmdOK), BM_CLICK, 0, 0);
  EXPECT_EQ(form_.ok_clicks, 1);
}

TEST_F(Win32WindowSystemTest, MenuCommandsChooseTheirItems) {
  const HWND window = Shown();
  const UINT open = ::GetMenuItemID(::GetSubMenu(::GetMenu(window), 0), 0);
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(open, 0), 0);
  EXPECT_EQ(form_.menu_clicks, 1);
  // The entry that only opens its drop-down is no command.
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(kFirstMenuId, 0), 0);
  EXPECT_EQ(form_.menu_clicks, 1);
}

TEST_F(Win32WindowSystemTest, DialogKeysMoveFocusInTabOrderAndPressTheDefaultAndCancelButtons) {
  Shown();
  ASSERT_EQ(::GetFocus(), Control(form_.Text1));
  std::vector<HWND> visited;
  for (int step = 0; step < 5; ++step) {
    ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    system_.loop.DoEvents();
    visited.push_back(::GetFocus());
  }
  EXPECT_EQ(visited, (std::vector<HWND>{Control(form_.List1), Control(form_.Check1),
                                        Control(form_.cmdCancel), Control(form_.cmdOK),
                                        Control(form_.Text1)}));

  ::PostMessageW(Control(form_.Text1), WM_KEYDOWN, VK_RETURN, 0);
  system_.loop.DoEvents();
  EXPECT_EQ(form_.ok_clicks, 1);
  ::PostMessageW(Control(form_.Text1), WM_KEYDOWN, VK_ESCAPE, 0);
  system_.loop.DoEvents();
  EXPECT_EQ(form_.cancel_clicks, 1);
  // Enter on a focused button presses that one.
  ::SetFocus(Control(form_.cmdCancel));
  ::PostMessageW(Control(form_.cmdCancel), WM_KEYDOWN, VK_RETURN, 0);
  system_.loop.DoEvents();
  EXPECT_EQ(form_.ok_clicks, 1);
  EXPECT_EQ(form_.cancel_clicks, 2);
}

TEST_F(Win32WindowSystemTest, TheCloseBoxAsksTheFormWhichMayRefuse) {
  const HWND window = Shown();
  form_.refuse_close = true;
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(form_.loaded());
  EXPECT_TRUE(::IsWindowVisible(window));

  form_.refuse_close = false;
  ::SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(form_.loaded());
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(windows_.WindowOf(form_), nullptr);
  EXPECT_EQ(form_.close_requests,
            (std::vector<forms::CloseReason>{forms::CloseReason::User, forms::CloseReason::User}));
}

TEST_F(Win32WindowSystemTest, ASecondModelessShowBringsTheSameWindowForward) {
  const HWND first = Shown();
  form_.Show();
  EXPECT_EQ(windows_.WindowOf(form_), first);
  EXPECT_EQ(::GetForegroundWindow(), first);
}

TEST_F(Win32WindowSystemTest, AModalShowReturnsWhenAClickUnloadsTheFormAndFreesItsOwner) {
  const HWND owner = Shown();
  TestForm dialog(runtime(), windows_);
  bool owner_enabled_meanwhile = true;
  dialog.cmdOK.Click = [&] {
    owner_enabled_meanwhile = ::IsWindowEnabled(owner) != FALSE;
    dialog.Unload();
  };
  dialog.Load();
  ::PostMessageW(Control(dialog.cmdOK), BM_CLICK, 0, 0);
  dialog.Show(forms::ShowMode::Modal);
  EXPECT_FALSE(dialog.loaded());
  EXPECT_FALSE(owner_enabled_meanwhile);
  EXPECT_TRUE(::IsWindowEnabled(owner));
  EXPECT_EQ(::GetActiveWindow(), owner);
}

TEST_F(Win32WindowSystemTest, AQuitEndsAModalLoopAndStaysForTheMainLoopWhichEndsWithItsForm) {
  windows_.QuitWhenDestroyed(form_);
  form_.Load();
  ::PostQuitMessage(7);
  form_.Show(forms::ShowMode::Modal);
  MSG quit{};
  ASSERT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 7u);

  form_.Hide();
  EXPECT_FALSE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  form_.Unload();
  EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Win32WindowSystemTest, AFailingHandlerLeavesThroughTheNextDoEventsNotTheSystem) {
  Shown();
  form_.cmdOK.Click = [] { throw std::runtime_error("handler failed"); };
  ::SendMessageW(Control(form_.cmdOK), BM_CLICK, 0, 0);
  EXPECT_THROW(system_.loop.DoEvents(), std::runtime_error);
  // The window lives on.
  ::SendMessageW(Control(form_.cmdCancel), BM_CLICK, 0, 0);
  EXPECT_EQ(form_.cancel_clicks, 1);
}

}  // namespace
}  // namespace tavoro::platform::win32::testing
