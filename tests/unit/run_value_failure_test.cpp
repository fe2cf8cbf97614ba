// What the user sees when start-with-Windows cannot be registered, on the in-memory registry
// that can refuse what a real one refuses.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/fixed_version_query.h"
#include "headless/memory_registry.h"
#include "headless/recorded_message_boxes.h"
#include "settings/modRegAutoStart.h"

namespace tavoro::settings {
namespace {

using platform::MsgBoxIcon;
using platform::RegistryRoot;
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
  EXPECT_FALSE(registry_.Value(RegistryRoot::LocalMachine, kRunKeyPath, kRunValueName));
  EXPECT_FALSE(registry_.Value(RegistryRoot::CurrentUser, kRunKeyPath, kRunValueName));
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
      {6, 1, platform::VersionQueryOutcome::Answered, RegistryRoot::CurrentUser},
      {6, 0, platform::VersionQueryOutcome::Answered, RegistryRoot::CurrentUser},
      {6, 2, platform::VersionQueryOutcome::Answered, RegistryRoot::CurrentUser},
      {5, 1, platform::VersionQueryOutcome::Answered, RegistryRoot::LocalMachine},
      {6, 1, platform::VersionQueryOutcome::ReportedFailure, RegistryRoot::LocalMachine},
      {6, 1, platform::VersionQueryOutcome::CannotBeMade, RegistryRoot::LocalMachine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    MemoryRegistry registry;
    FixedVersionQuery version;
    version.Answer(2, c.major, c.minor);
    if (c.outcome != platform::VersionQueryOutcome::Answered)
      version.Fail(c.outcome);
    modRegAutoStart(registry, version, log_, "C:\\App").ApplyAutoStart(true);
    EXPECT_TRUE(registry.Value(c.scope, kRunKeyPath, kRunValueName));
    EXPECT_EQ(registry.ValueCount(c.scope == RegistryRoot::CurrentUser ? RegistryRoot::LocalMachine
                                                                       : RegistryRoot::CurrentUser,
                                  kRunKeyPath),
              0u);
  }
}

}  // namespace
}  // namespace tavoro::settings
