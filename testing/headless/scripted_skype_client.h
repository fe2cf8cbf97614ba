#pragma once
// The tests' Skype: a client whose answers and events a test scripts on the virtual clock, and
// which keeps what the program did to it.
//
// It behaves like the library where the program could tell the difference:
// - events are posted to the headless loop and reach the sink only inside DoEvents, never from
//   inside an operation; a scenario step scheduled for a time is raised at that time;
// - a call's status changes when its event is raised, so the handler reads the new state;
// - AttachmentStatus is raised only when the status changes;
// - Attach with wait blocks the thread: the clock moves by the time the attempt takes (the
//   whole Timeout when the client never answers) and nothing is delivered meanwhile;
// - Answer and Finish return at once and the status they cause follows as an event;
// - failures carry the library's codes and texts.

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "headless/headless_event_loop.h"
#include "headless/virtual_clock.h"
#include "platform/call_client.h"

namespace tavoro::platform::headless {

// Every operation of the client, calls and users included, for injected failures and counts.
enum class SkypeOperation {
  ClientIsRunning,
  ClientStart,
  Attach,
  TextToAttachmentStatus,
  TextToCallStatus,
  TextToCallType,
  CallStatusToText,
  User,
  UserHandle,
  PlaceCall,
  SettingsAudioIn,
  CallType,
  CallPartnerHandle,
  CallAnswer,
  CallFinish,
};

// How the client meets one attachment attempt.
enum class AttachOutcome {
  Succeed,       // the client allows the program
  Refuse,        // the user or the client refuses: "Connection refused."
  NotAvailable,  // no client to talk to: "Not attached."
  NoAnswer,      // the client never answers: "Wait timeout." after the Timeout
};

class ScriptedSkypeClient;
class ScriptedUser;

class ScriptedCall final : public RemoteCall, public std::enable_shared_from_this<ScriptedCall> {
 public:
  ScriptedCall(ScriptedSkypeClient& client, std::int32_t type, std::string partner,
               std::int32_t status);

  std::int32_t Type() override;
  std::string PartnerHandle() override;
  void Answer() override;
  void Finish() override;

  std::int32_t type() const { return type_; }
  const std::string& partner() const { return partner_; }
  // The status of the last event raised for this call.
  std::int32_t status() const { return status_; }
  // Virtual times at which the program called Answer and Finish.
  const std::vector<std::uint64_t>& answered_at() const { return answered_at_; }
  const std::vector<std::uint64_t>& finished_at() const { return finished_at_; }

 private:
  friend class ScriptedSkypeClient;

  ScriptedSkypeClient& client_;
  std::int32_t type_;
  std::string partner_;
  std::int32_t status_;
  std::vector<std::uint64_t> answered_at_;
  std::vector<std::uint64_t> finished_at_;
};

class ScriptedSkypeClient final : public CallClient {
 public:
  static constexpr unsigned kEveryTime = std::numeric_limits<unsigned>::max();

  // The statuses the client reports by itself after the program acts on a call, raised
  // `delay_ms` after the act; an empty one raises nothing.
  struct FollowUps {
    std::optional<std::int32_t> after_answer = skype_call_status::kInProgress;
    std::optional<std::int32_t> after_finish = skype_call_status::kFinished;
    std::vector<std::int32_t> after_placing = {skype_call_status::kRouting,
                                               skype_call_status::kRinging};
    std::uint64_t delay_ms = 0;
  };

  struct StartRecord {
    bool minimized;
    bool nosplash;
    std::uint64_t at_ms;
  };
  struct AttachRecord {
    std::int32_t protocol;
    bool wait;
    std::uint64_t at_ms;  // when the attempt began
    AttachOutcome outcome;
  };
  struct PlacedCall {
    std::vector<std::string> targets;  // all four, as passed
    std::uint64_t at_ms;
    std::shared_ptr<ScriptedCall> call;
  };

  ScriptedSkypeClient(VirtualClock& clock, HeadlessEventLoop& loop);
  ScriptedSkypeClient(const ScriptedSkypeClient&) = delete;
  ScriptedSkypeClient& operator=(const ScriptedSkypeClient&) = delete;

  // The contract.
  void SetEventSink(CallClientEvents* sink) override { sink_ = sink; }
  bool ClientIsRunning() override;
  void ClientStart(bool minimized, bool nosplash) override;
  void Attach(std::int32_t protocol, bool wait) override;
  std::int32_t TextToAttachmentStatus(std::string_view text) override;
  std::int32_t TextToCallStatus(std::string_view text) override;
  std::int32_t TextToCallType(std::string_view text) override;
  std::string CallStatusToText(std::int32_t status) override;
  std::shared_ptr<RemoteUser> User(std::string_view username) override;
  std::shared_ptr<RemoteCall> PlaceCall(std::string_view target, std::string_view target2,
                                        std::string_view target3,
                                        std::string_view target4) override;
  std::string SettingsAudioIn() override;

