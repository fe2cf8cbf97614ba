// The settings file on both platforms: the same cases against the headless INI reader and
// writer and against the system's profile functions under Wine.

#include <gtest/gtest.h>

#include <string>

#include "contract/contract_platform.h"
#include "settings/modIniEdit.h"

namespace tavoro::contract {
namespace {

using settings::modIniEdit;

class SettingsFileContract : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = MakeContractPlatform();
    // Japanese, with a space: the path goes through the ANSI code page on Windows.
    folder_ = platform_->NewFolder("ひかり電話 ゲートウェイ");
  }

  modIniEdit Settings() { return modIniEdit(platform_->Profile(), folder_); }
  std::string FilePath() const { return folder_ + "\\setting.ini"; }
  void WriteHandMade(std::string_view text) {
    platform_->WriteFile(FilePath(), platform_->FileEncoding(text));
  }

  std::unique_ptr<ContractPlatform> platform_;
  std::string folder_;
};

TEST_F(SettingsFileContract, MissingFileSectionKeyAndEmptyValueAllReadAsEmpty) {
  EXPECT_EQ(Settings().ReadSetting("Skype", "CallTo"), "");
  EXPECT_FALSE(platform_->ReadFile(FilePath()).has_value()) << "reading must not create the file";

  WriteHandMade("[Skype]\r\nCallTo=\r\n");
  EXPECT_EQ(Settings().ReadSetting("Skype", "CallTo"), "");
  EXPECT_EQ(Settings().ReadSetting("Skype", "AcceptFrom-1"), "");
  EXPECT_EQ(Settings().ReadSetting("Startup", "WithWindows"), "");
}

TEST_F(SettingsFileContract, FileWrittenFromScratchHasSectionsAndKeysInWriteOrder) {
  modIniEdit settings = Settings();
  settings.WriteSetting("Skype", "CallTo", "alice");
  settings.WriteSetting("Skype", "AcceptFrom-1", "bob");
  settings.WriteSetting("Skype", "AcceptFrom-2", "");
  settings.WriteSetting("Startup", "WithWindows", "1");

  EXPECT_EQ(platform_->ReadFile(FilePath()).value_or("<missing>"),
            "[Skype]\r\nCallTo=alice\r\nAcceptFrom-1=bob\r\nAcceptFrom-2=\r\n"
            "[Startup]\r\nWithWindows=1\r\n");
}

TEST_F(SettingsFileContract, JapaneseAndAsciiValuesRoundTrip) {
  modIniEdit settings = Settings();
  const std::string japanese = "山田 太郎（ひかり電話）";
  settings.WriteSetting("Skype", "CallTo", japanese);
  settings.WriteSetting("Skype", "AcceptFrom-1", "echo.test_123");
  settings.WriteSetting("Startup", "WithWindows", "0");

  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), japanese);
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-1"), "echo.test_123");
  EXPECT_EQ(settings.ReadSetting("Startup", "WithWindows"), "0");
  // Stored in the platform's own encoding, so other programs of the system read it too.
  EXPECT_NE(platform_->ReadFile(FilePath()).value_or("").find(platform_->FileEncoding(japanese)),
            std::string::npos);
}

TEST_F(SettingsFileContract, RewrittenKeysKeepTheirPlaceAndEmptyValuesKeepTheKey) {
  WriteHandMade("[Skype]\r\nCallTo=alice\r\nAcceptFrom-1=bob\r\n[Startup]\r\nWithWindows=1\r\n");
  modIniEdit settings = Settings();
  settings.WriteSetting("Skype", "CallTo", "carol");
  settings.WriteSetting("Skype", "AcceptFrom-1", "");
  settings.WriteSetting("Skype", "AcceptFrom-2", "dave");

  EXPECT_EQ(platform_->ReadFile(FilePath()).value_or("<missing>"),
            "[Skype]\r\nCallTo=carol\r\nAcceptFrom-1=\r\nAcceptFrom-2=dave\r\n"
            "[Startup]\r\nWithWindows=1\r\n");
}

TEST_F(SettingsFileContract, HandMadeFileWithLowerCaseNamesGapsAndBareLineFeeds) {
  WriteHandMade(
      "[skype]\ncallto=  bob  \nacceptfrom-7=carol\nACCEPTFROM-100=\"zed\"\n"
      "[startup]\nwithwindows=1");
  modIniEdit settings = Settings();
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "bob");
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-1"), "");
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-7"), "carol");
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-100"), "zed");
  EXPECT_EQ(settings.ReadSetting("Startup", "WithWindows"), "1");

  settings.WriteSetting("Skype", "AcceptFrom-1", "alice");
  settings.WriteSetting("Startup", "WithWindows", "0");
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-1"), "alice");
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-7"), "carol");
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "bob");
  EXPECT_EQ(settings.ReadSetting("Startup", "WithWindows"), "0");
}

