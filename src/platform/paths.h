#pragma once
// Windows paths as the programs form them, in portable code.

#include <string>
#include <string_view>

namespace tavoro::platform {

// `folder` followed by a backslash and `name`. A folder that already ends in a separator (a
// drive root such as "T:\") gets no second one.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace tavoro::platform
