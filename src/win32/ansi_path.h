#pragma once
// Paths for the A functions the programs must call (the profile functions, the help viewer).

#include <string>
#include <string_view>

namespace tavoro::platform::win32 {

// `utf8_path` in the ANSI code page. A folder name the code page cannot hold (a Chinese folder
// on a Japanese system) is passed by its short name, which is always ASCII, so the call still
// reaches the file and not some other one. When the folder has no short name the lossy
// conversion is returned, and the call fails as the file is not found.
std::string AnsiPath(std::string_view utf8_path);

}  // namespace tavoro::platform::win32
