// The credential store on both platforms: the in-memory one the headless tests use against
// the system's Credential Manager under Wine; and the PIN as the settings keep it there.

#include <gtest/gtest.h>

#include <string>

#include "contract/contract_platform.h"
#include "settings/pin_setting.h"

namespace tavoro::contract {
namespace {

using platform::kNotFound;
using platform::kSuccess;

TEST(CredentialStoreContract, WritesReadsBackReplacesAndRemoves) {
  const auto platform = MakeContractPlatform();
  platform::CredentialStore& store = platform->Credentials();
  const std::string target = "Tavorophone/contract-test";
  store.Remove(target);  // left over from a run that stopped half-way
  std::string secret = "untouched";
  EXPECT_EQ(store.Read(target, secret), kNotFound);
  EXPECT_EQ(secret, "untouched");

  ASSERT_EQ(store.Write(target, "2468"), kSuccess);
  EXPECT_EQ(store.Read(target, secret), kSuccess);
  EXPECT_EQ(secret, "2468");
  // Replaced whole: a shorter secret leaves nothing of the longer one behind.
  ASSERT_EQ(store.Write(target, "暗証 135"), kSuccess);
  ASSERT_EQ(store.Write(target, "97"), kSuccess);
  EXPECT_EQ(store.Read(target, secret), kSuccess);
  EXPECT_EQ(secret, "97");

  EXPECT_EQ(store.Remove(target), kSuccess);
  EXPECT_EQ(store.Read(target, secret), kNotFound);
  EXPECT_EQ(store.Remove(target), kNotFound);
}

TEST(CredentialStoreContract, ThePinIsKeptReadAndRemovedAndWhatIsNoPinLetsNobodyIn) {
  const auto platform = MakeContractPlatform();
  platform::CredentialStore& store = platform->Credentials();
  ASSERT_EQ(settings::SavePin(store, ""), kSuccess) << "no PIN to remove is no failure";
  EXPECT_EQ(settings::ReadPin(store), "");
  ASSERT_EQ(settings::SavePin(store, "024680135791"), kSuccess);
  EXPECT_EQ(settings::ReadPin(store), "024680135791");
  for (const std::string_view kept : {"12a4", "123", ""}) {
    SCOPED_TRACE(kept);
    ASSERT_EQ(store.Write(settings::kPinTarget, kept), kSuccess);
    EXPECT_EQ(settings::ReadPin(store), settings::kUnusablePin);
  }
  ASSERT_EQ(settings::SavePin(store, ""), kSuccess);
  EXPECT_EQ(settings::ReadPin(store), "");
}

}  // namespace
}  // namespace tavoro::contract
