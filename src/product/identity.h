#pragma once
// How the program names itself to the user and to the system.

#include <string_view>

namespace tavoro {

// The title of the main window and of every message box the program shows.
inline constexpr std::string_view kProgramTitle = "Tavorophone";

// The executable's file name as registered and shipped, whatever the running file is called.
inline constexpr std::string_view kExecutableName = "Tavoro.exe";

}  // namespace tavoro
