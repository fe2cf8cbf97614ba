// The settings dialog: what it loads, and what its buttons do to the file and running program.

#include <gtest/gtest.h>

#include "bridge_harness.h"
#include "settings/frmSetting.h"

namespace tavoro::settings {
namespace {

using platform::MsgBoxIcon;
using platform::RegistryRoot;

class SettingsDialog : public ::testing::Test {
 protected:
  std::unique_ptr<frmSetting> Open(std::string_view folder = "C:\\App") {
    ini_ = std::make_unique<modIniEdit>(peers_.profile, folder);
    auto dialog = std::make_unique<frmSetting>(peers_.headless.runtime(), peers_.windows, *ini_,
                                               peers_.auto_start, peers_.credentials, running_);
    dialog->Show();
    return dialog;
  }
  void Add(frmSetting& dialog, std::string_view name) {
    dialog.Text1.UserEdits(name);
    dialog.cmdAddUser.Press();
  }

  app::testing::Bridge peers_{nullptr};  // its version query answers Windows 7: per-user Run key
  CallSettings running_;
  std::unique_ptr<modIniEdit> ini_;
};

TEST_F(SettingsDialog, LoadsTheFileWithoutGapsAndTicksOnlyForExactlyOne) {
  peers_.WriteSettings(
      "[Skype]\r\nCallTo=home\r\nAcceptFrom-2=bob\r\nAcceptFrom-5=alice\r\n"
      "[Startup]\r\nWithWindows=yes\r\n");
  auto dialog = Open();
  EXPECT_EQ(dialog->Text2.text(), "home");
  EXPECT_EQ(dialog->List1.items(), (std::vector<std::string>{"bob", "alice"}));
  EXPECT_FALSE(dialog->Check1.checked());
  peers_.WriteSettings("[Startup]\r\nWithWindows=1\r\n");
  EXPECT_TRUE(Open()->Check1.checked());
}

TEST_F(SettingsDialog, AddKeepsExactDuplicatesOutAndDeleteNeedsASelection) {
  auto dialog = Open();
  for (const char* name : {"Alice", "alice", "", "alice", " bob "})
    Add(*dialog, name);
  EXPECT_EQ(dialog->List1.items(), (std::vector<std::string>{"Alice", "alice", " bob "}));
  EXPECT_EQ(dialog->Text1.text(), " bob ") << "the typed name stays for the next add";

  dialog->cmdDelUser.Press();
  EXPECT_EQ(dialog->List1.ListCount(), 3);
  dialog->List1.set_list_index(1);
  dialog->cmdDelUser.Press();
  EXPECT_EQ(dialog->List1.items(), (std::vector<std::string>{"Alice", " bob "}));
}

TEST_F(SettingsDialog, AHundredAndFirstNameIsRefusedWithAMessage) {
  auto dialog = Open();
  for (int i = 1; i <= 101; ++i)
    Add(*dialog, "user" + std::to_string(i));
  EXPECT_EQ(dialog->List1.ListCount(), 100);
  EXPECT_EQ(peers_.headless.boxes.shown(),
            (app::testing::Boxes{{"着信を許可できるSkype名は100件までです。",
                                  MsgBoxIcon::Information, "Tavorophone"}}));
}

TEST_F(SettingsDialog, OkWritesEverythingDenselyAndUpdatesTheRunningProgramAtOnce) {
  peers_.WriteSettings("[Skype]\r\nAcceptFrom-2=bob\r\nAcceptFrom-5=alice\r\nAcceptFrom-9=zed\r\n");
  running_.accepted_callers[9] = "zed";
  auto dialog = Open();
  dialog->Text2.UserEdits("home");
  Add(*dialog, "carol");
  dialog->Check1.set_checked(true);
  dialog->cmdOK.Press();

  EXPECT_FALSE(dialog->loaded());
  std::string expected =
      "[Skype]\r\nAcceptFrom-2=alice\r\nAcceptFrom-5=\r\nAcceptFrom-9=\r\n"
      "CallTo=home\r\nAcceptFrom-1=bob\r\nAcceptFrom-3=zed\r\nAcceptFrom-4=carol\r\n";
  for (int n = 6; n <= 100; ++n) {
    if (n != 9)
      expected += "AcceptFrom-" + std::to_string(n) + "=\r\n";
  }
  expected += "[Startup]\r\nWithWindows=1\r\n";
  EXPECT_EQ(peers_.SettingsText(), expected);
  EXPECT_EQ(running_.call_to, "home");
  EXPECT_EQ(std::vector(running_.accepted_callers.begin(), running_.accepted_callers.begin() + 10),
            (std::vector<std::string>{"", "bob", "alice", "zed", "carol", "", "", "", "", ""}));
  EXPECT_TRUE(peers_.registry.Value(RegistryRoot::CurrentUser, kRunKeyPath, kRunValueName));
}

TEST_F(SettingsDialog, CancelAndTheCloseBoxChangeNothing) {
  peers_.WriteSettings("[Skype]\r\nCallTo=home\r\nAcceptFrom-1=bob\r\n");
  for (const bool close_box : {false, true}) {
    auto dialog = Open();
    dialog->Text2.UserEdits("changed");
    Add(*dialog, "eve");
    dialog->Check1.set_checked(true);
    if (close_box) {
      dialog->RequestClose();
    } else {
      dialog->cmdCancel.Press();
    }
    EXPECT_FALSE(dialog->loaded());
  }
  EXPECT_EQ(peers_.SettingsText(), "[Skype]\r\nCallTo=home\r\nAcceptFrom-1=bob\r\n");
  EXPECT_EQ(running_.call_to, "");
  EXPECT_EQ(peers_.registry.ValueCount(RegistryRoot::CurrentUser, kRunKeyPath), 0u);
}

TEST_F(SettingsDialog, UnwritableFileIsReportedOnceWhileTheProgramStillTakesTheValues) {
  auto dialog = Open("C:\\Missing");
  dialog->Text2.UserEdits("home");
  Add(*dialog, "bob");
  dialog->cmdOK.Press();

  EXPECT_EQ(
      peers_.headless.boxes.shown(),
      (app::testing::Boxes{{"設定ファイルに書き込めませんでした。\r\nC:\\Missing\\setting.ini",
                            MsgBoxIcon::Exclamation, "Tavorophone"}}));
  EXPECT_EQ(running_.call_to, "home");
  EXPECT_EQ(running_.accepted_callers[1], "bob");
  EXPECT_FALSE(dialog->loaded());
}

}  // namespace
}  // namespace tavoro::settings