TEST_F(SettingsFileContract, LongValuesComeBackCutAt1023Bytes) {
  modIniEdit settings = Settings();
  settings.WriteSetting("Skype", "CallTo", std::string(1023, 'a'));
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), std::string(1023, 'a'));
  settings.WriteSetting("Skype", "CallTo", std::string(3000, 'b'));
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), std::string(1023, 'b'));
}

TEST_F(SettingsFileContract, ValueWithLineBreakCannotInjectKeys) {
  modIniEdit settings = Settings();
  settings.WriteSetting("Skype", "CallTo", "alice\r\n[Startup]\r\nWithWindows=1");
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "alice");
  EXPECT_EQ(settings.ReadSetting("Startup", "WithWindows"), "");
}

TEST_F(SettingsFileContract, ProgramFolderAtDriveRootKeepsTheFileInThatRoot) {
  const std::string root = platform_->WritableDriveRoot();
  if (root.empty())
    GTEST_SKIP() << "no writable drive root on this machine";
  modIniEdit settings(platform_->Profile(), root);
  EXPECT_EQ(settings.SettingsPath(), root + "setting.ini");
  settings.WriteSetting("Skype", "CallTo", "rooted");
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "rooted");
  EXPECT_TRUE(platform_->ReadFile(root + "setting.ini").has_value());
}

TEST_F(SettingsFileContract, WriteIntoMissingFolderIsPassedOverSilently) {
  const std::string folder = platform_->NewFolder("present") + "\\missing";
  modIniEdit settings(platform_->Profile(), folder);
  EXPECT_FALSE(settings.WriteSetting("Skype", "CallTo", "alice"));
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "");
  EXPECT_FALSE(platform_->ReadFile(folder + "\\setting.ini").has_value());
  EXPECT_TRUE(Settings().WriteSetting("Skype", "CallTo", "alice"));
}

// Files damaged or made by other tools: the reader never fails, and rewriting one key keeps
// every other key readable.
TEST_F(SettingsFileContract, HostileFilesKeepTheirOtherKeys) {
  const std::string nul_bytes("x\0y\0", 4);
  const std::string cases[] = {
      "\x01\x02\xff\xfe garbage\r\n[Skype]\r\nCallTo=alice\r\nAcceptFrom-1=bob",
      "[Skype]\r\nCallTo=alice\r\n[broken header\r\nAcceptFrom-1=bob\r\n",
      "[Skype]\r\nCallTo=alice\r\nnoise" + nul_bytes + "\r\nAcceptFrom-1=bob\r\n",
      "[Skype]\r\nCallTo=alice\r\n" + std::string(1 << 20, 'q') + "\r\nAcceptFrom-1=bob\r\n",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 40));
    platform_->WriteFile(FilePath(), text);
    modIniEdit settings = Settings();
    EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "alice");
    EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-1"), "bob");
    settings.WriteSetting("Skype", "CallTo", "carol");
    settings.WriteSetting("Startup", "WithWindows", "1");
    EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "carol");
    EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-1"), "bob");
    EXPECT_EQ(settings.ReadSetting("Startup", "WithWindows"), "1");
  }
}

TEST_F(SettingsFileContract, HundredThousandLinesStillReadAndRewrite) {
  std::string text = "[Skype]\r\n";
  for (int i = 0; i < 100000; ++i)
    text += "Other" + std::to_string(i) + "=v\r\n";
  text += "CallTo=alice\r\n[Startup]\r\nWithWindows=1";  // no final line break
  platform_->WriteFile(FilePath(), text);

  modIniEdit settings = Settings();
  EXPECT_EQ(settings.ReadSetting("Skype", "CallTo"), "alice");
  settings.WriteSetting("Startup", "WithWindows", "0");
  settings.WriteSetting("Skype", "AcceptFrom-1", "bob");
  EXPECT_EQ(settings.ReadSetting("Startup", "WithWindows"), "0");
  EXPECT_EQ(settings.ReadSetting("Skype", "AcceptFrom-1"), "bob");
  EXPECT_EQ(settings.ReadSetting("Skype", "Other99999"), "v");
}

}  // namespace
}  // namespace tavoro::contract
