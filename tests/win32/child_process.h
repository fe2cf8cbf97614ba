#pragma once
// The half of a test that runs in a process of its own: this test program started again with
// TAVORO_CHILD set to "MODE ARGUMENT". The child enters its mode from a static initializer,
// before GoogleTest starts, so it runs and reports no test.

#include <windows.h>

#include <string>

namespace tavoro::testing {

constexpr wchar_t kChildVariable[] = L"TAVORO_CHILD";

// At namespace scope, `[[maybe_unused]] const bool kChild = EnterChildMode(L"mode", body);`: in
// the child started in `mode`, ends the process with `body(argument)`; elsewhere returns false.
bool EnterChildMode(const std::wstring& mode, DWORD (*body)(const std::wstring& argument));

// The quoted path of this test program.
std::wstring ThisProgram();

// Starts this program as the child in `mode`: its process handle, or nullptr.
HANDLE StartChild(const std::wstring& mode, const std::wstring& argument);

}  // namespace tavoro::testing
