// The PIN an accepted caller keys before the home line is theirs: what reaches X-Lite, what the
// window shows, and how a caller who keeps keying wrong is turned away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bridge_harness.h"
#include "settings/frmSetting.h"
#include "settings/pin_setting.h"

namespace tavoro::app::testing {
namespace {

using platform::MsgBoxIcon;
using platform::headless::ScriptedCall;
using ::testing::Each;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

class Pin : public OnTheBridge {
 protected:
  void SetUp() override {
    bridge.call_settings.pin = "2468";
    OnTheBridge::SetUp();
  }
  // What the codes box showed up to the first time it was emptied after the caller was taken.
  Keys ShownBeforeTheMatch() const {
    const Keys& history = bridge.display.keypad_history;
    const auto opened = std::find(history.begin() + 1, history.end(), "");
    return Keys(history.begin() + 1, opened);
  }
};

TEST_F(Pin, TheRightPinOpensTheRelayAndNoDigitOfItReachesXLiteOrTheScreen) {
  bridge.Rings(4000, "alice", "2468#0312#", 1000);
  Keys states;  // before the PIN, after it
  for (const std::uint64_t at : {5900, 10'100})
    bridge.headless.loop.PostAt(at, [&] { states.push_back(shown().softphone_state); });
  ASSERT_FALSE(bridge.RunUntil(16'500));
  EXPECT_EQ(states, (Keys{"暗証番号待ち", "通話中"}));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "0", "3", "1", "2", "{ENTER}"}));
  EXPECT_EQ(ShownBeforeTheMatch(), (Keys{"*", "**", "***", "****", "*****"}));
  EXPECT_EQ(shown().keypad_codes, "0312#");
  EXPECT_EQ(shown().softphone_state, "通話中");
  EXPECT_TRUE(flags().NumberDialled);
}

TEST_F(Pin, WrongTriesCountAloneAndTheCodesAfterOneStartTheNext) {
  // Two wrong tries, the second holding the PIN behind a wrong digit, then the PIN.
  auto call = bridge.Rings(4000, "alice", "1357#92468#2468#5#");
  ASSERT_FALSE(bridge.RunUntil(12'000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "5", "{ENTER}"}));
  EXPECT_THAT(ShownBeforeTheMatch(), Each(MatchesRegex("\\**")));
  EXPECT_EQ(ShownBeforeTheMatch().size(), 16u);
  EXPECT_THAT(call->finished_at(), IsEmpty());
}

TEST_F(Pin, CodesFasterThanThePausesAreTakenInOrder) {
  bridge.Rings(4000, "alice", "2468#07#9", 20);
  ASSERT_FALSE(bridge.RunUntil(9000));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "0", "7", "{ENTER}", "9"}));
  // The PIN costs no pause: the first relayed code is typed after its own three activations.
  EXPECT_EQ(bridge.KeyTimes(), (Times{4300, 4600, 6400, 6700, 7000, 7300}));
}

TEST_F(Pin, TheThirdWrongTryEndsTheCallAndNothingIsRelayedUntilTheNextCaller) {
  auto call = bridge.Rings(4000, "alice", "1#22#333#2468#5#");
  ASSERT_FALSE(bridge.RunUntil(12'000));
  EXPECT_EQ(call->finished_at(), (Times{6800}));
  EXPECT_EQ(bridge.Keys(), (Keys{"^h", "{ENTER}", "^h"})) << "the end of the call hangs up";
  EXPECT_EQ(shown().softphone_state, "待機中");
  EXPECT_TRUE(bridge.Listening());

  // Bob is accepted afresh, with all his tries.
  bridge.Rings(13'000, "bob", "0#2468#1#");
  ASSERT_FALSE(bridge.RunUntil(20'000));
  const Keys keys = bridge.Keys();
  EXPECT_EQ(Keys(keys.begin() + 3, keys.end()), (Keys{"^h", "{ENTER}", "1", "{ENTER}"}));
}

TEST_F(Pin, AHomeLineCallForwardedByTheGatewayNeedsNone) {
  // A caller who stopped inside a try leaves the gate waiting; the forward opens it.
  auto caller = bridge.Rings(4000, "alice", "24");
  bridge.skype->RemoteFinishesAt(7000, caller);
  ASSERT_FALSE(bridge.RunUntil(11'000));
  ASSERT_TRUE(bridge.Listening());
  bridge.skype->WhenCallPlaced([this](const std::shared_ptr<ScriptedCall>& call) {
    bridge.skype->RemoteAnswersAt(bridge.Now() + 1000, call);
    bridge.skype->SendDtmfAt(bridge.Now() + 3000, call, "5");
    bridge.skype->SendDtmfAt(bridge.Now() + 4000, call, "#");
  });
  bridge.PlayLevels(Levels({{100, 5}, {11, 11}}));
  ASSERT_FALSE(bridge.RunFor(8000));
  ASSERT_EQ(bridge.skype->placed_calls().size(), 1u);
  const Keys keys = bridge.Keys();
  EXPECT_EQ(Keys(keys.end() - 4, keys.end()), (Keys{"^h", "{ENTER}", "5", "{ENTER}"}));
  EXPECT_EQ(shown().keypad_codes, "**5#") << "the box is emptied only for a new caller";
}

// The settings dialog keeps the PIN with the credentials, and refuses one it cannot keep with a
// message, keeping the old PIN and leaving the dialog open with the user's other changes.
class PinSetting : public ::testing::Test {
 protected:
  void SetUp() override {
    bridge.credentials.secrets[std::string(settings::kPinTarget)] = "2468";
    ASSERT_FALSE(bridge.Start());
  }
  settings::frmSetting& Open() {
    bridge.main->settings_menu.Choose();
    return *bridge.main->settings_dialog();
  }
  void Type(settings::frmSetting& dialog, std::string_view pin, std::string_view confirmation) {
    dialog.pin_box.UserEdits(pin);
    dialog.pin_confirmation_box.UserEdits(confirmation);
  }
  std::optional<std::string> Kept() {
    const auto& secrets = bridge.credentials.secrets;
    const auto found = secrets.find(std::string(settings::kPinTarget));
    return found == secrets.end() ? std::nullopt : std::optional(found->second);
  }
  // Alice is taken, keys `codes` and hangs up; what X-Lite got between taking her and the end.
  Keys AliceKeys(std::string_view codes) {
    const std::size_t before = bridge.Keys().size();
    const std::uint64_t at = bridge.Now() + 1000;
    bridge.skype->RemoteFinishesAt(at + 5000, bridge.Rings(at, "alice", codes));
    EXPECT_FALSE(bridge.RunUntil(at + 9000));
    const Keys keys = bridge.Keys();
    return Keys(keys.begin() + static_cast<std::ptrdiff_t>(before) + 2, keys.end() - 1);
  }
  Bridge bridge;
};

TEST_F(PinSetting, AnInputThatIsNoPinIsRefusedWithAMessageAndNothingIsSaved) {
  const std::string digits = "暗証番号には数字(0～9)だけを入力してください。";
  const std::string length = "暗証番号は4桁から12桁の数字で入力してください。";
  const struct {
    std::string_view pin, confirmation;
    const std::string& message;
  } cases[] = {
      {"123", "123", length},
      {"1234567890123", "1234567890123", length},
      {"", "1357", length},
      {"12a4", "12a4", digits},
      {"１２３４", "１２３４", digits},
      {" 1234", " 1234", digits},
  };
  const std::string mismatch = "暗証番号と確認のための入力が一致しません。";
  settings::frmSetting& dialog = Open();
  EXPECT_EQ(dialog.pin_box.text(), "2468");
  dialog.Text2.UserEdits("someone.else");
  const std::string file_before = bridge.SettingsText();
  std::size_t boxes = 0;
  auto refused = [&](std::string_view pin, std::string_view confirmation, const std::string& why) {
    SCOPED_TRACE(std::string(pin) + " / " + std::string(confirmation));
    Type(dialog, pin, confirmation);
    dialog.cmdOK.Press();
    ASSERT_EQ(bridge.headless.boxes.shown().size(), ++boxes);
    EXPECT_EQ(bridge.headless.boxes.shown().back(),
              (platform::headless::ShownMessageBox{why, MsgBoxIcon::Exclamation, "Tavorophone"}));
    EXPECT_EQ(bridge.main->settings_dialog(), &dialog) << "left open";
    EXPECT_EQ(dialog.Text2.text(), "someone.else");
  };
  for (const auto& c : cases)
    refused(c.pin, c.confirmation, c.message);
  refused("1357", "1375", mismatch);
  bridge.credentials.write_failure = platform::kAccessDenied;
  refused("1357", "1357",
          "暗証番号を保存できませんでした。前の暗証番号のままです。\r\nエラー番号: 5");
  EXPECT_EQ(Kept(), "2468");
  EXPECT_EQ(bridge.SettingsText(), file_before);
  EXPECT_EQ(bridge.main->CallTo(), "home.user");
  EXPECT_EQ(AliceKeys("1357#2468#1#"), (Keys{"1", "{ENTER}"})) << "the old PIN still holds";
}

TEST_F(PinSetting, OkKeepsANewPinOutOfTheFileAndTheNextCallerKeysIt) {
  Type(Open(), "013579", "013579");
  bridge.main->settings_dialog()->cmdOK.Press();
  EXPECT_EQ(Kept(), "013579");
  EXPECT_EQ(bridge.SettingsText().find("013579"), std::string::npos);
  EXPECT_THAT(bridge.headless.boxes.shown(), IsEmpty());
  EXPECT_EQ(AliceKeys("2468#013579#1#"), (Keys{"1", "{ENTER}"}));

  // Both boxes emptied: no PIN, callers dial at once.
  Type(Open(), "", "");
  bridge.main->settings_dialog()->cmdOK.Press();
  EXPECT_EQ(Kept(), std::nullopt);
  EXPECT_EQ(AliceKeys("5#"), (Keys{"5", "{ENTER}"}));
}

TEST_F(PinSetting, APinThatCannotBeReadTurnsCallersAwayAndStaysUntilANewOneIsTyped) {
  bridge.credentials.secrets[std::string(settings::kPinTarget)] = "12ab";
  bridge.main.reset();
  ASSERT_FALSE(bridge.Start());
  EXPECT_EQ(AliceKeys("12ab#1#"), Keys{});
  settings::frmSetting& dialog = Open();
  EXPECT_EQ(dialog.pin_box.text(), "");
  dialog.Check1.set_checked(true);
  dialog.cmdOK.Press();
  EXPECT_EQ(Kept(), "12ab") << "boxes the user left alone change nothing";
}

TEST_F(PinSetting, ASipSetUpWhosePinWentMissingTurnsCallersAway) {
  bridge.credentials.secrets.clear();
  bridge.WriteSettings(
      "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\n[SIP]\r\nService=SIP\r\n");
  bridge.main.reset();
  ASSERT_FALSE(bridge.Start());
  EXPECT_EQ(AliceKeys("1#"), Keys{});
}

}  // namespace
}  // namespace tavoro::app::testing
