// Naming the Windows version from the version record, on the headless version query.

#include <gtest/gtest.h>

#include "headless/fixed_version_query.h"
#include "settings/modGeneral.h"

namespace tavoro::settings {
namespace {

using platform::VersionQueryOutcome;
using platform::headless::FixedVersionQuery;

struct VersionCase {
  std::uint32_t platform_id, major, minor;
  const char* name;
};

class VersionNames : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionNames, RecordIsNamedByTheFirstMatchingRow) {
  FixedVersionQuery query;
  query.Answer(GetParam().platform_id, GetParam().major, GetParam().minor);
  EXPECT_EQ(GetOSVersion(query), GetParam().name);
  EXPECT_EQ(query.LastRecordSize(), 148u);
}

INSTANTIATE_TEST_SUITE_P(Table, VersionNames,
                         ::testing::Values(VersionCase{1, 4, 0, "95"}, VersionCase{1, 4, 10, "98"},
                                           VersionCase{1, 4, 90, "Me"}, VersionCase{1, 4, 3, ""},
                                           VersionCase{1, 5, 0, ""}, VersionCase{2, 4, 0, "NT4"},
                                           VersionCase{2, 4, 10, ""}, VersionCase{2, 5, 0, "2000"},
                                           VersionCase{2, 5, 1, "XP"}, VersionCase{2, 5, 2, "2003"},
                                           VersionCase{2, 5, 3, ""}, VersionCase{2, 6, 0, "VISTA"},
                                           VersionCase{2, 6, 1, "7"}, VersionCase{2, 6, 2, "VISTA"},
                                           VersionCase{2, 6, 3, "VISTA"},
                                           VersionCase{2, 6, 99, "VISTA"},
                                           VersionCase{2, 3, 51, ""}, VersionCase{2, 10, 0, ""},
                                           VersionCase{0, 6, 1, ""}, VersionCase{3, 6, 1, ""}));

TEST(VersionQueryFailures, ReportedFailureNamesNothingAndUnavailableQueryIsFailed) {
  FixedVersionQuery query;
  query.Fail(VersionQueryOutcome::ReportedFailure);
  EXPECT_EQ(GetOSVersion(query), "");
  query.Fail(VersionQueryOutcome::CannotBeMade);
  EXPECT_EQ(GetOSVersion(query), "Failed");
}

}  // namespace
}  // namespace tavoro::settings
