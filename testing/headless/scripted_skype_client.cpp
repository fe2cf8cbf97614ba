#include "headless/scripted_skype_client.h"

#include <tuple>
#include <utility>

#include "platform/skype_conversions.h"

namespace tavoro::platform::headless {
namespace {

bool HasEnded(std::int32_t status) {
  using namespace skype_call_status;
  return status == kFailed || status == kFinished || status == kMissed || status == kRefused ||
         status == kBusy || status == kCancelled;
}

// The client calls a number when the target looks like one, a Skype user otherwise.
std::int32_t OutgoingTypeFor(std::string_view target) {
  const bool number =
      !target.empty() && (target[0] == '+' || (target[0] >= '0' && target[0] <= '9'));
  return number ? skype_call_type::kOutgoingPstn : skype_call_type::kOutgoingP2p;
}

}  // namespace

class ScriptedUser final : public RemoteUser {
 public:
  ScriptedUser(ScriptedSkypeClient& client, std::string handle)
      : client_(client), handle_(std::move(handle)) {}

  std::string Handle() override {
    client_.Enter(SkypeOperation::UserHandle);
    return handle_;
  }

 private:
  ScriptedSkypeClient& client_;
  std::string handle_;
};

ScriptedCall::ScriptedCall(ScriptedSkypeClient& client, std::int32_t type, std::string partner,
                           std::int32_t status)
    : client_(client), type_(type), partner_(std::move(partner)), status_(status) {}

std::int32_t ScriptedCall::Type() {
  client_.Enter(SkypeOperation::CallType);
  return type_;
}

std::string ScriptedCall::PartnerHandle() {
  client_.Enter(SkypeOperation::CallPartnerHandle);
  return partner_;
}

void ScriptedCall::Answer() {
  client_.Enter(SkypeOperation::CallAnswer);
  client_.Answered(*this);
}

void ScriptedCall::Finish() {
  client_.Enter(SkypeOperation::CallFinish);
  client_.Finished(*this);
}

ScriptedSkypeClient::ScriptedSkypeClient(VirtualClock& clock, HeadlessEventLoop& loop)
    : clock_(clock), loop_(loop) {}

bool ScriptedSkypeClient::ClientIsRunning() {
  Enter(SkypeOperation::ClientIsRunning);
  return IsUp();
}

bool ScriptedSkypeClient::IsUp() {
  if (comes_up_at_ && Now() >= *comes_up_at_) {
    running_ = true;
    comes_up_at_.reset();
  }
  return running_;
}

void ScriptedSkypeClient::ClientStart(bool minimized, bool nosplash) {
  Enter(SkypeOperation::ClientStart);
  starts_.push_back({minimized, nosplash, Now()});
  if (start_brings_up_ && !running_)
    comes_up_at_ = Now() + *start_brings_up_;
}

void ScriptedSkypeClient::SetRunning(bool running) {
  running_ = running;
  comes_up_at_.reset();
}

void ScriptedSkypeClient::Attach(std::int32_t protocol, bool wait) {
  Enter(SkypeOperation::Attach);
  AttachOutcome outcome = IsUp() ? AttachOutcome::Succeed : AttachOutcome::NotAvailable;
  std::uint64_t takes_ms = 0;
  if (!attach_script_.empty()) {
    std::tie(outcome, takes_ms) = attach_script_.front();
    attach_script_.pop_front();
  }
  attaches_.push_back({protocol, wait, Now(), outcome});

  std::optional<std::int32_t> new_status;
  std::optional<ClientError> error;
  switch (outcome) {
    case AttachOutcome::Succeed:
      new_status = skype_attachment_status::kSuccess;
      break;
    case AttachOutcome::Refuse:
      new_status = skype_attachment_status::kRefused;
      error.emplace(skype_result::kConnectionRefused, "Connection refused.");
      break;
    case AttachOutcome::NotAvailable:
      takes_ms = 0;
      error.emplace(skype_result::kNotAttached, "Not attached.");
      break;
    case AttachOutcome::NoAnswer:
      takes_ms = timeout_ms_;
      error.emplace(skype_result::kWaitTimeout, "Wait timeout.");
      break;
  }

  if (!wait) {
    // The answer comes later, as a status change only.
    if (new_status)
      RaiseAttachmentStatusAt(Now() + takes_ms, *new_status);
    return;
  }
  clock_.Advance(takes_ms);
  if (new_status)
    RaiseAttachmentStatusAt(Now(), *new_status);
  if (error)
    throw *error;
}

std::int32_t ScriptedSkypeClient::TextToAttachmentStatus(std::string_view text) {
  Enter(SkypeOperation::TextToAttachmentStatus);
  return skype_conversion::TextToAttachmentStatus(text);
}

std::int32_t ScriptedSkypeClient::TextToCallStatus(std::string_view text) {
  Enter(SkypeOperation::TextToCallStatus);
  return skype_conversion::TextToCallStatus(text);
}

std::int32_t ScriptedSkypeClient::TextToCallType(std::string_view text) {
  Enter(SkypeOperation::TextToCallType);
  return skype_conversion::TextToCallType(text);
}

std::string ScriptedSkypeClient::CallStatusToText(std::int32_t status) {
  Enter(SkypeOperation::CallStatusToText);
  return skype_conversion::CallStatusToText(status);
}

std::shared_ptr<RemoteUser> ScriptedSkypeClient::User(std::string_view username) {
  Enter(SkypeOperation::User);
  users_asked_.emplace_back(username);
  return std::make_shared<ScriptedUser>(*this, std::string(username));
}

std::shared_ptr<RemoteCall> ScriptedSkypeClient::PlaceCall(std::string_view target,
                                                           std::string_view target2,
                                                           std::string_view target3,
                                                           std::string_view target4) {
  Enter(SkypeOperation::PlaceCall);
  auto call = std::make_shared<ScriptedCall>(*this, OutgoingTypeFor(target), std::string(target),
                                             skype_call_status::kUnplaced);
  placed_calls_.push_back(
      {{std::string(target), std::string(target2), std::string(target3), std::string(target4)},
       Now(),
       call});
  for (const std::int32_t status : follow_ups_.after_placing)
    ChangeStatusAt(Now() + follow_ups_.delay_ms, call, status);
  if (when_placed_) {
    const auto hook = when_placed_;
    hook(call);
  }
  return call;
}

std::string ScriptedSkypeClient::SettingsAudioIn() {
  Enter(SkypeOperation::SettingsAudioIn);
  return audio_in_;
}

void ScriptedSkypeClient::ScriptAttach(AttachOutcome outcome, std::uint64_t takes_ms) {
  attach_script_.emplace_back(outcome, takes_ms);
}

void ScriptedSkypeClient::ClientGoesAwayAt(std::uint64_t at_ms) {
  Raise(at_ms, [this] { SetRunning(false); });
  RaiseAttachmentStatusAt(at_ms, skype_attachment_status::kNotAvailable);
}

void ScriptedSkypeClient::ClientAnnouncesItselfAt(std::uint64_t at_ms) {
  Raise(at_ms, [this] { SetRunning(true); });
  RaiseAttachmentStatusAt(at_ms, skype_attachment_status::kAvailable);
}

std::shared_ptr<ScriptedCall> ScriptedSkypeClient::RingAt(std::uint64_t at_ms, std::string partner,
                                                          std::int32_t type) {
  auto call =
      std::make_shared<ScriptedCall>(*this, type, std::move(partner), skype_call_status::kUnplaced);
  ChangeStatusAt(at_ms, call, skype_call_status::kRinging);
  return call;
}

void ScriptedSkypeClient::SendDtmfAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call,
                                     std::string code) {
  Raise(at_ms, [this, call = std::move(call), code = std::move(code)] {
    if (sink_)
      sink_->CallDtmfReceived(call, code);
  });
}

