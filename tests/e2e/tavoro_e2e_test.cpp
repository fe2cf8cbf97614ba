// Tavoro.exe end to end, under Wine, played from another process as a user would: its windows
// are found by class and title, its controls by their dialog ids, its message boxes read and
// closed, what it saved read from its settings file.
//
// Environment: TAVORO_E2E_BIN (the folder of Tavoro.exe, Tavoro.chm and sd.avi).

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/peers.h"
#include "desktop/tavoro_windows.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const MessageBoxSeen kAskForSettings{"Tavorophone", "初期設定をしてください", true};
const MessageBoxSeen kAttachmentRefused{
    "Tavorophone",
    "Skypeがこのアプリケーションと連携できるように設定してください。\r\n"
    "\r\n"
    "一旦このアプリケーションを終了しますので、再度このアプリケーションを起動してください。\r\n"
    "アプリケーションを再起動すると、Skypeが 'tavoro.exeがSkypeと連携しようとしています' "
    "というメッセージを表示します。\r\n"
    "メッセージが表示されたら連携を許可する操作をしてください。",
    true};
const MessageBoxSeen kXLiteMissing{
    "Tavorophone",
    "X-Liteが起動していません。\r\n"
    "このアプリケーションを利用するには、ひかり電話用にセットアップされたX-Liteが必要です。\r\n"
    "X-Lite起動後にこのアプリケーションを再起動してください。",
    true};
constexpr const char* kUsualSettings =
    "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\nAcceptFrom-2=bob\r\n";

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The settings dialog as the user fills it in.
class SettingsDialog {
 public:
  explicit SettingsDialog(HWND window) : window_(window) {}

  void TypeAcceptedCaller(const std::wstring& name) { Type(frmSetting::Text1, name); }
  void TypeCallTo(const std::wstring& name) { Type(frmSetting::Text2, name); }
  void Press(int button) const { ::SendMessageW(Control(window_, button), BM_CLICK, 0, 0); }
  // Clicking an entry: the list selects it and tells its window, as a click would.
  void Select(int index) const {
    const HWND list = Control(window_, frmSetting::List1);
    ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(frmSetting::List1, LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
  }
  std::vector<std::string> List() const {
    const HWND list = Control(window_, frmSetting::List1);
    std::vector<std::string> items;
    const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      std::wstring item(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)), L'\0');
      ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(item.data()));
      items.push_back(platform::win32::Narrow(item));
    }
    return items;
  }
  std::string CallTo() const { return TextOf(Control(window_, frmSetting::Text2)); }
  bool StartsWithWindows() const {
    return ::SendMessageW(Control(window_, frmSetting::Check1), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

 private:
  // What typing leaves behind: the new text, announced by the box as it does for keys.
  void Type(int box, const std::wstring& text) const {
    ::SendMessageW(Control(window_, box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

  HWND window_;
};

class TavoroExe : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring bin = Environment(L"TAVORO_E2E_BIN");
    if (bin.empty())
      GTEST_SKIP() << "run by scripts/e2e.sh, which says where the programs are";
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / L"tavoro-e2e" / test->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    for (const wchar_t* file : {L"Tavoro.exe", L"Tavoro.chm", L"sd.avi"})
      fs::copy_file(fs::path(bin) / file, folder_ / file);
  }

  fs::path Exe() const { return folder_ / L"Tavoro.exe"; }
  fs::path SettingsFile() const { return folder_ / L"setting.ini"; }
  void WriteSettings(const std::string& text) const {
    std::ofstream(SettingsFile(), std::ios::binary) << text;
  }

  HWND WaitForForm(const Program& program, const wchar_t* form) const {
    return WaitForWindow(program.id(), FormClass(form).c_str(), std::nullopt, kPatience);
  }

  static constexpr milliseconds kPatience{15000};
  fs::path folder_;
};

// A first start asks for the settings, and the dialog's round trip (add, select, delete, OK)
// is what lands in the file. No Skype client is installed here, so the start then fails
// where the library cannot be created, with the run-time error message, and ends.
TEST_F(TavoroExe, FirstStartAsksForTheSettingsAndSavesWhatTheDialogHolds) {
  Program tavoro(Exe());
  ASSERT_TRUE(tavoro.running());
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience), kAskForSettings);

  const HWND window = WaitForForm(tavoro, L"frmSetting");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), "Tavorophone\u3000設定");
  SettingsDialog dialog(window);
  EXPECT_THAT(dialog.List(), ::testing::IsEmpty());
  dialog.TypeAcceptedCaller(L"alice");
  dialog.Press(frmSetting::cmdAddUser);
  dialog.TypeAcceptedCaller(L"ボブ");
  dialog.Press(frmSetting::cmdAddUser);
  dialog.Press(frmSetting::cmdAddUser);  // the same name again is not added twice
  dialog.TypeAcceptedCaller(L"carol");
  dialog.Press(frmSetting::cmdAddUser);
  EXPECT_EQ(dialog.List(), (std::vector<std::string>{"alice", "ボブ", "carol"}));
  dialog.Select(0);
  dialog.Press(frmSetting::cmdDelUser);
  EXPECT_EQ(dialog.List(), (std::vector<std::string>{"ボブ", "carol"}));
  dialog.TypeCallTo(L"home.user");
  dialog.Press(frmSetting::cmdOK);

  const auto failure = AnswerMessageBox(tavoro.id(), kPatience);
  ASSERT_TRUE(failure.has_value()) << "no message after the settings were made";
  RecordProperty("failure", failure->text);
  EXPECT_EQ(failure->title, "Tavorophone");
  EXPECT_EQ(failure->text,
            "実行時エラー '429':\r\n\r\nActiveX コンポーネントはオブジェクトを作成できません。");
  EXPECT_TRUE(failure->icon);
  EXPECT_TRUE(tavoro.WaitForEnd(kPatience));

  // Shift_JIS on disk, as the profile functions of a Japanese system write it.
  const std::string saved = ReadFile(SettingsFile());
  EXPECT_THAT(saved, HasSubstr("CallTo=home.user"));
  EXPECT_THAT(saved, HasSubstr("AcceptFrom-1=\x83{\x83u"));
  EXPECT_THAT(saved, HasSubstr("AcceptFrom-2=carol"));
  EXPECT_THAT(saved, HasSubstr("AcceptFrom-3=\r\n"));
  EXPECT_THAT(saved, HasSubstr("WithWindows=0"));
}

