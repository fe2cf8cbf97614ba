// Start-with-Windows registration on both platforms: the in-memory hives and the real registry
// of the Wine prefix, through the same cases.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "contract/contract_platform.h"
#include "settings/modGeneral.h"
#include "settings/modRegAutoStart.h"

namespace tavoro::contract {
namespace {

using platform::RegistryAccess;
using platform::RegistryRoot;
using settings::kRunKeyPath;
using settings::kRunValueName;
using settings::modRegAutoStart;

class CountingMessageBoxes final : public platform::MessageBoxes {
 public:
  void MsgBox(std::string_view text, platform::MsgBoxIcon, std::string_view) override {
    shown.emplace_back(text);
  }
  std::vector<std::string> shown;
};

class RunValueContract : public ::testing::TestWithParam<RegistryRoot> {
 protected:
  void SetUp() override {
    platform_ = MakeContractPlatform();
    RemoveValue(RegistryRoot::CurrentUser);
    RemoveValue(RegistryRoot::LocalMachine);
  }
  void TearDown() override {
    RemoveValue(RegistryRoot::CurrentUser);
    RemoveValue(RegistryRoot::LocalMachine);
  }

  modRegAutoStart AutoStart(std::string_view folder) {
    return modRegAutoStart(platform_->Registry(), platform_->Version(), boxes_, folder);
  }

  // The stored data, or nothing when there is no value.
  std::optional<std::string> StoredCommand(RegistryRoot root) {
    std::unique_ptr<platform::RegistryKey> key;
    if (platform_->Registry().OpenKey(root, kRunKeyPath, RegistryAccess::Read, key) !=
        platform::kSuccess) {
      return std::nullopt;
    }
    std::string data;
    if (key->QueryString(kRunValueName, data) != platform::kSuccess)
      return std::nullopt;
    return data;
  }

  void RemoveValue(RegistryRoot root) {
    std::unique_ptr<platform::RegistryKey> key;
    if (platform_->Registry().OpenKey(root, kRunKeyPath, RegistryAccess::All, key) ==
        platform::kSuccess) {
      key->DeleteValue(kRunValueName);
    }
  }

  static RegistryRoot Other(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? RegistryRoot::LocalMachine
                                             : RegistryRoot::CurrentUser;
  }

  std::unique_ptr<ContractPlatform> platform_;
  CountingMessageBoxes boxes_;
};

TEST_P(RunValueContract, AddTwiceLeavesOneQuotedCommandAndRemoveTwiceIsSilent) {
  const RegistryRoot scope = GetParam();
  const std::string folder = platform_->NewFolder("Tavorophone");
  modRegAutoStart auto_start = AutoStart(folder);

  auto_start.AddRunValue(scope);
  auto_start.AddRunValue(scope);
  EXPECT_EQ(StoredCommand(scope), "\"" + folder + "\\Tavoro.exe\"");
  EXPECT_EQ(StoredCommand(Other(scope)), std::nullopt) << "only the chosen scope is touched";

  auto_start.RemoveRunValue(scope);
  EXPECT_EQ(StoredCommand(scope), std::nullopt);
  auto_start.RemoveRunValue(scope);
  EXPECT_EQ(StoredCommand(scope), std::nullopt);
  EXPECT_TRUE(boxes_.shown.empty());
}

// A Japanese folder with spaces is stored whole; a drive root gets no doubled separator.
TEST_P(RunValueContract, FolderIsStoredWholeAndQuoted) {
  const std::string japanese = platform_->NewFolder("ひかり電話 ゲートウェイ");
  for (const auto& [folder, command] :
       {std::pair{japanese, "\"" + japanese + "\\Tavoro.exe\""},
        std::pair{std::string("T:\\"), std::string("\"T:\\Tavoro.exe\"")}}) {
    AutoStart(folder).AddRunValue(GetParam());
    EXPECT_EQ(StoredCommand(GetParam()), command);
  }
}

TEST_P(RunValueContract, RemovingLeavesOtherValuesOfTheRunKeyAlone) {
  const RegistryRoot scope = GetParam();
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(platform_->Registry().CreateKey(scope, kRunKeyPath, RegistryAccess::All, key),
            platform::kSuccess);
  ASSERT_EQ(key->SetString("TavoroContractNeighbour", "C:\\other.exe"), platform::kSuccess);

  modRegAutoStart auto_start = AutoStart("C:\\Tavorophone");
  auto_start.AddRunValue(scope);
  auto_start.RemoveRunValue(scope);

  std::string neighbour;
  EXPECT_EQ(key->QueryString("TavoroContractNeighbour", neighbour), platform::kSuccess);
  EXPECT_EQ(neighbour, "C:\\other.exe");
  key->DeleteValue("TavoroContractNeighbour");
}

INSTANTIATE_TEST_SUITE_P(BothScopes, RunValueContract,
                         ::testing::Values(RegistryRoot::CurrentUser, RegistryRoot::LocalMachine),
                         [](const auto& info) {
                           return info.param == RegistryRoot::CurrentUser ? "CurrentUser"
                                                                          : "LocalMachine";
                         });

TEST(ApplyAutoStartContract, FollowsTheScopeTheVersionNames) {
  auto platform = MakeContractPlatform();
  CountingMessageBoxes boxes;
  const std::string os = settings::GetOSVersion(platform->Version());
  const RegistryRoot expected =
      (os == "7" || os == "VISTA") ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
  modRegAutoStart auto_start(platform->Registry(), platform->Version(), boxes, "C:\\Tavorophone");
  ASSERT_EQ(auto_start.ChosenScope(), expected) << "version " << os;

  const auto stored = [&](RegistryRoot root) {
    std::unique_ptr<platform::RegistryKey> key;
    std::string data;
    return platform->Registry().OpenKey(root, kRunKeyPath, RegistryAccess::Read, key) ==
               platform::kSuccess &&
           key->QueryString(kRunValueName, data) == platform::kSuccess;
  };
  auto_start.ApplyAutoStart(true);
  EXPECT_TRUE(stored(expected));
  auto_start.ApplyAutoStart(false);
  EXPECT_FALSE(stored(expected));
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace tavoro::contract
