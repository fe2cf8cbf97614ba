#pragma once
// The stand-in's control channel as seen from outside: a scenario in another process (or a
// test in the same one) finds the hidden window of a Skype object and sends it one command
// line per WM_COPYDATA. The commands are listed in control_channel.cpp and README.md.
//
// Header only, so that skypectl, the tests and the end-to-end checkers share it without a
// library.

#include <windows.h>

#include <string>
#include <string_view>

namespace tavoro::sim::skype4com::control {

// Every Skype object of the stand-in has a message-only window of this class, titled
// kWindowTitlePrefix followed by its process id.
inline constexpr wchar_t kWindowClass[] = L"TavoroSkype4ComStandIn";
inline constexpr wchar_t kWindowTitlePrefix[] = L"Skype4COM stand-in ";

// COPYDATASTRUCT::dwData of a command; lpData holds the line in UTF-8, without a terminator.
inline constexpr ULONG_PTR kCommandTag = 0x534B5943;  // "SKYC"

// What SendMessage returns for a command. 0 is what a window that does not know the message
// returns, so it never means success.
enum Result : LRESULT {
  kNotDelivered = 0,
  kDone = 1,
  kUnknownCommand = 2,
  kBadArguments = 3,
  kNoSuchCall = 4,
};

inline const char* ResultText(LRESULT result) {
  switch (result) {
    case kDone:
      return "done";
    case kUnknownCommand:
      return "unknown command";
    case kBadArguments:
      return "bad arguments";
    case kNoSuchCall:
      return "no such call";
    default:
      return "not delivered";
  }
}

// The stand-in's window in process `process_id`, or in any process for 0; nullptr if none.
inline HWND FindStandIn(DWORD process_id = 0) {
  HWND window = nullptr;
  while ((window = ::FindWindowExW(HWND_MESSAGE, window, kWindowClass, nullptr)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (process_id == 0 || owner == process_id)
      return window;
  }
  return nullptr;
}

// Sends one command and returns the stand-in's Result; kNotDelivered when the window does not
// answer within `timeout_ms`.
inline LRESULT SendCommand(HWND window, std::string_view command, UINT timeout_ms = 5000) {
  COPYDATASTRUCT data{};
  data.dwData = kCommandTag;
  data.cbData = static_cast<DWORD>(command.size());
  data.lpData = const_cast<char*>(command.data());
  DWORD_PTR result = kNotDelivered;
  if (::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                            timeout_ms, &result) == 0)
    return kNotDelivered;
  return static_cast<LRESULT>(result);
}

}  // namespace tavoro::sim::skype4com::control
