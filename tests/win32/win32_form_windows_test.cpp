// The program's own windows made real: where their controls land, the ids another process finds
// them by, the menu's Japanese captions, and the settings dialog and About box driven the way a
// user drives them.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/frmMain.h"
#include "audio/SoundMeter.h"
#include "form_window_fixture.h"
#include "platform/help_viewer.h"
#include "settings/call_settings.h"
#include "settings/frmSetting.h"
#include "settings/frmSipSetting.h"
#include "settings/modIniEdit.h"
#include "settings/modRegAutoStart.h"
#include "ui/frmAbout.h"
#include "ui/frmWait.h"
#include "win32/wide_text.h"
#include "win32/win32_credential_store.h"
#include "win32/win32_profile_file.h"
#include "win32/win32_registry.h"
#include "win32/win32_softphone_window.h"
#include "win32/win32_sound_devices.h"
#include "win32/win32_version_query.h"
#include "win32/win32_wave_in.h"

namespace tavoro::platform::win32::testing {
namespace {

class NoHelp final : public HelpViewer {
 public:
  WindowHandle DisplayContents(WindowHandle, std::string_view) override { return {}; }
};

class Win32FormWindowsTest : public FormWindowTest {
 protected:
  ::tavoro::testing::ScratchFolder folder_{::tavoro::testing::TempPath(L"tavoro-forms")};
  Win32ProfileFile profile_;
  Win32Registry registry_;
  Win32VersionQuery version_;
  settings::modIniEdit ini_{profile_, Narrow(folder_.path())};
  settings::modRegAutoStart auto_start_{registry_, version_, boxes_, Narrow(folder_.path())};
  platform::win32::Win32CredentialStore credentials_;
  settings::CallSettings running_;
  RecordedShellOpen shell_;
};

int IndexOf(const forms::Form& form, const forms::Control& control) {
  const auto& controls = form.controls();
  return static_cast<int>(std::find(controls.begin(), controls.end(), &control) - controls.begin());
}

TEST_F(Win32FormWindowsTest, SettingsDialogIsLaidOutFromItsTwipsAndFoundByItsIds) {
  settings::frmSetting dialog(runtime(), windows_, ini_, auto_start_, credentials_, running_);
  dialog.Load();
  const HWND window = ::FindWindowW(L"TavoroForm.frmSetting", L"Tavorophone\u3000設定");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window, windows_.WindowOf(dialog));
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, Pixels(window, 5040));
  EXPECT_EQ(client.bottom, Pixels(window, 6945));

