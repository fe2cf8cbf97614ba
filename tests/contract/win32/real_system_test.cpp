// Facts of the real system calls behind the win32 backend that the shared cases cannot see:
// the version Wine presents to this executable, and the bytes the registry stores.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "settings/modGeneral.h"
#include "settings/modRegAutoStart.h"
#include "win32/win32_registry.h"
#include "win32/win32_version_query.h"

namespace tavoro::contract {
namespace {

// The harness runs this executable once per Windows version it makes Wine present
// (HKCU\Software\Wine\AppDefaults\<exe>\Version) and says which one in the environment.
TEST(RealWindowsVersion, GetVersionExAIsNamedAsTheProgramsExpect) {
  const char* presented = std::getenv("TAVORO_EXPECT_WINDOWS");
  if (!presented || !*presented)
    GTEST_SKIP() << "run by the harness's version matrix only";

  struct Expected {
    DWORD major, minor;
    const char* name;
  };
  // Without a manifest that declares them, Windows 8.1 and later report 6.2.
  const std::map<std::string, Expected> expectations = {
      {"winxp", {5, 1, "XP"}},
      {"vista", {6, 0, "VISTA"}},
      {"win7", {6, 1, "7"}},
      {"win10", {6, 2, "VISTA"}},
  };
  const auto expected = expectations.find(presented);
  ASSERT_NE(expected, expectations.end()) << "unknown version " << presented;

  platform::win32::Win32VersionQuery query;
  platform::VersionRecord record;
  record.record_size = 148;
  ASSERT_EQ(query.Query(record), platform::VersionQueryOutcome::Answered);
  EXPECT_EQ(record.platform_id, 2u);
  EXPECT_EQ(record.major, expected->second.major);
  EXPECT_EQ(record.minor, expected->second.minor);
  EXPECT_EQ(settings::GetOSVersion(query), expected->second.name);
}

TEST(RealVersionQuery, WrongRecordSizeIsAReportedFailure) {
  platform::win32::Win32VersionQuery query;
  platform::VersionRecord record;
  record.record_size = 12;
  EXPECT_EQ(query.Query(record), platform::VersionQueryOutcome::ReportedFailure);
}

TEST(RealRegistry, RunValueIsUtf16TextWithItsTerminatingNul) {
  class NoBoxes final : public platform::MessageBoxes {
   public:
    void MsgBox(std::string_view text, platform::MsgBoxIcon, std::string_view) override {
      ADD_FAILURE() << "unexpected message: " << text;
    }
  } no_boxes;
  platform::win32::Win32Registry registry;
  platform::win32::Win32VersionQuery version;
  settings::modRegAutoStart auto_start(registry, version, no_boxes, "C:\\ひかり電話");
  auto_start.AddRunValue(platform::RegistryRoot::CurrentUser);

  const std::wstring expected = L"\"C:\\ひかり電話\\Tavoro.exe\"";
  wchar_t data[MAX_PATH] = {};
  DWORD type = 0;
  DWORD bytes = sizeof(data);
  ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"Tavoro", RRF_RT_ANY | RRF_NOEXPAND, &type, data, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, (expected.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(data), expected);

  auto_start.RemoveRunValue(platform::RegistryRoot::CurrentUser);
  EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"Tavoro", RRF_RT_ANY, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
}

TEST(RealRegistry, MessageTextIsTheSystemsOwnWithoutTrailingLineBreak) {
  platform::win32::Win32Registry registry;
  const std::string text = registry.MessageText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text, registry.MessageText(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace tavoro::contract
