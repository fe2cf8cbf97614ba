// Driving the softphone: which window gets the focus and keys, when, and what if it is gone.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/modSoftphone.h"
#include "app/softphone_keys.h"
#include "bridge_harness.h"
#include "headless/headless_runtime.h"
#include "headless/recording_softphone_window.h"

namespace tavoro::app {
namespace {

using platform::SoftphoneKey;
using platform::headless::HeadlessRuntime;
using platform::headless::ProgramEnded;
using platform::headless::RecordingSoftphoneWindow;
using platform::headless::ShownMessageBox;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Kind = SoftphoneKey::Kind;

SoftphoneKey Char(char32_t c, bool ctrl = false) {
  return {Kind::Character, c, ctrl};
}

TEST(ParseSoftphoneKeys, ReadsCtrlLettersEnterAndEveryOtherCharacterAsItself) {
  const SoftphoneKey enter{Kind::Enter, 0, false};
  const std::vector<std::pair<std::string_view, std::vector<SoftphoneKey>>> cases{
      {"123#", {Char('1'), Char('2'), Char('3'), Char('#')}},
      {"*", {Char('*')}},
      {"^h{ENTER}9", {Char('h', true), enter, Char('9')}},
      {"^1", {Char('^'), Char('1')}},
      {"^", {Char('^')}},
      {"{ENTER", {Char('{'), Char('E'), Char('N'), Char('T'), Char('E'), Char('R')}},
      {"あ\xff", {Char(U'あ'), Char(0xFFFD)}},
      {"\xF4\x8F\xBF\xBF", {Char(0x10FFFF)}},
      {"", {}},
  };
  for (const auto& [keys, expected] : cases)
    EXPECT_EQ(ParseSoftphoneKeys(keys), expected) << keys;
}

class SoftphoneControlTest : public ::testing::Test {
 protected:
  // The two sequences that take a call: activate, hang up, activate, call key.
  void TakeCall() {
    softphone_.ActivateSoftphone();
    softphone_.SendSoftphoneKeys(SoftphoneHangUpKey);
    softphone_.ActivateSoftphone();
    softphone_.SendSoftphoneKeys(SoftphoneCallKey);
  }

  HeadlessRuntime rt_;
  RecordingSoftphoneWindow windows_{rt_.clock};
  modSoftphone softphone_{rt_.runtime(), windows_};
};

TEST_F(SoftphoneControlTest, ThreeActivationsWith100msPausesServeEventsInsideThem) {
  const auto xlite = windows_.AddWindow("X-Lite");
  std::vector<std::string> served;
  for (const std::uint64_t at : {50, 150, 300, 301})
    rt_.loop.PostAt(at, [&, at] {
      served.push_back(std::to_string(at) + "@" + std::to_string(rt_.clock.Milliseconds()));
    });

  TakeCall();

  EXPECT_THAT(windows_.activations(xlite), ElementsAre(0, 100, 200, 300, 400, 500));
  EXPECT_THAT(windows_.KeysTypedInto(xlite), ElementsAre("^h", "{ENTER}"));
  EXPECT_THAT(testing::KeyTimes(windows_, xlite), ElementsAre(300, 600));
  EXPECT_THAT(served, ElementsAre("50@100", "150@200", "300@300", "301@400"));
}

TEST_F(SoftphoneControlTest, AWindowTitledOnlyByPrefixServesWhenNoExactTitleIsOpen) {
  const auto other = windows_.AddWindow("Skype");
  const auto longer = windows_.AddWindow("X-Lite - 回線1");
  const auto exact = windows_.AddWindow("x-lite");
  windows_.CloseWindowAt(exact, 150);

  softphone_.ActivateSoftphone();

  EXPECT_THAT(windows_.activations(exact), ElementsAre(0, 100));
  EXPECT_THAT(windows_.activations(longer), ElementsAre(200));
  EXPECT_THAT(windows_.activations(other), IsEmpty());
}

TEST_F(SoftphoneControlTest, AMissingWindowShowsTheMessageAndEndsBeforeAnyLaterKey) {
  const auto xlite = windows_.AddWindow("X-Lite");
  windows_.CloseWindowAt(xlite, 350);

  EXPECT_THROW(TakeCall(), ProgramEnded);

  EXPECT_TRUE(rt_.process.ended());
  EXPECT_THAT(rt_.boxes.shown(),
              ElementsAre(ShownMessageBox{"X-Liteが起動していません。X-Lite起動後に"
                                          "このアプリケーションを再起動してください。",
                                          platform::MsgBoxIcon::Exclamation, "Tavorophone"}));
  EXPECT_THAT(windows_.KeysTypedInto(xlite), ElementsAre("^h"));
  EXPECT_THAT(windows_.lost_keys(), IsEmpty());
  EXPECT_EQ(rt_.clock.Milliseconds(), 400u);  // the failing pass did not pause
}

TEST_F(SoftphoneControlTest, RefusedFocusAndRefusedKeysAreNoFailureAndLostKeysAreSeen) {
  const auto xlite = windows_.AddWindow("X-Lite");
  windows_.SetTypingFails(true);
  TakeCall();
  EXPECT_THAT(windows_.KeysTypedInto(xlite), IsEmpty());

  windows_.SetTypingFails(false);
  windows_.LoseFocusAt(800);  // the user clicks elsewhere, just as an activation comes
  windows_.LoseFocusAt(950);  // and again, when the system keeps the softphone behind
  softphone_.ActivateSoftphone();
  softphone_.SendSoftphoneKeys("1");
  windows_.SetRefuseForeground(true);
  softphone_.ActivateSoftphone();
  softphone_.SendSoftphoneKeys("2");

  EXPECT_EQ(windows_.refused_activations(), 3u);
  EXPECT_THAT(windows_.KeysTypedInto(xlite), ElementsAre("1"));
  ASSERT_EQ(windows_.lost_keys().size(), 1u);
  EXPECT_EQ(windows_.lost_keys()[0].at_ms, 1200u);
  EXPECT_THAT(rt_.boxes.shown(), IsEmpty());
}

}  // namespace
}  // namespace tavoro::app
