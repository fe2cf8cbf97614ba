#include "app/call_bridge.h"

#include <optional>

#include "app/run_time_error.h"
#include "app/softphone_keys.h"
#include "platform/clock.h"
#include "product/identity.h"

namespace tavoro::app {
namespace {

constexpr std::int32_t kSkypeProtocol = 5;
constexpr std::uint32_t kCaptureBytes = 100;
constexpr int kRestartPasses = 300;  // 3 s in 10 ms passes
constexpr int kRetryPasses = 600;    // 6 s
constexpr std::int64_t kCallWaitSeconds = 45;
constexpr std::uint32_t kCallWaitSleepMs = 2;

bool IsToneKey(std::string_view code) {
  return code.size() == 1 && ((code[0] >= '0' && code[0] <= '9') || code[0] == '*');
}

}  // namespace

KeypadAction DecideKeypadKey(std::string_view code, bool number_dialled) {
  if (IsToneKey(code) || (code == "#" && number_dialled))
    return {code, kKeyRelayed, false};
  if (code == "#")
    return {SoftphoneCallKey, kInCall, true};
  return {};
}

CallBridge::CallBridge(platform::Runtime runtime, CallBridgePeers peers,
                       const settings::CallSettings& settings, BridgeDisplay& display)
    : runtime_(runtime),
      peers_(std::move(peers)),
      settings_(settings),
      display_(display),
      softphone_(runtime, peers_.softphone_window) {}

CallBridge::~CallBridge() {
  SetTimer1(false);
  if (oSkype_)
    oSkype_->SetEventSink(nullptr);
}

// Start-up.

void CallBridge::CreateClient() {
  oSkype_ = peers_.create_skype();
  oSkype_->SetEventSink(this);
}

bool CallBridge::ClientIsRunning() {
  return oSkype_->ClientIsRunning();
}

void CallBridge::StartClient() {
  oSkype_->ClientStart(false, false);
}

bool CallBridge::TryAttach() {
  try {
    oSkype_->Attach(kSkypeProtocol, true);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool CallBridge::SoftphoneRuns() {
  return softphone_.ActivateSoftphoneOnce();
}

std::string CallBridge::GetSkypeAudioDevice() {
  return oSkype_->SettingsAudioIn();
}

void CallBridge::CloseMeter() {
  peers_.meter.CloseMeter();
}

// The Skype client's events, each an entry point of its own.

void CallBridge::AttachmentStatus(std::int32_t status) {
  CatchUncaught(runtime_, [&] { oSkype_AttachmentStatus(status); });
}
void CallBridge::CallStatus(std::shared_ptr<platform::RemoteCall> call, std::int32_t status) {
  CatchUncaught(runtime_, [&] { oSkype_CallStatus(std::move(call), status); });
}
void CallBridge::CallDtmfReceived(std::shared_ptr<platform::RemoteCall> call, std::string code) {
  CatchUncaught(runtime_, [&] { oSkype_CallDtmfReceived(std::move(call), std::move(code)); });
}

void CallBridge::oSkype_AttachmentStatus(std::int32_t status) {
  if (status == oSkype_->TextToAttachmentStatus("AVAILABLE"))
    oSkype_->Attach(kSkypeProtocol, true);
}

bool CallBridge::IsAcceptedCaller(const std::string& partner) const {
  // Unused positions are empty; an empty handle (a withheld caller id) must not match them.
  if (partner.empty())
    return false;
  for (int position = 1; position <= settings::kMaxAcceptedCallers; ++position) {
    if (settings_.accepted_callers[position] == partner)
      return true;
  }
  return false;
}

void CallBridge::oSkype_CallStatus(std::shared_ptr<platform::RemoteCall> call,
                                   std::int32_t status) {
  platform::CallClient& skype = *oSkype_;
  const std::int32_t ringing = skype.TextToCallStatus("RINGING");
  const std::int32_t incoming_p2p = skype.TextToCallType("INCOMING_P2P");
  const std::int32_t incoming_pstn = skype.TextToCallType("INCOMING_PSTN");
  const std::int32_t type = call->Type();

  // The handler from its first softphone activation on, when it has one: that part runs in
  // the softphone's turn and passes over each failing step.
  std::optional<SoftphoneQueue::Sequence> rest;
  if (status == ringing && (type == incoming_p2p || type == incoming_pstn)) {
    const std::string partner = call->PartnerHandle();
    display_.ShowCaller(partner);
    if (IsAcceptedCaller(partner)) {
      display_.ShowKeypadCodes("");
      // Closed before anything can be keyed, so every code of this caller meets the gate.
      pin_.Close(!settings_.pin.empty());
      StopRingDetection();
      rest = queue_.Begin();
      rest->Keys(SoftphoneHangUpKey)
          .Then([this] { display_.ShowSoftphoneState(kStandby); })
          .Activate()
          .Keys(SoftphoneCallKey)
          .Then([this] { display_.ShowSoftphoneState(kInCall); })
          .Then([call] { call->Answer(); })
          .Then([this] {
            if (pin_.awaited())
              display_.ShowSoftphoneState(kPinAwaited);
          });
    }
  }

  auto show_status = [this, status] { display_.ShowSkypeState(oSkype_->CallStatusToText(status)); };
  if (rest)
    rest->Then(show_status);
  else
    show_status();

  if (status == platform::skype_call_status::kFinished ||
      status == platform::skype_call_status::kRefused) {
    if (rest)
      rest->Activate();
    else
      rest = queue_.Begin();
    rest->Keys(SoftphoneHangUpKey)
        .Then([this] { display_.ShowSoftphoneState(kStandby); })
        .Then([this] { flags_.NumberDialled = false; })
        .Then([this] { RestartRingDetection(); });
  }
  if (status == platform::skype_call_status::kInProgress) {
    if (rest)
      rest->Then([this] { flags_.SkypeCallAnswered = true; });
    else
      flags_.SkypeCallAnswered = true;
  }
  // Set only after the restart, so a waiting outgoing call sees detection already back.
  if (status == platform::skype_call_status::kRefused)
    rest->Then([this] { flags_.SkypeCallRefused = true; });

  if (rest)
    queue_.Submit(std::move(*rest));
}

void CallBridge::oSkype_CallDtmfReceived(std::shared_ptr<platform::RemoteCall> call,
                                         std::string code) {
  // Any call's codes are relayed: the bridge does not ask which call it belongs to.
  if (TakePinCode(call, code))
    return;
  display_.ShowKeypadCodes(display_.KeypadCodes() + code);
  SoftphoneQueue::Sequence relay = queue_.Begin();
  relay.Then([this, code] { RelayKeypadCode(code); });
  queue_.Submit(std::move(relay));
}

// Decided as each code arrives, so the next code already knows whether the gate is open; no
// PIN code waits for the softphone, which never sees one.
bool CallBridge::TakePinCode(const std::shared_ptr<platform::RemoteCall>& call,
                             const std::string& code) {
  const PinGate::Outcome outcome = pin_.Take(code, settings_.pin);
  if (outcome == PinGate::Outcome::Relay)
    return false;
  // One mark a code, so nobody reads the PIN off the screen.
  display_.ShowKeypadCodes(display_.KeypadCodes() + "*");
  if (outcome == PinGate::Outcome::Opened) {
    display_.ShowKeypadCodes("");
    display_.ShowSoftphoneState(kInCall);
  } else if (outcome == PinGate::Outcome::TurnAway) {
    // Were the end refused, the gate stays shut all the same.
    PassOver([&] { call->Finish(); });
  }
  return true;
}

// Decided when the softphone's turn comes, so a "#" sees every key typed before it.
void CallBridge::RelayKeypadCode(const std::string& code) {
  const KeypadAction action = DecideKeypadKey(code, flags_.NumberDialled);
  if (action.keys.empty())
    return;
  if (action.dials)
    flags_.NumberDialled = true;
  PassOver([&] { softphone_.SendSoftphoneKeys(action.keys); });
  PassOver([&] { display_.ShowSoftphoneState(action.state); });
}

// Ring detection.

void CallBridge::SetTimer1(bool enabled) {
  // Enabling a running timer leaves its rhythm alone; disabling drops a tick already due.
  if (enabled && timer1_ == 0) {
    timer1_ = runtime_.loop.SetTimer(
        kTimer1Ms, [this] { CatchUncaught(runtime_, [this] { Timer1_Timer(); }); });
  } else if (!enabled && timer1_ != 0) {
    runtime_.loop.KillTimer(timer1_);
    timer1_ = 0;
  }
}

void CallBridge::PumpFor(int passes) {
  for (int pass = 0; pass < passes; ++pass) {
    runtime_.loop.Sleep(10);
    runtime_.loop.DoEvents();
  }
}

void CallBridge::StopRingDetection() {
  SetTimer1(false);
  peers_.meter.CloseMeter();
}

// The meter holds one capture: whatever is running (this restart may have been reached while
// detection listened, or another restart may have finished inside a wait) is stopped and
// closed first, and Timer1 stays off until a capture is open again.
bool CallBridge::OpenCapture() {
  StopRingDetection();
  return peers_.meter.OpenMeter(device_, kCaptureBytes);
}

void CallBridge::RestartRingDetection() {
  // The forward about to start stops detection again and restarts it however its call ends.
  if (flags_.forward_waiting)
    return;
  StopRingDetection();
  PumpFor(kRestartPasses);
  if (!OpenCapture()) {
    // The first failure is often a device still busy after the call: wait and try once more.
    bool opened = false;
    PassOver([&] { StopRingDetection(); });
    PassOver([&] { PumpFor(kRetryPasses); });
    PassOver([&] { opened = OpenCapture(); });
    if (!opened) {
      runtime_.boxes.MsgBox("X-Liteの音量検出機能がエラーを返しました。\r\n" +
                                peers_.meter.MeterErrorText +
                                "\r\nプログラムを一旦終了し、起動しなおしてみてください。",
                            platform::MsgBoxIcon::Information, kProgramTitle);
      runtime_.process.End();
    }
  }
  ring_.Restart();
  SetTimer1(true);
}

void CallBridge::Timer1_Timer() {
  const std::int32_t level = peers_.meter.ReadPeakLevel() + RingStatistics::kLevelOffset;
  display_.ShowLevel(level);
  const RingStatistics::Verdict verdict = ring_.Take(level);
  if (verdict == RingStatistics::Verdict::Ring) {
    display_.ShowRingHeard(true);
    StopRingDetection();
    // Heard inside the pauses of a softphone sequence, the forward waits until that sequence
    // is done: run from inside it, the forward's own call would be answered or refused by
    // handlers queued behind the sequence, seen only after the whole 45 s wait.
    flags_.forward_waiting = queue_.running();
    queue_.WhenIdle([this] {
      flags_.forward_waiting = false;
      ForwardRingToSkype();
    });
    return;
  }
  if (verdict != RingStatistics::Verdict::WarmingUp)
    display_.ShowRingHeard(false);
  display_.ShowAverage(ring_.AverageLevel);
}

void CallBridge::ForwardRingToSkype() {
  const platform::Runtime rt = runtime_;
  // The gateway placed this call itself: its user keys no PIN.
  pin_.Open();
  flags_.SkypeCallAnswered = false;
  flags_.SkypeCallRefused = false;
  const std::string handle = oSkype_->User(settings_.call_to)->Handle();
  const std::shared_ptr<platform::RemoteCall> call = oSkype_->PlaceCall(handle, "", "", "");

  // The answer and the refusal arrive as status events, handled inside this wait.
  const platform::LocalTime start = rt.clock.Now();
  bool timed_out = false;
  while (!timed_out && !flags_.SkypeCallAnswered && !flags_.SkypeCallRefused) {
    if (platform::SecondsBetween(start, rt.clock.Now()) > kCallWaitSeconds)
      timed_out = true;
    rt.loop.DoEvents();
    rt.loop.Sleep(kCallWaitSleepMs);
  }

  auto give_up = [this, call] {
    call->Finish();
    RestartRingDetection();
  };
  if (flags_.SkypeCallAnswered) {
    // Take the ringing home call: hang up whatever the softphone holds, then answer.
    SoftphoneQueue::Sequence take = queue_.Begin();
    take.Keys(SoftphoneHangUpKey)
        .Then([this] { display_.ShowSoftphoneState(kStandby); })
        .Activate()
        .Keys(SoftphoneCallKey)
        .Then([this] { display_.ShowSoftphoneState(kInCall); });
    if (timed_out)
      take.Then(give_up);
    queue_.Submit(std::move(take));
  } else if (timed_out) {
    give_up();
  }
}

}  // namespace tavoro::app
