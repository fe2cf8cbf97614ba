// The wait window on the headless platform.

#include <gtest/gtest.h>

#include "platform/headless/headless_runtime.h"
#include "platform/headless/headless_window_system.h"
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

}  // namespace
}  // namespace tavoro::ui
