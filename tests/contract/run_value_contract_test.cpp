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

class AutoStartContract : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = MakeContractPlatform();
    RemoveValues();
  }
  void TearDown() override { RemoveValues(); }

  modRegAutoStart AutoStart(std::string_view folder) {
    return modRegAutoStart(platform_->Registry(), platform_->Version(), boxes_, folder);
  }

  // The stored data, or nothing when there is no value.
  std::optional<std::string> StoredCommand(RegistryRoot root) {
    std::unique_ptr<platform::RegistryKey> key;
    std::string data;
    if (platform_->Registry().OpenKey(root, kRunKeyPath, RegistryAccess::Read, key) ==
            platform::kSuccess &&
        key->QueryString(kRunValueName, data) == platform::kSuccess)
      return data;
    return std::nullopt;
  }

  void RemoveValues() {
    for (const RegistryRoot root : {RegistryRoot::CurrentUser, RegistryRoot::LocalMachine}) {
      std::unique_ptr<platform::RegistryKey> key;
      if (platform_->Registry().OpenKey(root, kRunKeyPath, RegistryAccess::All, key) ==
          platform::kSuccess)
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

class RunValueContract : public AutoStartContract,
                         public ::testing::WithParamInterface<RegistryRoot> {};

// Other values of the Run key are left alone.
TEST_P(RunValueContract, AddTwiceLeavesOneQuotedCommandRemoveTwiceIsSilentAndOthersStay) {
  const RegistryRoot scope = GetParam();
  std::unique_ptr<platform::RegistryKey> key;
  ASSERT_EQ(platform_->Registry().CreateKey(scope, kRunKeyPath, RegistryAccess::All, key),
            platform::kSuccess);
  ASSERT_EQ(key->SetString("TavoroContractNeighbour", "C:\\other.exe"), platform::kSuccess);
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
  std::string neighbour;
  EXPECT_EQ(key->QueryString("TavoroContractNeighbour", neighbour), platform::kSuccess);
  EXPECT_EQ(neighbour, "C:\\other.exe");
  key->DeleteValue("TavoroContractNeighbour");
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

INSTANTIATE_TEST_SUITE_P(BothScopes, RunValueContract,
                         ::testing::Values(RegistryRoot::CurrentUser, RegistryRoot::LocalMachine),
                         [](const auto& info) {
                           return info.param == RegistryRoot::CurrentUser ? "CurrentUser"
                                                                          : "LocalMachine";
                         });

TEST_F(AutoStartContract, ApplyAutoStartFollowsTheScopeTheVersionNames) {
  const std::string os = settings::GetOSVersion(platform_->Version());
  const RegistryRoot expected =
      (os == "7" || os == "VISTA") ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
  modRegAutoStart auto_start = AutoStart("C:\\Tavorophone");
  ASSERT_EQ(auto_start.ChosenScope(), expected) << "version " << os;
  auto_start.ApplyAutoStart(true);
  EXPECT_EQ(StoredCommand(expected), "\"C:\\Tavorophone\\Tavoro.exe\"");
  auto_start.ApplyAutoStart(false);
  EXPECT_EQ(StoredCommand(expected), std::nullopt);
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace tavoro::contract
