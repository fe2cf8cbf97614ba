// The Skype side of the bridge: screening and taking incoming calls, the end of any call, and
// the keypad codes relayed into the softphone.
#include <optional>

#include "app/frmMain.h"
#include "app/run_time_error.h"
#include "app/softphone_keys.h"
#include "app/softphone_queue.h"

namespace tavoro::app {
namespace {

constexpr std::string_view kStandby = "待機中";
constexpr std::string_view kInCall = "通話中";
constexpr std::string_view kKeyRelayed = "プッシュボタン操作";

// Compared as whole texts: a code of several characters is none of them.
bool IsToneKey(const std::string& code) {
  return code.size() == 1 && ((code[0] >= '0' && code[0] <= '9') || code[0] == '*');
}

}  // namespace

bool frmMain::IsAcceptedCaller(const std::string& partner) const {
  // Unused positions are empty; an empty handle (a withheld caller id) must not match them.
  if (partner.empty())
    return false;
  for (int position = 1; position <= settings::kMaxAcceptedCallers; ++position) {
    if (settings_.accepted_callers[position] == partner)
      return true;
  }
  return false;
}

void frmMain::oSkype_CallStatus(std::shared_ptr<platform::SkypeCall> call, std::int32_t status) {
  platform::SkypeClient& skype = *oSkype_;
  const std::int32_t ringing = skype.TextToCallStatus("RINGING");
  const std::int32_t incoming_p2p = skype.TextToCallType("INCOMING_P2P");
  const std::int32_t incoming_pstn = skype.TextToCallType("INCOMING_PSTN");
  const std::int32_t type = call->Type();

  // The handler from its first softphone activation on, when it has one: that part runs in
  // the softphone's turn and passes over each failing step.
  std::optional<SoftphoneQueue::Sequence> rest;
  if (status == ringing && (type == incoming_p2p || type == incoming_pstn)) {
    const std::string partner = call->PartnerHandle();
    Text7.set_text(partner);
    if (IsAcceptedCaller(partner)) {
      Text3.set_text("");
      StopRingDetection();
      rest = queue_->Begin();
      rest->Keys(SoftphoneHangUpKey)
          .Then([this] { Text8.set_text(kStandby); })
          .Activate()
          .Keys(SoftphoneCallKey)
          .Then([this] { Text8.set_text(kInCall); })
          .Then([call] { call->Answer(); });
    }
  }

  auto show_status = [this, status] { Text4.set_text(oSkype_->CallStatusToText(status)); };
  if (rest)
    rest->Then(show_status);
  else
    show_status();

  if (status == platform::skype_call_status::kFinished ||
      status == platform::skype_call_status::kRefused) {
    if (rest)
      rest->Activate();
    else
      rest = queue_->Begin();
    rest->Keys(SoftphoneHangUpKey)
        .Then([this] { Text8.set_text(kStandby); })
        .Then([this] { NumberDialled = false; })
        .Then([this] { RestartRingDetection(); });
  }
  if (status == platform::skype_call_status::kInProgress) {
    if (rest)
      rest->Then([this] { SkypeCallAnswered = true; });
    else
      SkypeCallAnswered = true;
  }
  // Set only after the restart, so a waiting outgoing call sees detection already back.
  if (status == platform::skype_call_status::kRefused)
    rest->Then([this] { SkypeCallRefused = true; });

  if (rest)
    queue_->Submit(std::move(*rest));
}

void frmMain::oSkype_CallDtmfReceived(std::shared_ptr<platform::SkypeCall> call, std::string code) {
  // Any call's codes are relayed: the bridge does not ask which call it belongs to.
  (void)call;
  Text3.set_text(Text3.text() + code);
  SoftphoneQueue::Sequence relay = queue_->Begin();
  relay.Then([this, code] { RelayKeypadCode(code); });
  queue_->Submit(std::move(relay));
}

// Decided when the softphone's turn comes, so a "#" sees every key typed before it.
void frmMain::RelayKeypadCode(const std::string& code) {
  std::string keys;
  std::string_view state;
  if (IsToneKey(code)) {
    keys = code;
    state = kKeyRelayed;
  } else if (code == "#") {
    if (NumberDialled) {
      keys = code;
      state = kKeyRelayed;
    } else {
      keys = SoftphoneCallKey;
      state = kInCall;
      NumberDialled = true;
    }
  } else {
    return;
  }
  PassOver([&] { softphone_->SendSoftphoneKeys(keys); });
  PassOver([&] { Text8.set_text(state); });
}

}  // namespace tavoro::app
