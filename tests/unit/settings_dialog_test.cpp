// The settings dialog against the headless settings file and registry: what it loads, what
// "追加", "削除", OK and Cancel do to the file and to the running program.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "headless/fixed_version_query.h"
#include "headless/headless_runtime.h"
#include "headless/headless_window_system.h"
#include "headless/host_profile_file.h"
#include "headless/memory_credential_store.h"
#include "headless/memory_registry.h"
#include "settings/frmSetting.h"

namespace tavoro::settings {
namespace {

namespace fs = std::filesystem;
using platform::MsgBoxIcon;
using platform::RegistryRoot;

class SettingsDialog : public ::testing::Test {
 protected:
  SettingsDialog() { fs::create_directories(drives_ / "c" / "App"); }
  ~SettingsDialog() override { fs::remove_all(drives_); }

  void WriteFile(const std::string& text) {
    std::ofstream(drives_ / "c" / "App" / "setting.ini", std::ios::binary) << text;
  }
  std::string FileText() {
    std::ifstream in(drives_ / "c" / "App" / "setting.ini", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::unique_ptr<frmSetting> Open(std::string_view folder = "C:\\App") {
    ini_ = std::make_unique<modIniEdit>(profile_, folder);
    auto dialog = std::make_unique<frmSetting>(headless_.runtime(), windows_, *ini_, auto_start_,
                                               credentials_, running_);
    dialog->Show();
    return dialog;
  }
  void Add(frmSetting& dialog, std::string_view name) {
    dialog.Text1.UserEdits(name);
    dialog.cmdAddUser.Press();
  }

  fs::path drives_ = fs::temp_directory_path() / ("tavoro-dialog-" + std::to_string(::getpid()));
  platform::headless::HostProfileFile profile_{drives_};
  platform::headless::MemoryRegistry registry_;
  platform::headless::FixedVersionQuery version_;  // answers Windows 7: per-user Run key
  platform::headless::HeadlessRuntime headless_;
  platform::headless::HeadlessWindowSystem windows_;
  modRegAutoStart auto_start_{registry_, version_, headless_.boxes, "C:\\App"};
  platform::headless::MemoryCredentialStore credentials_;
  settings::CallSettings running_;
  std::unique_ptr<modIniEdit> ini_;
};

TEST_F(SettingsDialog, LoadsTheFileWithoutGapsAndTicksOnlyForExactlyOne) {
  WriteFile(
      "[Skype]\r\nCallTo=home\r\nAcceptFrom-2=bob\r\nAcceptFrom-5=alice\r\n"
      "[Startup]\r\nWithWindows=yes\r\n");
  auto dialog = Open();
  EXPECT_EQ(dialog->caption(), "Tavorophone\u3000設定");
  EXPECT_EQ(dialog->Text2.text(), "home");
  EXPECT_EQ(dialog->List1.items(), (std::vector<std::string>{"bob", "alice"}));
  EXPECT_FALSE(dialog->Check1.checked());
  EXPECT_EQ(dialog->Text1.text(), "");
  WriteFile("[Startup]\r\nWithWindows=1\r\n");
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
  EXPECT_TRUE(headless_.boxes.shown().empty());
}

TEST_F(SettingsDialog, AHundredAndFirstNameIsRefusedWithAMessage) {
  auto dialog = Open();
  for (int i = 1; i <= 101; ++i)
    Add(*dialog, "user" + std::to_string(i));
  EXPECT_EQ(dialog->List1.ListCount(), 100);
  ASSERT_EQ(headless_.boxes.shown().size(), 1u);
  EXPECT_EQ(headless_.boxes.shown()[0].icon, MsgBoxIcon::Information);
  EXPECT_EQ(headless_.boxes.shown()[0].title, "Tavorophone");
}

TEST_F(SettingsDialog, OkWritesEverythingDenselyAndUpdatesTheRunningProgramAtOnce) {
  WriteFile("[Skype]\r\nAcceptFrom-2=bob\r\nAcceptFrom-5=alice\r\nAcceptFrom-9=zed\r\n");
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
  EXPECT_EQ(FileText(), expected);
  EXPECT_EQ(running_.call_to, "home");
  EXPECT_EQ(running_.accepted_callers[1], "bob");
  EXPECT_EQ(running_.accepted_callers[3], "zed");
  EXPECT_EQ(running_.accepted_callers[4], "carol");
  EXPECT_EQ(running_.accepted_callers[9], "");
  EXPECT_TRUE(registry_.Value(RegistryRoot::CurrentUser, kRunKeyPath, kRunValueName));
}

TEST_F(SettingsDialog, CancelAndTheCloseBoxChangeNothing) {
  WriteFile("[Skype]\r\nCallTo=home\r\nAcceptFrom-1=bob\r\n");
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
  EXPECT_EQ(FileText(), "[Skype]\r\nCallTo=home\r\nAcceptFrom-1=bob\r\n");
  EXPECT_EQ(running_.call_to, "");
  EXPECT_EQ(registry_.ValueCount(RegistryRoot::CurrentUser, kRunKeyPath), 0u);
}

TEST_F(SettingsDialog, UnwritableFileIsReportedOnceWhileTheProgramStillTakesTheValues) {
  auto dialog = Open("C:\\Missing");
  dialog->Text2.UserEdits("home");
  Add(*dialog, "bob");
  dialog->cmdOK.Press();

  ASSERT_EQ(headless_.boxes.shown().size(), 1u);
  EXPECT_EQ(headless_.boxes.shown()[0].text,
            "設定ファイルに書き込めませんでした。\r\nC:\\Missing\\setting.ini");
  EXPECT_EQ(headless_.boxes.shown()[0].icon, MsgBoxIcon::Exclamation);
  EXPECT_EQ(running_.call_to, "home");
  EXPECT_EQ(running_.accepted_callers[1], "bob");
  EXPECT_FALSE(dialog->loaded());
}

}  // namespace
}  // namespace tavoro::settings
