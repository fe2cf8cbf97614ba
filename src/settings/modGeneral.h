#pragma once
// The Windows version named the way both programs decide by it.

#include <string>

#include "platform/version.h"

namespace tavoro::settings {

// One of "95", "98", "Me", "NT4", "2000", "XP", "2003", "7", "VISTA"; the empty text for a
// combination without a name or a query that reported failure; "Failed" when the query
// cannot be made. Callers only ever compare with "VISTA" and "7". Asks the system anew on
// every call.
std::string GetOSVersion(platform::VersionQuery& query);

}  // namespace tavoro::settings
