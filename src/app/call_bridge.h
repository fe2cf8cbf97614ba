#pragma once
// The call bridge: joins the Skype client and the home line's softphone. It takes accepted
// Skype callers on the softphone and relays their keypad codes, listens for the home line's
// ring on the Skype client's input device, and forwards a ring to the Skype user of `CallTo`.
// It shows what it does through a BridgeDisplay; the main window is that display.
//
// Everything runs on the window thread and every wait pumps, so handlers run inside each
// other's waits. Two rules keep that sound: the softphone is driven only through one serial
// queue, and every entry point (events, ticks) hands a failure nobody caught to the run-time
// error message.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/modSoftphone.h"
#include "app/pin_gate.h"
#include "app/ring_statistics.h"
#include "app/softphone_queue.h"
#include "audio/SoundMeter.h"
#include "platform/call_client.h"
#include "platform/runtime.h"
#include "platform/softphone_window.h"
#include "settings/call_settings.h"

namespace tavoro::app {

// What the softphone row says.
inline constexpr std::string_view kStandby = "待機中";
inline constexpr std::string_view kInCall = "通話中";
inline constexpr std::string_view kKeyRelayed = "プッシュボタン操作";
inline constexpr std::string_view kPinAwaited = "暗証番号待ち";

// What the bridge shows. Texts replace what was shown; the keypad codes are read back, so a
// new code is appended to whatever the display holds by then.
class BridgeDisplay {
 public:
  virtual void ShowSkypeState(std::string_view text) = 0;
  virtual void ShowCaller(std::string_view handle) = 0;
  virtual void ShowKeypadCodes(std::string_view codes) = 0;
  virtual std::string KeypadCodes() const = 0;
  virtual void ShowSoftphoneState(std::string_view text) = 0;
  // Ring detection's diagnostics: each reading, the average, and whether a ring was heard.
  virtual void ShowLevel(std::int32_t level) = 0;
  virtual void ShowAverage(std::int32_t average) = 0;
  virtual void ShowRingHeard(bool heard) = 0;

 protected:
  ~BridgeDisplay() = default;
};

// What a keypad code makes the softphone do: the keys to type (none: the code is only shown)
// and the softphone row's new text.
struct KeypadAction {
  std::string_view keys;
  std::string_view state;
  bool dials = false;  // the number typed so far is dialled: later "#" are tones

  bool operator==(const KeypadAction&) const = default;
};

// Digits and "*" are tones; the first "#" of a call dials, later ones are tones. Codes are
// compared as whole texts: a code of several characters is none of them.
KeypadAction DecideKeypadKey(std::string_view code, bool number_dialled);

// The flags that pass between the handlers, named as the handlers know them.
struct CallFlags {
  bool NumberDialled = false;
  bool SkypeCallAnswered = false;
  bool SkypeCallRefused = false;
  // A ring was heard while a softphone sequence ran; its forward follows that sequence.
  bool forward_waiting = false;
};

struct CallBridgePeers {
  platform::CallClientFactory create_skype;
  platform::SoftphoneWindow& softphone_window;
  audio::SoundMeter& meter;
};

class CallBridge final : private platform::CallClientEvents {
 public:
  // Ring detection reads the meter every 10 ms.
  static constexpr std::uint32_t kTimer1Ms = 10;

  // `settings` are read when a call needs them, so a dialog's OK applies to the next call.
  CallBridge(platform::Runtime runtime, CallBridgePeers peers,
             const settings::CallSettings& settings, BridgeDisplay& display);
  ~CallBridge() override;
  CallBridge(const CallBridge&) = delete;
  CallBridge& operator=(const CallBridge&) = delete;

  // Start-up's steps, in the order it takes them.
  void CreateClient();
  bool ClientIsRunning();
  void StartClient();
  // False when the client refused this program.
  bool TryAttach();
  // Start-up's test that the softphone runs: one activation, no pause.
  bool SoftphoneRuns();
  std::string GetSkypeAudioDevice();
  // The device the meter listens to from the next restart on.
  void ListenTo(std::string device) { device_ = std::move(device); }
  void RestartRingDetection();
  // Closing the program releases the capture and nothing else.
  void CloseMeter();

  void Timer1_Timer();
  bool listening() const { return timer1_ != 0; }

  const CallFlags& flags() const { return flags_; }
  const RingStatistics& ring_statistics() const { return ring_; }
  const SoftphoneQueue& softphone_queue() const { return queue_; }
  const PinGate& pin_gate() const { return pin_; }

 private:
  void AttachmentStatus(std::int32_t status) override;
  void CallStatus(std::shared_ptr<platform::RemoteCall> call, std::int32_t status) override;
  void CallDtmfReceived(std::shared_ptr<platform::RemoteCall> call, std::string code) override;

  void oSkype_AttachmentStatus(std::int32_t status);
  void oSkype_CallStatus(std::shared_ptr<platform::RemoteCall> call, std::int32_t status);
  void oSkype_CallDtmfReceived(std::shared_ptr<platform::RemoteCall> call, std::string code);
  bool IsAcceptedCaller(const std::string& partner) const;
  void RelayKeypadCode(const std::string& code);
  // True when the code was the caller's PIN, or part of it, and is not relayed.
  bool TakePinCode(const std::shared_ptr<platform::RemoteCall>& call, const std::string& code);

  void StopRingDetection();
  bool OpenCapture();
  void ForwardRingToSkype();
  void SetTimer1(bool enabled);
  // Sleeps 10 ms and pumps, `passes` times.
  void PumpFor(int passes);

  platform::Runtime runtime_;
  CallBridgePeers peers_;
  const settings::CallSettings& settings_;
  BridgeDisplay& display_;
  std::shared_ptr<platform::CallClient> oSkype_;
  modSoftphone softphone_;
  SoftphoneQueue queue_{softphone_};
  RingStatistics ring_;
  CallFlags flags_;
  PinGate pin_;
  std::string device_;
  platform::TimerId timer1_ = 0;
};

}  // namespace tavoro::app
