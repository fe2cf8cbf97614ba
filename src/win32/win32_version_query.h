#pragma once
// GetVersionExA, looked up at run time: a system without it is the case where the query
// cannot be made at all.

#include "platform/version.h"

namespace tavoro::platform::win32 {

class Win32VersionQuery final : public VersionQuery {
 public:
  VersionQueryOutcome Query(VersionRecord& record) override;
};

}  // namespace tavoro::platform::win32
