#pragma once
// Driving the softphone the way a user would: bring its window to the front, type keys.

#include <string_view>

#include "platform/runtime.h"
#include "platform/softphone_window.h"

namespace tavoro::app {

inline constexpr std::string_view kSoftphoneTitle = "X-Lite";

// Shown when the softphone's window is gone while the program runs.
inline constexpr std::string_view kSoftphoneMissingText =
    "X-Liteが起動していません。X-Lite起動後にこのアプリケーションを再起動してください。";

// Shown by start-up, which also says what the softphone is for.
inline constexpr std::string_view kSoftphoneMissingAtStartUpText =
    "X-Liteが起動していません。\r\n"
    "このアプリケーションを利用するには、ひかり電話用にセットアップされたX-Liteが必要です。\r\n"
    "X-Lite起動後にこのアプリケーションを再起動してください。";

class modSoftphone {
 public:
  modSoftphone(platform::Runtime runtime, platform::SoftphoneWindow& window);

  // Brings the softphone to the front three times, pausing 100 ms and pumping after each, so
  // the focus has settled before keys follow. Events and ticks run inside the pauses. Without
  // the window the program cannot do its job: the message, then the end.
  void ActivateSoftphone();

  // Types `keys` into the foreground window without waiting for it to read them. Nothing can
  // be done about keys the system will not take, so that is not reported.
  void SendSoftphoneKeys(std::string_view keys);

  // Start-up's test that the softphone runs: one activation, no pause. False when its window
  // is missing; start-up then shows its own message.
  bool ActivateSoftphoneOnce();

 private:
  platform::Runtime runtime_;
  platform::SoftphoneWindow& window_;
};

}  // namespace tavoro::app
