#pragma once
// The remote side of the gateway: the client the callers reach it through and the Skype user of
// `CallTo` is called with. It is modelled on the Skype client as its automation library offers
// it, one object (`oSkype`) with the client's start and attachment, the conversion object,
// users, calls, settings and three events, and a SIP account offers the same (src/sip).
//
// Values are the library's own numbers (its enumerations are 32-bit), so the program compares
// them exactly as it would against the library: some through the conversion object, some as
// plain numbers. Every operation may fail with a ClientError; a failure that the program does
// not catch ends it through the run-time error message, as any failure of the library would.
//
// The win32 backend binds late to the library's IDispatch: each operation is one Invoke (two
// where the library nests an object, such as Convert or Client), a call or user is a small
// object owning its IDispatch, and the events arrive through the library's connection point on
// the window thread while it pumps messages, which is why a sink never runs inside an
// operation.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavoro::platform {

// A failure reported by the client: the library's HRESULT and its description.
class ClientError : public std::runtime_error {
 public:
  ClientError(std::int32_t code, const std::string& description)
      : std::runtime_error(description), code_(code) {}

  std::int32_t code() const noexcept { return code_; }
  std::string description() const { return what(); }

 private:
  std::int32_t code_;
};

// Results the library reports for a failed attachment or start.
namespace skype_result {
inline constexpr std::int32_t kNotAttached = static_cast<std::int32_t>(0x80040200u);
inline constexpr std::int32_t kWaitTimeout = static_cast<std::int32_t>(0x80040201u);
inline constexpr std::int32_t kConnectionRefused = static_cast<std::int32_t>(0x80040204u);
inline constexpr std::int32_t kNotInstalled = static_cast<std::int32_t>(0x80040207u);
// The library itself cannot be loaded (not installed, not registered, or of the other
// bitness): the runtime's own error for an object it cannot create, in the words a Japanese
// Windows user has seen from other programs and can look up.
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr const char* kCannotCreateObjectText =
    "ActiveX コンポーネントはオブジェクトを作成できません。";
}  // namespace skype_result

// The library's enumerations, as far as anyone here names them.
namespace skype_call_status {
inline constexpr std::int32_t kUnknown = -1;
inline constexpr std::int32_t kUnplaced = 0;
inline constexpr std::int32_t kRouting = 1;
inline constexpr std::int32_t kFailed = 3;
inline constexpr std::int32_t kRinging = 4;
inline constexpr std::int32_t kInProgress = 5;
inline constexpr std::int32_t kFinished = 7;
inline constexpr std::int32_t kMissed = 8;
inline constexpr std::int32_t kRefused = 9;
inline constexpr std::int32_t kBusy = 10;
inline constexpr std::int32_t kCancelled = 11;
}  // namespace skype_call_status

namespace skype_call_type {
inline constexpr std::int32_t kUnknown = -1;
inline constexpr std::int32_t kIncomingPstn = 0;
inline constexpr std::int32_t kOutgoingPstn = 1;
inline constexpr std::int32_t kIncomingP2p = 2;
inline constexpr std::int32_t kOutgoingP2p = 3;
}  // namespace skype_call_type

namespace skype_attachment_status {
inline constexpr std::int32_t kUnknown = -1;
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kPendingAuthorization = 1;
inline constexpr std::int32_t kRefused = 2;
inline constexpr std::int32_t kNotAvailable = 3;
inline constexpr std::int32_t kAvailable = 4;
}  // namespace skype_attachment_status

// One call, incoming or outgoing. Two events about the same call may carry different objects;
// nothing here compares calls.
class RemoteCall {
 public:
  virtual ~RemoteCall() = default;
  virtual std::int32_t Type() = 0;
  // The other party's Skype name or telephone number.
  virtual std::string PartnerHandle() = 0;
  // Both return at once; the status change follows as a CallStatus event.
  virtual void Answer() = 0;
  virtual void Finish() = 0;
};

class RemoteUser {
 public:
  virtual ~RemoteUser() = default;
  virtual std::string Handle() = 0;
};

// What the main window handles. Raised on the window thread only while it pumps messages.
class CallClientEvents {
 public:
  virtual ~CallClientEvents() = default;
  virtual void AttachmentStatus(std::int32_t status) = 0;
  virtual void CallStatus(std::shared_ptr<RemoteCall> call, std::int32_t status) = 0;
  // `code` is the key pressed, one character for a key of the dial pad.
  virtual void CallDtmfReceived(std::shared_ptr<RemoteCall> call, std::string code) = 0;
};

class CallClient {
 public:
  virtual ~CallClient() = default;

  // Connects the handlers (nullptr disconnects). Events raised while none is connected are
  // lost, as they are for an object whose events nobody has advised.
  virtual void SetEventSink(CallClientEvents* sink) = 0;

  // `Client.IsRunning` and `Client.Start`. Start awaits nothing.
  virtual bool ClientIsRunning() = 0;
  virtual void ClientStart(bool minimized, bool nosplash) = 0;

  // With `wait`, returns once attached or fails when the client refuses, is not available or
  // does not answer in time.
  virtual void Attach(std::int32_t protocol, bool wait) = 0;

  // The conversion object (`Convert`).
  virtual std::int32_t TextToAttachmentStatus(std::string_view text) = 0;
  virtual std::int32_t TextToCallStatus(std::string_view text) = 0;
  virtual std::int32_t TextToCallType(std::string_view text) = 0;
  virtual std::string CallStatusToText(std::int32_t status) = 0;

  virtual std::shared_ptr<RemoteUser> User(std::string_view username) = 0;
  virtual std::shared_ptr<RemoteCall> PlaceCall(std::string_view target, std::string_view target2,
                                                std::string_view target3,
                                                std::string_view target4) = 0;

  // `Settings.AudioIn`: the client's audio input device; may be empty.
  virtual std::string SettingsAudioIn() = 0;
};

// Creates `oSkype`. Shared, because the backend that made it (or a test) may keep it too; a
// failure to create it is a ClientError like any other.
using CallClientFactory = std::function<std::shared_ptr<CallClient>()>;

}  // namespace tavoro::platform
