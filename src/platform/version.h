#pragma once
// The classic version query (the ANSI form), as the version routine uses it.

#include <cstdint>

namespace tavoro::platform {

struct VersionRecord {
  std::uint32_t record_size = 0;  // the caller sets the size of the ANSI record, 148
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platform_id = 0;  // 1: Windows 95 family, 2: NT family
};

enum class VersionQueryOutcome {
  Answered,         // the system filled the record
  ReportedFailure,  // the call was made and said it failed; the record is as it was
  CannotBeMade,     // the call itself could not be made
};

class VersionQuery {
 public:
  virtual ~VersionQuery() = default;
  virtual VersionQueryOutcome Query(VersionRecord& record) = 0;
};

}  // namespace tavoro::platform
