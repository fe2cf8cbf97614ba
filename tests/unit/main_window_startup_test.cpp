// The main window outside calls: start-up, close, the menu and the windows it opens.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "bridge_harness.h"
#include "settings/frmSetting.h"
#include "ui/frmAbout.h"
#include "ui/frmWait.h"

namespace tavoro::app::testing {
namespace {

using platform::MsgBoxIcon;
using platform::headless::AttachOutcome;
using platform::headless::SkypeOperation;
using ::testing::IsEmpty;

constexpr const char* kAttachmentRefusedText =
    "Skypeがこのアプリケーションと連携できるように設定してください。\r\n\r\n"
    "一旦このアプリケーションを終了しますので、再度このアプリケーションを起動してください。\r\n"
    "アプリケーションを再起動すると、Skypeが 'tavoro.exeがSkypeと連携しようとしています' "
    "というメッセージを表示します。\r\n"
    "メッセージが表示されたら連携を許可する操作をしてください。";
// What the wait window says, sampled every 250 ms from the start, one entry per new text.
void SampleWaitCaptions(Bridge& bridge, std::uint64_t until_ms, std::vector<std::string>& texts) {
  for (std::uint64_t at = 0; at <= until_ms; at += 250)
    bridge.headless.loop.PostAt(at, [&bridge, &texts] {
      const ui::frmWait* wait = bridge.main ? bridge.main->wait_window() : nullptr;
      if (wait && (texts.empty() || texts.back() != wait->Label1.caption()))
        texts.push_back(wait->Label1.caption());
    });
}

std::vector<std::string> Counting(const std::string& prefix, std::vector<std::string> texts = {}) {
  for (int left = 15; left >= 0; --left)
    texts.push_back(prefix + std::to_string(left));
  return texts;
}

TEST(StartUp, WithSkypeRunningAttachesAtOnceAndListensThreeSecondsLater) {
  Bridge bridge;
  ASSERT_FALSE(bridge.Start());
  frmMain& main = *bridge.main;
  EXPECT_THAT(bridge.skype->starts(), IsEmpty());
  EXPECT_EQ(bridge.sip_clients_made, 0);
  EXPECT_EQ(main.skype_state_label.caption(), "Skypeの状態");
  ASSERT_EQ(bridge.skype->attaches().size(), 1u);
  const auto& attach = bridge.skype->attaches()[0];
  EXPECT_EQ(std::tuple(attach.protocol, attach.wait, attach.at_ms), std::tuple(5, true, 0u));
  EXPECT_EQ((std::vector{main.skype_state_box.text(), main.softphone_state_box.text(),
                         main.device_box.text(), bridge.meter.wanted_device_name()}),
            (std::vector<std::string>{"待機中", "待機中", "Line 1 (Virtual Cable)",
                                      "Line 1 (Virtual Cable)"}));
  EXPECT_EQ(bridge.meter.capture_bytes(), 100u);
  EXPECT_EQ(bridge.softphone.activations(bridge.xlite), (std::vector<std::uint64_t>{0}));
  EXPECT_EQ(bridge.Now(), 3000u) << "the restart waits 3 s before it listens";
  EXPECT_TRUE(main.bridge().listening() && bridge.meter.capturing());
  EXPECT_THAT(bridge.headless.boxes.shown(), IsEmpty());
  // The wait window was shown once, for the attachment, and is gone.
  EXPECT_EQ(std::count_if(bridge.windows.shows().begin(), bridge.windows.shows().end(),
                          [](const auto& shown) { return shown.form == "frmWait"; }),
            1);
  EXPECT_EQ(main.wait_window(), nullptr);
}

TEST(StartUp, WithSkypeStoppedCountsDownSixteenSecondsThenStartsTheClient) {
  Bridge bridge;
  bridge.skype->SetRunning(false);
  std::vector<std::string> captions;
  SampleWaitCaptions(bridge, 17'000, captions);
  ASSERT_FALSE(bridge.Start());
  EXPECT_EQ(captions, Counting("Skypeを起動します:"));
  ASSERT_EQ(std::pair(bridge.skype->starts().size(), bridge.skype->attaches().size()),
            (std::pair<std::size_t, std::size_t>(1, 1)));
  const auto& start = bridge.skype->starts()[0];
  EXPECT_EQ(
      std::tuple(start.at_ms, start.minimized, start.nosplash, bridge.skype->attaches()[0].at_ms),
      std::tuple(16'000u, false, false, 16'000u));
  EXPECT_EQ(bridge.main->skype_state_box.text(), "待機中");
}

TEST(StartUp, ASecondAttachmentAfterItsOwnCountdownDecides) {
  struct Case {
    const char* what;
    AttachOutcome second;
    bool ends;
    bool wait_window_fails = false;
  };
  for (const Case& c : {Case{"second succeeds", AttachOutcome::Succeed, false},
                        Case{"second refused", AttachOutcome::Refuse, true},
                        Case{"no wait window", AttachOutcome::Succeed, false, true}}) {
    SCOPED_TRACE(c.what);
    Bridge bridge;
    bridge.skype->ScriptAttach(AttachOutcome::Refuse, 500);
    bridge.skype->ScriptAttach(c.second);
    if (c.wait_window_fails)
      bridge.windows.FailShow("frmWait");
    std::vector<std::string> captions;
    SampleWaitCaptions(bridge, 18'000, captions);
    EXPECT_EQ(bridge.Start(), c.ends);
    EXPECT_EQ(captions, Counting("Skypeの応答待ちです:", {"Skypeと通信を試みています"}));
    ASSERT_EQ(bridge.skype->attaches().size(), 2u);
    // The countdown starts at 0.5 s, so the 16th calendar second is passed at 16 s.
    EXPECT_EQ(bridge.skype->attaches()[1].at_ms, 16'000u);
    if (c.ends) {
      EXPECT_EQ(bridge.headless.boxes.shown(),
                (Boxes{{kAttachmentRefusedText, MsgBoxIcon::Exclamation, "Tavorophone"}}));
      EXPECT_THAT(bridge.softphone.activations(bridge.xlite), IsEmpty()) << "X-Lite not tested";
    } else {
      EXPECT_EQ(bridge.main->skype_state_box.text(), "待機中");
      EXPECT_THAT(bridge.headless.boxes.shown(), IsEmpty());
    }
  }
}

TEST(StartUp, ASipSetUpMakesTheSipClientNamesSipAndIsRefusedInItsOwnWords) {
  Bridge bridge("[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\n[sip]\r\nservice=sip\r\n");
  bridge.skype->ScriptAttach(AttachOutcome::Refuse, 500);
  bridge.skype->ScriptAttach(AttachOutcome::Refuse);
  std::vector<std::string> captions;
  SampleWaitCaptions(bridge, 18'000, captions);
  EXPECT_TRUE(bridge.Start());
  EXPECT_EQ(bridge.sip_clients_made, 1);
  EXPECT_EQ(captions, Counting("SIPの応答待ちです:", {"SIPと通信を試みています"}));
  const frmMain& main = *bridge.main;
  EXPECT_EQ((std::vector{main.skype_state_label.caption(), main.caller_label.caption(),
                         main.device_caption.caption()}),
            (std::vector<std::string>{"SIPの状態", "SIP呼び出し元", "SIPAudioDevice"}));
  EXPECT_EQ(bridge.headless.boxes.shown(),
            (Boxes{{"SIPアカウントを登録できませんでした。\r\n\r\n"
                    "一旦このアプリケーションを終了しますので、設定画面の「SIPの設定」で"
                    "SIPアドレス、登録先、ユーザー名とパスワードを確かめてください。\r\n"
                    "確かめたら、再度このアプリケーションを起動してください。",
                    MsgBoxIcon::Exclamation, "Tavorophone"}}));
}

TEST(StartUp, MissingSettingsAreAskedForAtMostTwiceAndOnlyCallToIsRequired) {
  struct Case {
    const char* what;
    const char* file;
    bool dialog_saves;  // the user fills CallTo and AcceptFrom-1 and presses OK
    int dialogs;
    bool ends;
  };
  const Case cases[] = {
      {"CallTo only, cancelled", "[Skype]\r\nCallTo=home.user\r\n", false, 1, false},
      {"nothing, cancelled twice", "", false, 2, true},
      {"nothing, filled in the first", "", true, 1, false},
      {"gap before entry 5",
       "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-5=eve\r\nAcceptFrom-100=+81312345678\r\n", false,
       1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bridge bridge(c.file);
    int dialogs = 0;
    bridge.windows.modal_responder = [&](forms::Form& form) {
      ++dialogs;
      auto& dialog = dynamic_cast<settings::frmSetting&>(form);
      if (c.dialog_saves) {
        dialog.Text2.UserEdits("home.user");
        dialog.Text1.UserEdits("alice");
        dialog.cmdAddUser.Press();
        dialog.cmdOK.Press();
      } else {
        dialog.cmdCancel.Press();
      }
    };
    EXPECT_EQ(bridge.Start(), c.ends);
    EXPECT_EQ(dialogs, c.dialogs);
    EXPECT_EQ(bridge.headless.boxes.shown(),
              Boxes(c.dialogs, {"初期設定をしてください", MsgBoxIcon::Information, "Tavorophone"}));
    EXPECT_EQ(bridge.main->visible(), !c.ends);
    if (c.ends) {
      EXPECT_THAT(bridge.skype->attaches(), IsEmpty());
      continue;
    }
    EXPECT_EQ(bridge.main->CallTo(), "home.user");
    if (std::string(c.what) == "gap before entry 5") {
      EXPECT_EQ(bridge.main->AcceptedCallers()[5], "eve");
      EXPECT_EQ(bridge.main->AcceptedCallers()[100], "+81312345678");
    }
  }
}

TEST(StartUp, ClosingEndsAtOnceWithTheMeterClosedDuringTheCountdownAndWhileListening) {
  for (const bool listening : {false, true}) {
    Bridge bridge;
    bridge.skype->SetRunning(listening);
    if (!listening)
      bridge.headless.loop.PostAt(5'000, [&] { bridge.main->RequestClose(); });
    EXPECT_EQ(bridge.Start(), !listening);
    EXPECT_EQ(bridge.meter.capturing(), listening);
    if (listening) {
      EXPECT_TRUE(bridge.Ends([&] { bridge.main->RequestClose(); }));
    }
    EXPECT_EQ(bridge.Now(), listening ? 3'000u : 5'000u);
    EXPECT_EQ(bridge.skype->starts().size(), 0u);
    EXPECT_FALSE(bridge.meter.capturing());
    EXPECT_EQ(bridge.wave_in.open_handles() + bridge.wave_in.live_buffers(), 0u);
    EXPECT_THAT(bridge.wave_in.misuse(), IsEmpty());
  }
}

// Before the attachment a failure ends with the run-time error; from it on it is passed over.
TEST(StartUp, SkypeFailuresEndTheProgramOnlyBeforeTheAttachment) {
  const Boxes run_time_error{
      {"実行時エラー '-2147220985 (80040207)':\r\n\r\nSkype client isn't installed.",
       MsgBoxIcon::Critical, "Tavorophone"}};
  for (const auto& [failing, boxes] : {std::pair{SkypeOperation::ClientIsRunning, run_time_error},
                                       std::pair{SkypeOperation::ClientStart, run_time_error},
                                       std::pair{SkypeOperation::SettingsAudioIn, Boxes{}}}) {
    Bridge bridge;
    bridge.skype->SetRunning(boxes.empty());
    bridge.skype->Fail(failing, platform::ClientError(platform::skype_result::kNotInstalled,
                                                      "Skype client isn't installed."));
    EXPECT_EQ(bridge.Start(), !boxes.empty());
    EXPECT_EQ(bridge.headless.boxes.shown(), boxes);
    if (boxes.empty()) {
      EXPECT_EQ(bridge.main->device_box.text() + bridge.meter.wanted_device_name(), "");
      EXPECT_TRUE(bridge.Listening());
    }
  }
}

TEST(Menu, SettingsAndAboutOpenOneWindowEachAndHelpOpensTheFileBesideTheProgram) {
  Bridge bridge;
  ASSERT_FALSE(bridge.Start());
  frmMain& main = *bridge.main;
  main.settings_menu.Choose();
  settings::frmSetting* first = main.settings_dialog();
  ASSERT_NE(first, nullptr);
  main.settings_menu.Choose();
  EXPECT_EQ(main.settings_dialog(), first) << "no second dialog while one is open";
  first->cmdCancel.Press();
  EXPECT_EQ(main.settings_dialog(), nullptr);
  main.settings_menu.Choose();
  ASSERT_NE(main.settings_dialog(), nullptr);
  EXPECT_EQ(main.settings_dialog()->Text2.text(), "home.user") << "a new dialog reads the file";
  // A CallTo saved in the dialog is used at once.
  main.settings_dialog()->Text2.UserEdits("new.user");
  main.settings_dialog()->cmdOK.Press();
  EXPECT_EQ(main.CallTo(), "new.user");

  main.version_info_menu.Choose();
  ui::frmAbout* about = main.about_box();
  main.version_info_menu.Choose();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(main.about_box(), about);

  main.help_contents_menu.Choose();
  ASSERT_EQ(bridge.help.requests.size(), 1u);
  EXPECT_EQ(bridge.help.requests[0].help_file, "C:\\App\\Tavoro.chm");

  int modeless = 0;
  for (const auto& shown : bridge.windows.shows())
    modeless += shown.mode == forms::ShowMode::Modeless &&
                (shown.form == "frmSetting" || shown.form == "frmAbout");
  EXPECT_EQ(modeless, 5);
}

TEST(WaitWindow, LoadsTheClipBesideTheProgramEvenAtADriveRoot) {
  Bridge bridge;
  for (const auto& [folder, clip] :
       {std::pair{"C:\\Program Files\\Tavorophone", "C:\\Program Files\\Tavorophone\\sd.avi"},
        std::pair{"T:\\", "T:\\sd.avi"}}) {
    bridge.headless.process.SetAppPath(folder);
    ui::frmWait wait(bridge.headless.runtime(), bridge.windows);
    EXPECT_EQ(wait.Animation1.clip(), "") << "nothing is opened before the window loads";
    wait.Show();
    EXPECT_EQ(wait.Animation1.clip(), clip);
  }
}

// The link turning red under the pointer, blue off it to the window and Label1, and opening
// the page are Win32FormWindowsTest.AboutBoxLinkFollowsThePointerAndOpensThePage's.
TEST(AboutBox, EveryOtherWayOffTheLinkTurnsItBlueAndABrowserThatCannotStartIsNoConcern) {
  Bridge bridge;
  ui::frmAbout about(bridge.headless.runtime(), bridge.windows, bridge.shell);
  about.Show();
  for (forms::Event* leave :
       {&about.Label4.MouseMove, &about.lblDisclaimer.MouseMove, &about.picIcon.MouseMove}) {
    about.Label2.MouseMove();
    EXPECT_EQ(about.Label2.fore_color(), 0x0000FFu);
    (*leave)();
    EXPECT_EQ(about.Label2.fore_color(), 0xFF0000u);
  }
  bridge.shell.succeeds = false;
  about.Label2.Click();
  about.cmdOK.Press();
  EXPECT_FALSE(about.loaded());
}

}  // namespace
}  // namespace tavoro::app::testing
