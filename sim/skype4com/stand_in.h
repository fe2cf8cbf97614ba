#pragma once
// Inside the stand-in DLL: the module, its type library, the scenario that a test or a demo
// steers through the control channel, the journal of what the program did, and the event
// source behind each Skype object.
//
// The objects are apartment threaded and the control channel's window belongs to the thread
// that made the Skype object, so the scenario, the journal and the event sources are used from
// one thread and take no lock; only the type library, loaded once for the module, has one.

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skype4com.h"
#include "win32/wide_text.h"

namespace tavoro::sim::skype4com {

// ---- The module ----------------------------------------------------------------------------

HINSTANCE Module();
std::wstring ModulePath();
// Objects alive and server locks, for DllCanUnloadNow.
void ObjectCreated();
void ObjectDestroyed();
void LockServer(bool lock);
bool CanUnload();

// The description of one interface or class from the type library inside the DLL.
HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** info);

// ---- Text ----------------------------------------------------------------------------------

// UTF-8 inside, UTF-16 at COM's boundary, through the program's own conversions.
inline std::string Utf8(std::wstring_view text) {
  return platform::win32::Narrow(text);
}
inline std::wstring Wide(std::string_view utf8) {
  return platform::win32::Widen(utf8);
}
// A new BSTR the caller owns; text in a BSTR may be null, which means "".
BSTR NewBstr(std::wstring_view text);
std::wstring FromBstr(BSTR text);

// ---- Failures as the library reports them --------------------------------------------------

// Sets the thread's error info (what Invoke turns into EXCEPINFO) and returns `code`.
HRESULT ReportError(REFGUID interface_id, HRESULT code, std::wstring_view description);

// The library's codes and texts.
inline constexpr HRESULT kNotAttached = static_cast<HRESULT>(0x80040200);
inline constexpr HRESULT kWaitTimeout = static_cast<HRESULT>(0x80040201);
inline constexpr HRESULT kConnectionRefused = static_cast<HRESULT>(0x80040204);
inline constexpr HRESULT kNotInstalled = static_cast<HRESULT>(0x80040207);

// ---- The journal ---------------------------------------------------------------------------

// One line of the journal named by TAVORO_SKYPE_JOURNAL:
//   <tick ms> TAB <operation> [TAB <key>=<value>]...
// appended and closed per line, so that another process can read it while this one runs.
class JournalLine {
 public:
  explicit JournalLine(std::string_view operation);
  JournalLine& Add(std::string_view key, std::string_view value);
  JournalLine& Add(std::string_view key, std::wstring_view value);
  JournalLine& Add(std::string_view key, long long value);
  JournalLine& Flag(std::string_view key, bool value);
  void Write();

 private:
  std::string line_;
};

// ---- The scenario --------------------------------------------------------------------------

enum class AttachOutcome { Succeed, Refuse, NotAvailable, NoAnswer, Pending, Delay };

struct PlannedAttach {
  AttachOutcome outcome;
  DWORD delay_ms = 0;
};

enum class StartEffect { BringUp, Nothing, NotInstalled };

// How events carry their arguments: by value as the library sends them, or by reference
// (VT_BYREF) or inside by-reference VARIANTs, as other event sources do.
enum class ArgumentForm { Value, Reference, VariantReference };

struct InjectedFailure {
  HRESULT code;
  std::wstring description;
};

// What the client program and its user do, shared by every Skype object of the process.
struct Scenario {
  bool client_running = true;
  // When a started client comes up (tick count).
  std::optional<ULONGLONG> client_up_at;
  StartEffect start_effect = StartEffect::BringUp;
  DWORD start_delay_ms = 0;
  // One per attempt, in order; when none is left an attempt succeeds while the client runs.
  std::deque<PlannedAttach> attaches;
  // The user's answer to a pending authorization, once given.
  std::optional<bool> authorization;
  // The library's Timeout: how long an unanswered attachment blocks.
  DWORD timeout_ms = 30000;
  std::wstring audio_in;
  // The statuses an outgoing call goes through by itself after PlaceCall.
  std::vector<long> after_placing{clsRouting, clsRinging};
  // How long after the act the statuses of Answer, Finish and PlaceCall follow.
  DWORD follow_up_delay_ms = 0;
  ArgumentForm event_arguments = ArgumentForm::Value;
  // By journal operation name ("attach", "placecall", ...).
  std::map<std::string, InjectedFailure, std::less<>> failures;