  // The client program. Start brings the client up `after_ms` later (at once unless told
  // otherwise); nullopt makes Start launch nothing.
  void SetRunning(bool running);
  void SetStartBringsClientUp(std::optional<std::uint64_t> after_ms) {
    start_brings_up_ = after_ms;
  }
  void SetAudioIn(std::string device) { audio_in_ = std::move(device); }
  // The library's `Timeout`, how long an unanswered Attach blocks.
  void SetTimeout(std::uint64_t milliseconds) { timeout_ms_ = milliseconds; }

  // Attachment. Scripted outcomes are used one per attempt, in order; once they run out an
  // attempt succeeds while the client runs and finds it not available otherwise. An attempt
  // that succeeds or is refused takes `takes_ms`.
  void ScriptAttach(AttachOutcome outcome, std::uint64_t takes_ms = 0);
  // The client's window disappears (status 3) or a restarted client announces itself (4).
  void ClientGoesAwayAt(std::uint64_t at_ms);
  void ClientAnnouncesItselfAt(std::uint64_t at_ms);
  std::int32_t attachment_status() const { return attachment_status_; }

  // Calls. Each step raises its event at virtual time `at_ms` (at once if that has passed).
  std::shared_ptr<ScriptedCall> RingAt(std::uint64_t at_ms, std::string partner,
                                       std::int32_t type = skype_call_type::kIncomingP2p);
  void SendDtmfAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call, std::string code);
  void ChangeStatusAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call, std::int32_t status);
  void RemoteAnswersAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call);
  void RemoteRefusesAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call);
  void RemoteFinishesAt(std::uint64_t at_ms, std::shared_ptr<ScriptedCall> call);
  void SetFollowUps(FollowUps follow_ups) { follow_ups_ = std::move(follow_ups); }
  // Runs inside PlaceCall, after its own follow-ups are posted, so a test can script how the
  // called user reacts to a call it could not know of in advance.
  void WhenCallPlaced(std::function<void(const std::shared_ptr<ScriptedCall>&)> hook) {
    when_placed_ = std::move(hook);
  }

  // The next `times` calls of `operation` fail with `error`.
  void Fail(SkypeOperation operation, ClientError error, unsigned times = kEveryTime);
  void StopFailing(SkypeOperation operation) { failures_.erase(operation); }

  // What the program did.
  const std::vector<StartRecord>& starts() const { return starts_; }
  const std::vector<AttachRecord>& attaches() const { return attaches_; }
  const std::vector<PlacedCall>& placed_calls() const { return placed_calls_; }
  const std::vector<std::string>& users_asked() const { return users_asked_; }
  // Calls of `operation` so far, failed ones included.
  unsigned calls_of(SkypeOperation operation) const;
  bool has_sink() const { return sink_ != nullptr; }

 private:
  friend class ScriptedCall;
  friend class ScriptedUser;

  struct Failure {
    ClientError error;
    unsigned remaining;
  };

  // Counts the operation and throws when a failure is injected for it.
  void Enter(SkypeOperation operation);
  std::uint64_t Now() const { return clock_.Milliseconds(); }
  bool IsUp();
  // Posts `deliver` for `at_ms`; it is dropped if this client is gone by then.
  void Raise(std::uint64_t at_ms, std::function<void()> deliver);
  void RaiseAttachmentStatusAt(std::uint64_t at_ms, std::int32_t status);
  void Answered(ScriptedCall& call);
  void Finished(ScriptedCall& call);

  VirtualClock& clock_;
  HeadlessEventLoop& loop_;
  CallClientEvents* sink_ = nullptr;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  bool running_ = false;
  std::optional<std::uint64_t> comes_up_at_;
  std::optional<std::uint64_t> start_brings_up_ = 0;
  std::string audio_in_;
  std::uint64_t timeout_ms_ = 30'000;

  std::int32_t attachment_status_ = skype_attachment_status::kUnknown;
  std::deque<std::pair<AttachOutcome, std::uint64_t>> attach_script_;
  FollowUps follow_ups_;
  std::function<void(const std::shared_ptr<ScriptedCall>&)> when_placed_;

  std::map<SkypeOperation, Failure> failures_;
  std::map<SkypeOperation, unsigned> counts_;

  std::vector<StartRecord> starts_;
  std::vector<AttachRecord> attaches_;
  std::vector<PlacedCall> placed_calls_;
  std::vector<std::string> users_asked_;
};

}  // namespace tavoro::platform::headless