void ScriptedSkypeClient::ChangeStatusAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call,
                                         std::int32_t status) {
  Raise(at_ms, [this, call = std::move(call), status] {
    call->status_ = status;
    if (sink_)
      sink_->CallStatus(call, status);
  });
}

void ScriptedSkypeClient::RemoteAnswersAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call) {
  ChangeStatusAt(at_ms, std::move(call), skype_call_status::kInProgress);
}

void ScriptedSkypeClient::RemoteRefusesAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call) {
  ChangeStatusAt(at_ms, std::move(call), skype_call_status::kRefused);
}

void ScriptedSkypeClient::RemoteFinishesAt(std::uint64_t at_ms,
                                           std::shared_ptr<ScriptedCall> call) {
  ChangeStatusAt(at_ms, std::move(call), skype_call_status::kFinished);
}

void ScriptedSkypeClient::Fail(SkypeOperation operation, ClientError error, unsigned times) {
  failures_.insert_or_assign(operation, Failure{std::move(error), times});
}

unsigned ScriptedSkypeClient::calls_of(SkypeOperation operation) const {
  const auto found = counts_.find(operation);
  return found == counts_.end() ? 0 : found->second;
}

void ScriptedSkypeClient::Enter(SkypeOperation operation) {
  ++counts_[operation];
  const auto found = failures_.find(operation);
  if (found == failures_.end())
    return;
  const ClientError error = found->second.error;
  if (found->second.remaining != kEveryTime && --found->second.remaining == 0)
    failures_.erase(found);
  throw error;
}

void ScriptedSkypeClient::Raise(std::uint64_t at_ms, std::function<void()> deliver) {
  loop_.PostAt(at_ms, [alive = std::weak_ptr<int>(alive_), deliver = std::move(deliver)] {
    if (!alive.expired())
      deliver();
  });
}

void ScriptedSkypeClient::RaiseAttachmentStatusAt(std::uint64_t at_ms, std::int32_t status) {
  Raise(at_ms, [this, status] {
    if (status == attachment_status_)
      return;
    attachment_status_ = status;
    if (sink_)
      sink_->AttachmentStatus(status);
  });
}

void ScriptedSkypeClient::Answered(ScriptedCall& call) {
  call.answered_at_.push_back(Now());
  const bool incoming_ringing =
      call.status_ == skype_call_status::kRinging &&
      (call.type_ == skype_call_type::kIncomingP2p || call.type_ == skype_call_type::kIncomingPstn);
  if (incoming_ringing && follow_ups_.after_answer)
    ChangeStatusAt(Now() + follow_ups_.delay_ms, call.shared_from_this(),
                   *follow_ups_.after_answer);
}

void ScriptedSkypeClient::Finished(ScriptedCall& call) {
  call.finished_at_.push_back(Now());
  if (!HasEnded(call.status_) && follow_ups_.after_finish)
    ChangeStatusAt(Now() + follow_ups_.delay_ms, call.shared_from_this(),
                   *follow_ups_.after_finish);
}

}  // namespace tavoro::platform::headless
