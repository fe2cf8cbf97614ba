// The SIP settings: what their check refuses, and the settings dialog keeping them with the PIN.

#include <gtest/gtest.h>

#include "bridge_harness.h"
#include "headless/listed_sound_devices.h"
#include "settings/frmSetting.h"
#include "settings/pin_setting.h"
#include "settings/sip_setting_check.h"

namespace tavoro::settings {
namespace {

TEST(SipSettingsCheck, RefusesWhatTheAgentCannotUseAndNamesAMissingDevice) {
  const std::string address = "SIPアドレスの形が正しくありません。";
  const std::string registrar = "登録先（サーバー）の形が正しくありません。";
  const std::string port = "待ち受けポートには1～65535の数字を入力してください。";
  const std::string none;
  const struct {
    std::string_view address, registrar, port, password, capture;
    const std::string& problem;  // how the message starts; empty: accepted
  } cases[] = {
      {"taro@sip.example.jp", "", "5060", "", "", none},
      {"SIP:0312345678@192.168.1.1:5062", "[2001:db8::1]:5070", "1", "p w;\"<>", "Mic", none},
      {"a@[::ffff:10.0.0.1]", "reg-1.example.jp:65535", "65535", "", "", none},
      {"taro", "", "5060", "", "", address},
      {"ta ro@example.jp", "", "5060", "", "", address},
      {"<taro>@example.jp", "", "5060", "", "", address},
      {"taro@-bad.jp", "", "5060", "", "", address},
      {"taro@256.1.1.1", "", "5060", "", "", address},
      {"taro@[1::2::3]", "", "5060", "", "", address},
      {"taro@example.jp", "example.jp:0", "5060", "", "", registrar},
      {"taro@example.jp", "2001:db8::1", "5060", "", "", registrar},
      {"taro@example.jp", "", "0", "", "", port},
      {"taro@example.jp", "", "65536", "", "", port},
      {"taro@example.jp", "", "+5060", "", "", port},
      {"taro@example.jp", "", "5060", "a\nb", "", "パスワードに改行は使えません。"},
      {"taro@example.jp", "", "5060", "", "Gone", "録音デバイス「Gone」が見つかりません。"},
      {"", "", "5060", "", "", "SIPを使うには、SIPアドレスを入力してください。"},
  };
  for (const auto& c : cases) {
    TypedSipSettings typed{{}, std::string(c.port), std::string(c.password)};
    typed.sip.service = RemoteService::Sip;
    typed.sip.address = c.address;
    typed.sip.registrar = c.registrar;
    typed.sip.capture_device = c.capture;
    const auto problem = SipSettingsProblem(typed, {"Mic"}, {});
    EXPECT_EQ(problem.value_or("").substr(0, c.problem.size()), c.problem) << c.address;
    EXPECT_EQ(problem.has_value(), !c.problem.empty()) << c.address << " " << c.registrar;
  }
}

// A file edited by hand never turns the gateway into something the user did not choose.
TEST(SipSettingsFile, AServiceOrPortThatIsNotOneReadsAsSkypeAndTheDefaultPort) {
  const struct {
    const char* section;
    RemoteService service;
    std::uint16_t port;
  } cases[] = {
      {"Service=sip\r\nPort=65535", RemoteService::Sip, 65535},
      {"Service=SIP \r\nPort=1", RemoteService::Sip, 1},
      {"Service=SIPs\r\nPort=65536", RemoteService::Skype, kDefaultSipPort},
      {"Service=Skype\r\nPort=0", RemoteService::Skype, kDefaultSipPort},
      {"Port=50x", RemoteService::Skype, kDefaultSipPort},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.section);
    app::testing::Bridge peers(nullptr);
    peers.WriteSettings(std::string("[SIP]\r\n") + c.section + "\r\n");
    const SipSettings sip = ReadSipSettings(peers.ini);
    EXPECT_EQ(std::pair(sip.service, sip.port), std::pair(c.service, c.port));
  }
}

class SipSetting : public ::testing::Test {
 protected:
  void Open() {
    devices_.capture = {"Mic", "USB Mic"};
    dialog_ = std::make_unique<frmSetting>(peers_.headless.runtime(), peers_.windows, peers_.ini,
                                           peers_.auto_start, peers_.credentials, running_,
                                           &devices_, [this](const SipSettings& sip, auto&) {
                                             tested_ = sip.address;
                                             return result_;
                                           });
    dialog_->Show();
  }
  // Opens the SIP settings, lets `user` fill them and presses OK (or closes them when `ok` is
  // false), then presses the settings dialog's OK.
  void ChooseSip(std::function<void(frmSipSetting&)> user, bool ok = true) {
    peers_.windows.modal_responder = [&](forms::Form& form) {
      auto& sip = dynamic_cast<frmSipSetting&>(form);
      user(sip);
      if (sip.loaded())
        (ok ? sip.ok_button : sip.cancel_button).Press();
      if (sip.loaded())
        sip.cancel_button.Press();
    };
    dialog_->sip_button.Press();
  }
  static void Account(frmSipSetting& sip) {
    sip.service_check.set_checked(true);
    sip.address_box.UserEdits("sip:taro@sip.example.jp");
    sip.password_box.UserEdits("secret");
    sip.capture_list.set_list_index(1);
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> texts;
    for (const auto& box : peers_.headless.boxes.shown())
      texts.push_back(box.text);
    return texts;
  }
  std::string SipPassword() { return ReadSipPassword(peers_.credentials); }

