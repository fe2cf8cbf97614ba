#pragma once
// The one place a failure that no handler caught ends up: the standard run-time error message,
// then the end of the program. Every entry point of the main window (load, events, ticks,
// menu commands) runs through CatchUncaught, so a failure deep inside a wait ends the program
// at once instead of unwinding into the handler that was waiting.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "platform/call_client.h"
#include "platform/runtime.h"

namespace tavoro::app {

// A failure that is not the Skype library's: the runtime's own "Internal error".
inline constexpr std::int32_t kInternalErrorNumber = 51;
inline constexpr std::string_view kInternalErrorText = "内部エラーです。";

// "実行時エラー '5':" for a small error number; an HRESULT-like number also shows in hex, as
// "実行時エラー '-2147221004 (80040204)':". The description follows after an empty line.
std::string RunTimeErrorText(std::int32_t number, std::string_view description);

// Shows the message (critical icon, the program's title) and ends the program.
[[noreturn]] void ReportRunTimeError(platform::Runtime runtime, std::int32_t number,
                                     std::string_view description);

// Runs `handler`; a failure it lets through is reported and ends the program. The headless
// end is not a std::exception, so it passes through untouched.
template <typename Handler>
void CatchUncaught(platform::Runtime runtime, Handler&& handler) {
  try {
    handler();
  } catch (const platform::ClientError& error) {
    ReportRunTimeError(runtime, error.code(), error.description());
  } catch (const std::exception&) {
    ReportRunTimeError(runtime, kInternalErrorNumber, kInternalErrorText);
  }
}

// Runs one step of a handler that passes over failing steps: a failure is dropped and the
// handler goes on with its next step.
template <typename Step>
void PassOver(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
    // Passed over by design: the next step runs whatever this one did.
  }
}

}  // namespace tavoro::app
