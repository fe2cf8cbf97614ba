#pragma once
// A top-level window of the system (an HWND's value on Windows), shared by every contract that
// names one, so that they can meet in one translation unit.
#include <cstdint>

namespace tavoro::platform {

enum class WindowHandle : std::uintptr_t {};

}  // namespace tavoro::platform
