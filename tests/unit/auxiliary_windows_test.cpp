// The wait window and the About box on the headless platform.

#include <gtest/gtest.h>

#include "headless/headless_runtime.h"
#include "headless/headless_window_system.h"
#include "headless/recording_shell_open.h"
#include "ui/frmAbout.h"
#include "ui/frmWait.h"

namespace tavoro::ui {
namespace {

using platform::headless::HeadlessRuntime;
using platform::headless::HeadlessWindowSystem;

TEST(WaitWindow, LoadsTheClipBesideTheProgramEvenAtADriveRoot) {
  HeadlessRuntime headless;
  HeadlessWindowSystem windows;
  for (const auto& [folder, clip] :
       {std::pair{"C:\\Program Files\\Tavorophone", "C:\\Program Files\\Tavorophone\\sd.avi"},
        std::pair{"T:\\", "T:\\sd.avi"}}) {
    headless.process.SetAppPath(folder);
    frmWait wait(headless.runtime(), windows);
    EXPECT_EQ(wait.Animation1.clip(), "") << "nothing is opened before the window loads";
    wait.Show();
    EXPECT_EQ(wait.Animation1.clip(), clip);
    EXPECT_EQ(wait.caption(), "処理中");
    EXPECT_EQ(wait.Label1.caption(), "Skypeを起動します．．．");
  }
}

TEST(AboutBox, LinkIsBlueAtRestRedUnderThePointerAndOpensTheMakersPage) {
  HeadlessRuntime headless;
  HeadlessWindowSystem windows;
  platform::headless::RecordingShellOpen shell;
  frmAbout about(headless.runtime(), windows, shell);
  about.Show();
  EXPECT_EQ(about.lblVersion.caption(), "Version 1.00");
  EXPECT_EQ(about.Label2.fore_color(), 0xFF0000u);

  // Every way off the link turns it blue again.
  for (forms::Event* leave : {&about.MouseMove, &about.Label1.MouseMove, &about.Label4.MouseMove,
                              &about.lblDisclaimer.MouseMove, &about.picIcon.MouseMove}) {
    about.Label2.MouseMove();
    EXPECT_EQ(about.Label2.fore_color(), 0x0000FFu);
    (*leave)();
    EXPECT_EQ(about.Label2.fore_color(), 0xFF0000u);
  }

  about.Label2.Click();
  EXPECT_EQ(shell.opened,
            (std::vector<std::string>{"https://www.tavorophone.example.jp/default_jp.htm"}));
  shell.succeeds = false;
  about.Label2.Click();  // a browser that cannot start is no concern of the box
  about.cmdOK.Press();
  EXPECT_FALSE(about.loaded());
}

}  // namespace
}  // namespace tavoro::ui