// Cancel writes nothing: asked twice (no one to call, no one accepted), cancelled twice, the
// program ends without a word and without a settings file.
TEST_F(TavoroExe, CancelledSettingsWriteNothingAndEndTheStart) {
  Program tavoro(Exe());
  ASSERT_TRUE(tavoro.running());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience), kAskForSettings);
    const HWND window = WaitForForm(tavoro, L"frmSetting");
    ASSERT_NE(window, nullptr);
    SettingsDialog dialog(window);
    dialog.TypeCallTo(L"someone");
    dialog.Press(frmSetting::cmdCancel);
    // The dialog goes before the next box comes.
    ASSERT_TRUE(
        WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, kPatience));
  }
  EXPECT_TRUE(tavoro.WaitForEnd(kPatience));
  EXPECT_FALSE(fs::exists(SettingsFile()));
}

// The dialog opens with what the file holds (accepted callers at any key, the start-with-
// Windows choice), and a second copy of the program started meanwhile ends at once, showing
// nothing.
TEST_F(TavoroExe, DialogOpensWithTheFileAndASecondCopyEndsSilently) {
  WriteSettings(
      "[Skype]\r\nAcceptFrom-2=dave\r\nAcceptFrom-5=erin\r\n[Startup]\r\nWithWindows=1\r\n");
  Program tavoro(Exe());
  ASSERT_TRUE(tavoro.running());
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience), kAskForSettings);
  const HWND window = WaitForForm(tavoro, L"frmSetting");
  ASSERT_NE(window, nullptr);
  SettingsDialog dialog(window);
  EXPECT_EQ(dialog.List(), (std::vector<std::string>{"dave", "erin"}));
  EXPECT_EQ(dialog.CallTo(), "");
  EXPECT_TRUE(dialog.StartsWithWindows());

  Program second(Exe());
  ASSERT_TRUE(second.running());
  EXPECT_TRUE(second.WaitForEnd(kPatience));
  EXPECT_THAT(WindowsOf(second.id()), ::testing::IsEmpty());

  dialog.Press(frmSetting::cmdCancel);
  // Only the first accepted caller counts: asked again, cancelled again, ended silently.
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience), kAskForSettings);
  const HWND again = WaitForForm(tavoro, L"frmSetting");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(SettingsDialog(again).List(), (std::vector<std::string>{"dave", "erin"}));
  SettingsDialog(again).Press(frmSetting::cmdCancel);
  EXPECT_TRUE(tavoro.WaitForEnd(kPatience));
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), milliseconds(0)), std::nullopt);
}

// Both attachments refused: the second after the 15-second countdown, then the message that
// asks the user to allow the program in Skype, and the end. X-Lite is never looked for.
TEST_F(TavoroExe, RefusedAttachmentsEndWithTheirMessage) {
  WriteSettings(kUsualSettings);
  SkypeLibrary skype("client running; attach refuse; attach refuse", folder_ / L"skype.log");
  ASSERT_TRUE(skype.registered());
  Program tavoro(Exe());
  ASSERT_TRUE(tavoro.running());
  ASSERT_NE(WaitForForm(tavoro, L"frmMain"), nullptr);
  // A new wait window counts down while the client is given time to answer.
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (const HWND wait : WindowsOf(tavoro.id(), FormClass(L"frmWait").c_str(), L"処理中")) {
          if (TextOf(Control(wait, frmWait::Label1)).starts_with("Skypeの応答待ちです:1"))
            return true;
        }
        return false;
      },
      kPatience))
      << DescribeWindows(tavoro.id());
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), milliseconds(25000)), kAttachmentRefused);
  EXPECT_TRUE(tavoro.WaitForEnd(kPatience));
  EXPECT_EQ(skype.Journal("attach").size(), 2u);
}

// Attached, but no softphone: its message, and the end.
TEST_F(TavoroExe, MissingSoftphoneEndsWithItsMessage) {
  WriteSettings(kUsualSettings);
  SkypeLibrary skype("client running", folder_ / L"skype.log");
  ASSERT_TRUE(skype.registered());
  Program tavoro(Exe());
  ASSERT_TRUE(tavoro.running());
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience), kXLiteMissing);
  EXPECT_TRUE(tavoro.WaitForEnd(kPatience));
  EXPECT_EQ(skype.Journal("attach").size(), 1u);
}

}  // namespace
}  // namespace tavoro::e2e