  app::testing::Bridge peers_;
  platform::headless::ListedSoundDevices devices_;
  CallSettings running_;
  RegistrationResult result_{RegistrationOutcome::Refused, 403, ""};
  std::string tested_;
  std::unique_ptr<frmSetting> dialog_;
};

TEST_F(SipSetting, SipIsRefusedWithoutAPinThenKeptWithItAndReadBackNextTime) {
  const std::string before = peers_.SettingsText();
  Open();
  ChooseSip(Account);
  EXPECT_EQ(dialog_->Frame1.caption(), "SIPユーザー登録");
  EXPECT_EQ(dialog_->Text2.tooltip, "SIP名を入力してください");
  dialog_->cmdOK.Press();
  EXPECT_TRUE(dialog_->loaded());
  EXPECT_EQ(peers_.SettingsText(), before);
  EXPECT_EQ(SipPassword(), "");

  dialog_->pin_box.UserEdits("2468");
  dialog_->pin_confirmation_box.UserEdits("2468");
  dialog_->cmdOK.Press();
  EXPECT_FALSE(dialog_->loaded());
  EXPECT_EQ(Shown(),
            (std::vector<std::string>{
                "SIPを使うには暗証番号が必要です。暗証番号を設定してください。",
                "SkypeとSIPの切り替えは、次にTavorophoneを起動したときから有効になります。"}));
  EXPECT_EQ(SipPassword(), "secret");
  const SipSettings kept = ReadSipSettings(peers_.ini);
  EXPECT_EQ(kept.service, RemoteService::Sip);
  EXPECT_EQ(kept.address, "sip:taro@sip.example.jp");
  EXPECT_EQ(kept.capture_device, "Mic");

  // Shown again: the texts name SIP from the start, the SIP dialog holds what was kept, and
  // clearing the PIN while SIP stays chosen is refused.
  Open();
  EXPECT_EQ(dialog_->Label1.caption(), "次のSIP名からのSIP着信を許可します");
  std::string address, password;
  ChooseSip(
      [&](frmSipSetting& sip) {
        address = sip.address_box.text();
        password = sip.password_box.text();
      },
      false);
  EXPECT_EQ(address + " " + password, "sip:taro@sip.example.jp secret");
  dialog_->pin_box.UserEdits("");
  dialog_->pin_confirmation_box.UserEdits("");
  dialog_->cmdOK.Press();
  EXPECT_TRUE(dialog_->loaded());
  EXPECT_EQ(Shown().back(), "SIPを使うには暗証番号が必要です。暗証番号を設定してください。");
  EXPECT_EQ(ReadPin(peers_.credentials), "2468");
}

TEST_F(SipSetting, BadInputAndARemovedDeviceKeepTheOldSettingsAndWriteNothing) {
  peers_.WriteSettings(
      "[Skype]\r\nCallTo=home\r\n[SIP]\r\nService=SIP\r\nAddress=a@b.jp\r\n"
      "CaptureDevice=Old Mic\r\n");
  peers_.credentials.secrets[std::string(kPinTarget)] = "2468";
  const std::string before = peers_.SettingsText();
  Open();
  ChooseSip([](frmSipSetting& sip) {
    EXPECT_EQ(sip.capture_list.items().back(), "Old Mic（見つかりません）");
    EXPECT_EQ(sip.capture_list.list_index(), 3);
    sip.ok_button.Press();
    sip.port_box.UserEdits("70000");
    sip.ok_button.Press();
    sip.capture_list.set_list_index(0);
    sip.port_box.UserEdits("5070");
    sip.test_button.Press();
  });
  EXPECT_EQ(tested_, "a@b.jp") << "the test takes the account as typed";
  peers_.credentials.write_failure = 5;
  ChooseSip([](frmSipSetting& sip) { sip.password_box.UserEdits("new"); });
  dialog_->cmdOK.Press();
  EXPECT_EQ(Shown(),
            (std::vector<std::string>{
                "録音デバイス「Old Mic」が見つかりません。\r\n"
                "つなぎ直すか、別のデバイスを選んでください。",
                "待ち受けポートには1～65535の数字を入力してください。",
                "登録を断られました。ユーザー名かパスワードが違います。\r\n（SIP応答 403）",
                "SIPのパスワードを保存できませんでした。前のパスワードのままです。\r\n"
                "エラー番号: 5"}));
  EXPECT_TRUE(dialog_->loaded());
  dialog_->cmdCancel.Press();
  EXPECT_EQ(peers_.SettingsText(), before);
}

}  // namespace
}  // namespace tavoro::settings
