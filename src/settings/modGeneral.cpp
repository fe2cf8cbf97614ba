#include "settings/modGeneral.h"

#include <cstdint>

namespace tavoro::settings {
namespace {

constexpr std::uint32_t kWindows9x = 1;
constexpr std::uint32_t kWindowsNt = 2;
constexpr std::uint32_t kAnsiRecordSize = 148;

std::string NameVersion(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor) {
  if (platform_id == kWindows9x && major == 4) {
    if (minor == 0)
      return "95";
    if (minor == 10)
      return "98";
    if (minor == 90)
      return "Me";
  }
  if (platform_id == kWindowsNt) {
    if (major == 4 && minor == 0)
      return "NT4";
    if (major == 5 && minor == 0)
      return "2000";
    if (major == 5 && minor == 1)
      return "XP";
    if (major == 5 && minor == 2)
      return "2003";
    // Every later 6.x is called "VISTA": newer Windows reports 6.2 to a program that does not
    // declare it knows them, and per-user registration is right for all of them.
    if (major == 6)
      return minor == 1 ? "7" : "VISTA";
  }
  return "";
}

}  // namespace

std::string GetOSVersion(platform::VersionQuery& query) {
  platform::VersionRecord record;
  record.record_size = kAnsiRecordSize;
  switch (query.Query(record)) {
    case platform::VersionQueryOutcome::CannotBeMade:
      return "Failed";
    case platform::VersionQueryOutcome::ReportedFailure:
      // What the system left in the record is not trusted: a failed query names no version.
      return "";
    case platform::VersionQueryOutcome::Answered:
      break;
  }
  return NameVersion(record.platform_id, record.major, record.minor);
}

}  // namespace tavoro::settings
