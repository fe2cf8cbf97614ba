// Start-with-Windows: what the user sees when it cannot be registered, and its scope by version.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/fixed_version_query.h"
#include "headless/memory_registry.h"
#include "headless/recorded_message_boxes.h"
#include "settings/modGeneral.h"
#include "settings/modRegAutoStart.h"

namespace tavoro::settings {
namespace {

using platform::MsgBoxIcon;
using platform::RegistryRoot;
using platform::VersionQueryOutcome;
using platform::headless::FixedVersionQuery;
using platform::headless::MemoryRegistry;
using platform::headless::RecordedMessageBoxes;

class RunValueFailures : public ::testing::Test {
 protected:
  modRegAutoStart AutoStart() { return modRegAutoStart(registry_, version_, log_, "C:\\App"); }
  MemoryRegistry registry_;
  FixedVersionQuery version_;
  RecordedMessageBoxes log_;
};

// A refused key and a refused write each show the system's text for their own code, once.
TEST_F(RunValueFailures, RefusalShowsTheSystemTextWithExclamationAndProgramTitle) {
  registry_.FailKeysOf(RegistryRoot::LocalMachine, platform::kAccessDenied);
  AutoStart().AddRunValue(RegistryRoot::LocalMachine);
  registry_.FailWritesOf(RegistryRoot::CurrentUser, 1021);
  AutoStart().AddRunValue(RegistryRoot::CurrentUser);

  EXPECT_EQ(
      log_.shown(),
      (std::vector<platform::headless::ShownMessageBox>{
          {registry_.MessageText(platform::kAccessDenied), MsgBoxIcon::Exclamation, "Tavorophone"},
          {registry_.MessageText(1021), MsgBoxIcon::Exclamation, "Tavorophone"}}));
}

TEST_F(RunValueFailures, RemovalNeverShowsAnything) {
  AutoStart().RemoveRunValue(RegistryRoot::CurrentUser);  // no key at all
  registry_.FailKeysOf(RegistryRoot::LocalMachine, platform::kAccessDenied);
  AutoStart().RemoveRunValue(RegistryRoot::LocalMachine);
  EXPECT_TRUE(log_.shown().empty());
}

TEST_F(RunValueFailures, ScopeFollowsTheVersionNameWhateverTheOutcome) {
  struct Case {
    std::uint32_t major, minor;
    platform::VersionQueryOutcome outcome;
    RegistryRoot scope;
  };
  const Case cases[] = {
      {6, 1, VersionQueryOutcome::Answered, RegistryRoot::CurrentUser},
      {6, 0, VersionQueryOutcome::Answered, RegistryRoot::CurrentUser},
      {5, 1, VersionQueryOutcome::Answered, RegistryRoot::LocalMachine},
      {6, 1, VersionQueryOutcome::ReportedFailure, RegistryRoot::LocalMachine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    MemoryRegistry registry;
    FixedVersionQuery version;
    version.Answer(2, c.major, c.minor);
    if (c.outcome != VersionQueryOutcome::Answered)
      version.Fail(c.outcome);
    modRegAutoStart(registry, version, log_, "C:\\App").ApplyAutoStart(true);
    EXPECT_TRUE(registry.Value(c.scope, kRunKeyPath, kRunValueName));
    EXPECT_EQ(registry.ValueCount(RegistryRoot::CurrentUser, kRunKeyPath) +
                  registry.ValueCount(RegistryRoot::LocalMachine, kRunKeyPath),
              1u);
  }
}

TEST(VersionNames, RecordIsNamedByTheFirstMatchingRow) {
  const struct {
    std::uint32_t platform_id, major, minor;
    const char* name;
  } cases[] = {{1, 4, 0, "95"}, {1, 4, 10, "98"},   {1, 4, 90, "Me"},   {1, 4, 3, ""},
               {1, 5, 0, ""},   {2, 4, 0, "NT4"},   {2, 4, 10, ""},     {2, 5, 0, "2000"},
               {2, 5, 1, "XP"}, {2, 5, 2, "2003"},  {2, 5, 3, ""},      {2, 6, 0, "VISTA"},
               {2, 6, 1, "7"},  {2, 6, 2, "VISTA"}, {2, 6, 3, "VISTA"}, {2, 6, 99, "VISTA"},
               {2, 3, 51, ""},  {2, 10, 0, ""},     {0, 6, 1, ""},      {3, 6, 1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.platform_id << " " << c.major << "." << c.minor);
    FixedVersionQuery query;
    query.Answer(c.platform_id, c.major, c.minor);
    EXPECT_EQ(GetOSVersion(query), c.name);
    EXPECT_EQ(query.LastRecordSize(), 148u);
  }
}

TEST(VersionQueryFailures, ReportedFailureNamesNothingAndUnavailableQueryIsFailed) {
  FixedVersionQuery query;
  query.Fail(VersionQueryOutcome::ReportedFailure);
  EXPECT_EQ(GetOSVersion(query), "");
  query.Fail(VersionQueryOutcome::CannotBeMade);
  EXPECT_EQ(GetOSVersion(query), "Failed");
}

}  // namespace
}  // namespace tavoro::settings
