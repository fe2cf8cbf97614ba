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
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/peers.h"
#include "desktop/tavoro_windows.h"

namespace tavoro::e2e {
namespace {

using ::testing::HasSubstr;

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

// The settings dialog as the user fills it in. Typing leaves the new text behind, announced
// by the box as it does for keys; clicking an entry selects it and tells the dialog.
void Type(HWND dialog, int box, const wchar_t* text) {
  ::SendMessageW(Control(dialog, box), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
void Press(HWND dialog, int button) {
  ::SendMessageW(Control(dialog, button), BM_CLICK, 0, 0);
}
void Select(HWND dialog, int index) {
  const HWND list = Control(dialog, frmSetting::List1);
  ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(frmSetting::List1, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}
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

  static constexpr milliseconds kPatience{15000};
  fs::path folder_;
};

// A first start asks for the settings, and the dialog's round trip (add, select, delete, OK)
// is what lands in the file; a second copy started meanwhile ends at once, showing nothing.
// No Skype client is installed here, so the start then fails where the library cannot be
// created, with the run-time error message, and ends.
TEST_F(TavoroExe, FirstStartAsksForTheSettingsAndSavesWhatTheDialogHolds) {
  Program tavoro(Exe());
  ASSERT_TRUE(tavoro.running());
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience), kAskForSettings);

  const HWND dialog =
      WaitForWindow(tavoro.id(), FormClass(L"frmSetting").c_str(), std::nullopt, kPatience);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(dialog), "Tavorophone\u3000設定");
  // Added, the same name again not twice, the first deleted: the file shows the list that was
  // left (the list box itself is the form window tests').
  for (const wchar_t* name : {L"alice", L"ボブ", L"ボブ", L"carol"}) {
    Type(dialog, frmSetting::Text1, name);
    Press(dialog, frmSetting::cmdAddUser);
  }
  Select(dialog, 0);
  Press(dialog, frmSetting::cmdDelUser);
  Type(dialog, frmSetting::Text2, L"home.user");

  Program second(Exe());
  ASSERT_TRUE(second.running());
  EXPECT_TRUE(second.WaitForEnd(kPatience));
  EXPECT_THAT(WindowsOf(second.id()), ::testing::IsEmpty());

  Press(dialog, frmSetting::cmdOK);
  EXPECT_EQ(AnswerMessageBox(tavoro.id(), kPatience),
            (MessageBoxSeen{
                "Tavorophone",
                "実行時エラー '429':\r\n\r\nActiveX コンポーネントはオブジェクトを作成できません。",
                true}));
  EXPECT_TRUE(tavoro.WaitForEnd(kPatience));

  // Shift_JIS on disk, as the profile functions of a Japanese system write it.
  std::ifstream in(SettingsFile(), std::ios::binary);
  const std::string saved{std::istreambuf_iterator<char>(in), {}};
  EXPECT_THAT(saved, HasSubstr("CallTo=home.user"));
  EXPECT_THAT(saved, HasSubstr("AcceptFrom-1=\x83{\x83u"));
  EXPECT_THAT(saved, HasSubstr("AcceptFrom-2=carol"));
  EXPECT_THAT(saved, HasSubstr("AcceptFrom-3=\r\n"));
  EXPECT_THAT(saved, HasSubstr("WithWindows=0"));
}

// Both attachments refused (the second after the 15-second countdown, X-Lite never looked
// for), or attached but no softphone: each ends with its message.
TEST_F(TavoroExe, RefusedAttachmentsOrAMissingSoftphoneEndWithTheirMessage) {
  const struct {
    const char* skype;
    MessageBoxSeen message;
    std::size_t attaches;
  } kCases[] = {{"client running; attach refuse; attach refuse", kAttachmentRefused, 2},
                {"client running", kXLiteMissing, 1}};
  std::ofstream(SettingsFile(), std::ios::binary)
      << "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\nAcceptFrom-2=bob\r\n";
  for (const auto& [setup, message, attaches] : kCases) {
    SCOPED_TRACE(setup);
    SkypeLibrary skype(setup, folder_ / (std::to_string(attaches) + "-skype.log"));
    ASSERT_TRUE(skype.registered());
    Program tavoro(Exe());
    ASSERT_TRUE(tavoro.running());
    EXPECT_EQ(AnswerMessageBox(tavoro.id(), milliseconds(25000)), message);
    EXPECT_TRUE(tavoro.WaitForEnd(kPatience));
    EXPECT_EQ(skype.Journal("attach").size(), attaches);
  }
}

}  // namespace
}  // namespace tavoro::e2e