  // Text1 sits in Frame1, which sits in Frame3: its place adds up all three.
  const HWND text1 = ::GetDlgItem(window, kFirstControlId + IndexOf(dialog, dialog.Text1));
  ASSERT_EQ(text1, Control(dialog.Text1));
  const RECT place = PlaceInForm(text1);
  EXPECT_EQ(place.left, Pixels(window, 120 + 120 + 240));
  EXPECT_EQ(place.top, Pixels(window, 120 + 240 + 600));
  EXPECT_EQ(place.right, Pixels(window, 120 + 120 + 240 + 3255));
  EXPECT_EQ(place.bottom, Pixels(window, 120 + 240 + 600 + 270));
  const RECT ok = PlaceInForm(Control(dialog.cmdOK));
  EXPECT_EQ(ok.left, Pixels(window, 2640));
  EXPECT_EQ(ok.bottom, Pixels(window, 6360 + 375));
  EXPECT_TRUE(::GetWindowLongW(Control(dialog.pin_confirmation_box), GWL_STYLE) & ES_PASSWORD);
  EXPECT_EQ(WindowText(Control(dialog.cmdCancel)), "キャンセル");
  EXPECT_TRUE(::GetWindowLongW(Control(dialog.cmdOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
  // Only version 6 buttons know their ideal size: the controls are the shipped program's.
  ASSERT_TRUE(common_controls_.active());
  SIZE ideal{};
  EXPECT_TRUE(
      ::SendMessageW(Control(dialog.cmdOK), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));

  // Every control in the Japanese UI font at the window's DPI; the text boxes explain themselves.
  for (const forms::Control* control : dialog.controls()) {
    LOGFONTW font{};
    const auto handle =
        reinterpret_cast<HFONT>(::SendMessageW(Control(*control), WM_GETFONT, 0, 0));
    ASSERT_TRUE(::GetObjectW(handle, sizeof(font), &font)) << control->name();
    EXPECT_STREQ(font.lfFaceName, L"MS UI Gothic");
    EXPECT_EQ(font.lfHeight, -::MulDiv(9, WindowDpi(window), 72));
  }
  const HWND tips = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
  ASSERT_NE(tips, nullptr);
  EXPECT_EQ(::GetWindow(tips, GW_OWNER), window);
  EXPECT_EQ(::SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 2);
  // Frames lie beneath what they hold, so nothing they paint covers it.
  for (HWND above = Control(dialog.List1); above; above = ::GetWindow(above, GW_HWNDPREV))
    EXPECT_NE(above, Control(dialog.Frame1));
  // Fixed single border: a caption and a minimize box, no sizing frame.
  const LONG style = ::GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX));
}

TEST_F(Win32FormWindowsTest, EnterInTheSettingsDialogSavesThroughOKAndEndsItsModalShow) {
  settings::frmSetting dialog(runtime(), windows_, ini_, auto_start_, credentials_, running_);
  dialog.Load();
  const HWND text2 = Control(dialog.Text2);
  for (const wchar_t c : std::wstring(L"田中"))
    ::SendMessageW(text2, WM_CHAR, c, 1);
  ::PostMessageW(text2, WM_KEYDOWN, VK_RETURN, 0);
  dialog.Show(forms::ShowMode::Modal);
  EXPECT_FALSE(dialog.loaded());
  EXPECT_EQ(running_.call_to, "田中");
  EXPECT_EQ(ini_.ReadSetting("Skype", "CallTo"), "田中");
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(Win32FormWindowsTest, SipDialogOffersTheSystemsDevicesInDropDownListsAndTakesAChoice) {
  Win32SoundDevices devices;
  settings::SipChoice initial;
  initial.sip.playback_device = "Gone Speaker";
  settings::frmSipSetting dialog(runtime(), windows_, &devices, {}, initial);
  dialog.Load();
  ASSERT_NE(::FindWindowW(L"TavoroForm.frmSipSetting", L"Tavorophone\u3000SIPの設定"), nullptr);
  const HWND capture = Control(dialog.capture_list);
  EXPECT_EQ(::GetWindowLongW(capture, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  std::vector<std::string> shown;
  for (int i = 0; i < ::SendMessageW(capture, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t item[64] = {};
    ::SendMessageW(capture, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    shown.push_back(Narrow(item));
  }
  std::vector<std::string> expected{settings::frmSipSetting::kDefaultDevice};
  for (const std::string& name : devices.CaptureDevices())
    expected.push_back(name);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(::SendMessageW(capture, CB_GETCURSEL, 0, 0), 0);
  const HWND playback = Control(dialog.playback_list);
  const auto last = ::SendMessageW(playback, CB_GETCOUNT, 0, 0) - 1;
  EXPECT_EQ(::SendMessageW(playback, CB_GETCURSEL, 0, 0), last) << "the missing device stays";
  // Choosing an entry as a click does: the control learns it through the notification.
  ::SendMessageW(playback, CB_SETCURSEL, 0, 0);
  ::SendMessageW(windows_.WindowOf(dialog), WM_COMMAND,
                 MAKEWPARAM(::GetDlgCtrlID(playback), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(playback));
  EXPECT_EQ(dialog.playback_list.list_index(), 0);
  EXPECT_FALSE(::IsWindowEnabled(Control(dialog.test_button))) << "no check to run";
  EXPECT_TRUE(::GetWindowLongW(Control(dialog.password_box), GWL_STYLE) & ES_PASSWORD);
}

TEST(Win32SoundDevicesTest, NamesAreCutWhereTheStacksSoundModuleCutsThem) {
  EXPECT_EQ(StackDeviceName(std::wstring(40, L'a')), std::string(31, 'a'));
  // 16 double-byte characters in the Japanese code page: the 16th would end past byte 31.
  EXPECT_EQ(StackDeviceName(std::wstring(16, L'\u30DE') + std::wstring(L"\0junk", 5)),
            Narrow(std::wstring(15, L'\u30DE')));
  EXPECT_EQ(StackDeviceName(L"Line 1 (Virtual Cable)"), "Line 1 (Virtual Cable)");
}

TEST_F(Win32FormWindowsTest, AboutBoxLinkFollowsThePointerAndOpensThePage) {
  ui::frmAbout about(runtime(), windows_, shell_);
  about.Show();
  const HWND window = windows_.WindowOf(about);
  // A dialog frame: no minimize box.
  EXPECT_FALSE(::GetWindowLongW(window, GWL_STYLE) & WS_MINIMIZEBOX);
  EXPECT_TRUE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

  const HWND link = Control(about.Label2);
  ::SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(about.Label2.fore_color(), ui::kLinkHoverColor);
  ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(about.Label2.fore_color(), ui::kLinkColor);
  ::SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  ::SendMessageW(Control(about.Label1), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(about.Label2.fore_color(), ui::kLinkColor);

  ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(shell_.opened,
            std::vector<std::string>{"https://www.tavorophone.example.jp/default_jp.htm"});
  // Its one button is the default and the cancel button alike.
  ::PostMessageW(Control(about.cmdOK), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(PumpUntil([&about] { return !about.loaded(); }));
}

TEST_F(Win32FormWindowsTest, WaitWindowWithoutItsClipStillShows) {
  ui::frmWait wait(runtime(), windows_);
  wait.Show();
  ASSERT_TRUE(wait.loaded());
  EXPECT_TRUE(::IsWindowVisible(windows_.WindowOf(wait)));
  EXPECT_NE(Control(wait.Animation1), nullptr);
}

TEST_F(Win32FormWindowsTest, MainWindowHasItsJapaneseMenuAndItsDiagnosticsOutsideTheClientArea) {
  Win32SoftphoneWindow softphone;
  Win32WaveIn wave_in;
  audio::SoundMeter meter(wave_in);
  NoHelp help;
  app::frmMain main(
      runtime(), windows_,
      {ini_, auto_start_, credentials_, [] { return nullptr; }, softphone, meter, help, shell_});
  // Made without loading: the window alone, without the start-up its load would run.
  windows_.Create(main);
  const HWND window = windows_.WindowOf(main);
  const HMENU bar = ::GetMenu(window);
  ASSERT_NE(bar, nullptr);
  // Each item's caption, "-" for a separator.
  const auto captions = [](HMENU menu) {
    std::vector<std::string> all;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
      wchar_t text[64] = {};
      ::GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
      all.push_back(::GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR ? "-" : Narrow(text));
    }
    return all;
  };
  EXPECT_EQ(captions(bar), (std::vector<std::string>{"設定(&S)", "ヘルプ(&H)"}));
  EXPECT_EQ(captions(::GetSubMenu(bar, 1)),
            (std::vector<std::string>{"目次とキーワード(&C)", "-", "バージョン情報(&A)"}));

  // The client area is the form's, below the menu bar.
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, Pixels(window, 4245));
  EXPECT_EQ(client.bottom, Pixels(window, 2295));
  const RECT text4 = PlaceInForm(Control(main.skype_state_box));
  EXPECT_EQ(text4.left, Pixels(window, 1680));
  EXPECT_EQ(text4.top, Pixels(window, 120));
  // Frame1's labels are placed from the frame, beyond the right edge, and so not seen.
  const RECT level = PlaceInForm(Control(main.level_caption));
  EXPECT_EQ(level.left, Pixels(window, 7080 + 120));
  EXPECT_EQ(level.top, Pixels(window, 3360 + 240));
  EXPECT_GT(level.left, client.right);
  windows_.Destroy(main);
  EXPECT_EQ(windows_.WindowOf(main), nullptr);
}

}  // namespace
}  // namespace tavoro::platform::win32::testing