  // Brings a started client up once its time has come.
  bool IsClientRunning();
};

Scenario& TheScenario();
// Back to the defaults; TAVORO_SKYPE_SETUP is not applied again.
void ResetScenario();
// The failure injected for `operation`, reported as the library would, or S_OK.
HRESULT InjectedFailureFor(std::string_view operation, REFGUID interface_id);

// ---- Calls and the event source ------------------------------------------------------------

struct CallRecord {
  long id;
  TCallType type;
  std::wstring partner;
  // The status of the last event raised for the call.
  TCallStatus status = clsUnplaced;

  bool Incoming() const { return type == cltIncomingP2P || type == cltIncomingPSTN; }
  bool Outgoing() const { return type == cltOutgoingP2P || type == cltOutgoingPSTN; }
  bool Ended() const;
};

class SkypeCore;

// A new call object over `call`; several objects may show the same call, as with the library.
HRESULT NewCallObject(std::weak_ptr<SkypeCore> core, std::shared_ptr<CallRecord> call,
                      ICall** object);

// What stands behind one Skype object: its connections, its attachment status, its calls, and
// a hidden message-only window on the object's thread that raises the events (always from
// a posted message or a timer, never inside an operation) and takes the control channel's
// commands.
class SkypeCore : public std::enable_shared_from_this<SkypeCore> {
 public:
  SkypeCore();
  ~SkypeCore();
  SkypeCore(const SkypeCore&) = delete;
  SkypeCore& operator=(const SkypeCore&) = delete;

  // Every live core of the process, oldest first.
  static const std::vector<SkypeCore*>& All();

  // nullptr when the window could not be made; creation_error() tells why.
  HWND window() const { return window_; }
  DWORD creation_error() const { return creation_error_; }

  HRESULT Advise(IUnknown* sink, DWORD* cookie);
  HRESULT Unadvise(DWORD cookie);

  // The status the AttachmentStatus property reads changes at once; the event follows after
  // `delay_ms` and is raised only if it differs from the last one raised.
  TAttachmentStatus attachment_status() const { return attachment_status_; }
  void ChangeAttachmentStatus(TAttachmentStatus status, DWORD delay_ms = 0);

  std::shared_ptr<CallRecord> NewCall(TCallType type, std::wstring partner);
  // The call with `id`, or the newest (the newest outgoing one that has not ended, if asked).
  std::shared_ptr<CallRecord> FindCall(std::optional<long> id, bool open_outgoing_only) const;
  void ChangeCallStatus(std::shared_ptr<CallRecord> call, TCallStatus status, DWORD delay_ms);
  void SendDtmf(std::shared_ptr<CallRecord> call, std::wstring code, DWORD delay_ms);

  // Blocks for at most `milliseconds`, or until `done` holds, taking meanwhile only the
  // messages sent to this thread (the control channel's commands). Posted messages, the
  // events among them, wait for the caller's own message loop, as the library's blocking
  // calls leave them.
  bool WaitTakingSentMessages(DWORD milliseconds, const std::function<bool()>& done);

 private:
  struct PendingEvent {
    DISPID dispid;
    long number;  // the status
    std::shared_ptr<CallRecord> call;
    std::wstring code;
  };

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Schedule(PendingEvent event, DWORD delay_ms);
  void Arm();
  void Drain();
  void Raise(const PendingEvent& event);

  HWND window_ = nullptr;
  DWORD creation_error_ = ERROR_SUCCESS;
  std::vector<std::pair<DWORD, IDispatch*>> sinks_;
  DWORD next_cookie_ = 1;
  TAttachmentStatus attachment_status_ = apiAttachUnknown;
  TAttachmentStatus reported_status_ = apiAttachUnknown;
  std::vector<std::shared_ptr<CallRecord>> calls_;
  // Due tick → event; equal ticks keep the order they were scheduled in.
  std::multimap<ULONGLONG, PendingEvent> queue_;
  bool drain_posted_ = false;
};

// ---- The control channel -------------------------------------------------------------------

// Runs one command line (see control_channel.cpp) for `core`, or before any object exists for
// nullptr; the result is one of skype_control.h's codes.
LRESULT ExecuteCommand(SkypeCore* core, std::string_view line);
// Runs TAVORO_SKYPE_SETUP once per process, before the first object exists.
void ApplySetupOnce();

}  // namespace tavoro::sim::skype4com
