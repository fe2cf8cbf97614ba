// The home-line side of the bridge: listening for the softphone's ring on the Skype client's
// input device, and passing a ring on to the Skype user of `CallTo`.
#include <string>

#include "app/frmMain.h"
#include "app/run_time_error.h"
#include "app/softphone_keys.h"
#include "app/softphone_queue.h"
#include "platform/clock.h"
#include "product/identity.h"

namespace tavoro::app {
namespace {

constexpr std::string_view kStandby = "待機中";
constexpr std::string_view kInCall = "通話中";
constexpr std::uint32_t kCaptureBytes = 100;
constexpr int kRestartPasses = 300;  // 3 s in 10 ms passes
constexpr int kRetryPasses = 600;    // 6 s
constexpr std::int64_t kCallWaitSeconds = 45;
constexpr std::uint32_t kCallWaitSleepMs = 2;
// The meter reads 0 for silence; the offset keeps the average off zero, so that twice it is a
// real margin above the room's noise.
constexpr std::int32_t kLevelOffset = 5;

}  // namespace

void frmMain::PumpFor(int passes) {
  for (int pass = 0; pass < passes; ++pass) {
    runtime().loop.Sleep(10);
    runtime().loop.DoEvents();
  }
}

std::string frmMain::GetSkypeAudioDevice() {
  return oSkype_->SettingsAudioIn();
}

void frmMain::StopRingDetection() {
  Timer1.set_enabled(false);
  peers_.meter.CloseMeter();
}

// The meter holds one capture: whatever is running (this restart may have been reached while
// detection listened, or another restart may have finished inside a wait) is stopped and
// closed first, and Timer1 stays off until a capture is open again.
bool frmMain::OpenCapture() {
  StopRingDetection();
  peers_.meter.CaptureBytes = kCaptureBytes;
  return peers_.meter.OpenMeter();
}

void frmMain::RestartRingDetection() {
  // The forward about to start stops detection again and restarts it however its call ends.
  if (forward_waiting_)
    return;
  const platform::Runtime rt = runtime();
  StopRingDetection();
  PumpFor(kRestartPasses);
  if (!OpenCapture()) {
    // The first failure is often a device still busy after the call: wait and try once more.
    bool opened = false;
    PassOver([&] { StopRingDetection(); });
    PassOver([&] { PumpFor(kRetryPasses); });
    PassOver([&] { opened = OpenCapture(); });
    if (!opened) {
      rt.boxes.MsgBox("X-Liteの音量検出機能がエラーを返しました。\r\n" +
                          peers_.meter.MeterErrorText +
                          "\r\nプログラムを一旦終了し、起動しなおしてみてください。",
                      platform::MsgBoxIcon::Information, kProgramTitle);
      rt.process.End();
    }
  }
  ring_.Restart();
  Timer1.set_enabled(true);
}

void frmMain::Timer1_Timer() {
  const std::int32_t level = peers_.meter.ReadPeakLevel() + kLevelOffset;
  Label7.set_caption(std::to_string(level));
  ProgressBar1.set_value(level);
  const RingStatistics::Verdict verdict = ring_.Take(level);
  if (verdict == RingStatistics::Verdict::Ring) {
    Label9.set_back_color(kDetectRingColor);
    StopRingDetection();
    // Heard inside the pauses of a softphone sequence, the forward waits until that sequence
    // is done: run from inside it, the forward's own call would be answered or refused by
    // handlers queued behind the sequence, seen only after the whole 45 s wait.
    forward_waiting_ = queue_->running();
    queue_->WhenIdle([this] {
      forward_waiting_ = false;
      ForwardRingToSkype();
    });
    return;
  }
  if (verdict != RingStatistics::Verdict::WarmingUp)
    Label9.set_back_color(kDetectIdleColor);
  Label8.set_caption(std::to_string(ring_.AverageLevel));
}

void frmMain::ForwardRingToSkype() {
  const platform::Runtime rt = runtime();
  SkypeCallAnswered = false;
  SkypeCallRefused = false;
  const std::string handle = oSkype_->User(settings_.call_to)->Handle();
  const std::shared_ptr<platform::SkypeCall> call = oSkype_->PlaceCall(handle, "", "", "");

  // The answer and the refusal arrive as status events, handled inside this wait.
  const platform::LocalTime start = rt.clock.Now();
  bool timed_out = false;
  while (!timed_out && !SkypeCallAnswered && !SkypeCallRefused) {
    if (platform::SecondsBetween(start, rt.clock.Now()) > kCallWaitSeconds)
      timed_out = true;
    rt.loop.DoEvents();
    rt.loop.Sleep(kCallWaitSleepMs);
  }

  auto give_up = [this, call] {
    call->Finish();
    RestartRingDetection();
  };
  if (SkypeCallAnswered) {
    // Take the ringing home call: hang up whatever the softphone holds, then answer.
    SoftphoneQueue::Sequence take = queue_->Begin();
    take.Keys(SoftphoneHangUpKey)
        .Then([this] { Text8.set_text(kStandby); })
        .Activate()
        .Keys(SoftphoneCallKey)
        .Then([this] { Text8.set_text(kInCall); });
    if (timed_out)
      take.Then(give_up);
    queue_->Submit(std::move(take));
  } else if (timed_out) {
    give_up();
  }
}

}  // namespace tavoro::app
