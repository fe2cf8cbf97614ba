// The control channel: one command line per WM_COPYDATA to a Skype object's hidden window
// (skype_control.h), or a list of them in TAVORO_SKYPE_SETUP, separated by ";" or line feeds,
// run once per process before the first object exists (so that the scenario is in place
// before the program's first operation). Words are separated by spaces; <call> is a call id
// from the journal or "last", and may be left out for the newest call. Statuses and types are
// numbers or the client's names (RINGING, INCOMING_P2P, ...).
//
//   reset                          the defaults below; queued attachments are dropped
//   client running|stopped         whether the client program runs (default running); stopping
//                                  it raises AttachmentStatus 3 where attached or pending
//   start up [<ms>]|none|notinstalled
//                                  what Client.Start does: bring the client up (after <ms>;
//                                  the default, at once), nothing, or fail with 0x80040207
//   attach success|refuse|notavailable|noanswer|pending|delay <ms>
//                                  how the next Attach goes, one per attempt in order; without
//                                  any it succeeds while the client runs and fails with "Not
//                                  attached." otherwise. pending waits for "authorize".
//   attach default                 drops the queued outcomes
//   authorize allow|refuse         the user's answer to a pending attachment
//   timeout <ms>                   how long an unanswered attachment blocks (default 30000)
//   attachment <n>                 raises AttachmentStatus <n> (if it is a change), e.g. 4 when
//                                  a restarted client announces itself
//   ring <handle> [<type>]         a new incoming call (default type 2, INCOMING_P2P) rings:
//                                  CallStatus 4; the journal's control line names its id
//   dtmf <code> [<call>]           CallDtmfReceived with the one-character code
//   status <call> <status>         CallStatus for the call
//   finish [<call>]                the other party hangs up: CallStatus 7
//   answer-outgoing [<call>]       the called user answers: CallStatus 5 (default: the newest
//                                  outgoing call that has not ended)
//   refuse-outgoing [<call>]       the called user refuses: CallStatus 9
//   placecall-script [<status>...] the statuses a placed call goes through by itself
//                                  (default 1 4; none when empty)
//   follow-up-delay <ms>           how long after Answer, Finish and PlaceCall their statuses
//                                  follow (default 0: as soon as the thread pumps messages)
//   audioin [<name>]               Settings.AudioIn, the rest of the line (default: the test
//                                  harness's capture device, TAVORO_SOUND_MONITOR)
//   event-args value|byref|variant how events carry their arguments (default value)
//   fail <operation> <hresult> <description...>
//                                  the operation (its journal name) fails from now on with
//                                  this code and text
//   fail <operation> off           and no longer
//
// Each command is journaled as "control" with its result; one that is not understood changes
// nothing.

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/skype_conversions.h"
#include "skype_control.h"
#include "stand_in.h"

namespace tavoro::sim::skype4com {
namespace {

namespace conversion = tavoro::platform::skype_conversion;
using control::kBadArguments;
using control::kDone;
using control::kNoSuchCall;
using control::kUnknownCommand;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsSpace(line[at]))
      ++at;
    std::size_t end = at;
    while (end < line.size() && !IsSpace(line[end]))
      ++end;
    if (end > at)
      words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

// The line after its first `count` words, trimmed.
std::string_view Rest(std::string_view line, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t word = 0; word < count; ++word) {
    while (at < line.size() && IsSpace(line[at]))
      ++at;
    while (at < line.size() && !IsSpace(line[at]))
      ++at;
  }
  while (at < line.size() && IsSpace(line[at]))
    ++at;
  std::size_t end = line.size();
  while (end > at && IsSpace(line[end - 1]))
    --end;
  return line.substr(at, end - at);
}

// Decimal, or hexadecimal after "0x"; the whole word must be the number.
std::optional<long long> Number(std::string_view word) {
  if (word.empty())
    return std::nullopt;
  const std::string text(word);
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || end != text.c_str() + text.size())
    return std::nullopt;
  return value;
}

std::optional<DWORD> Milliseconds(std::string_view word) {
  const auto value = Number(word);
  if (!value || *value < 0 || *value > 0x7FFFFFFF)
    return std::nullopt;
  return static_cast<DWORD>(*value);
}

std::optional<TCallStatus> CallStatus(std::string_view word) {
  if (const auto value = Number(word))
    return static_cast<TCallStatus>(*value);
  const long status = conversion::TextToCallStatus(word);
  if (status == clsUnknown)
    return std::nullopt;
  return static_cast<TCallStatus>(status);
}

std::optional<TCallType> CallType(std::string_view word) {
  if (const auto value = Number(word))
    return static_cast<TCallType>(*value);
  const long type = conversion::TextToCallType(word);
  if (type == cltUnknown)
    return std::nullopt;
  return static_cast<TCallType>(type);
}

// A call named by id or "last" (nullopt inside: the newest); nullopt for anything else.
std::optional<std::optional<long>> CallId(std::string_view word) {
  if (word == "last")
    return std::optional<long>();
  const auto value = Number(word);
  if (!value || *value <= 0)
    return std::nullopt;
  return std::optional<long>(static_cast<long>(*value));
}

class Command {
 public:
  Command(SkypeCore* core, std::string_view line)
      : core_(core), line_(line), words_(Words(line)), journal_("control") {
    journal_.Add("command", Rest(line, 0));
  }

  LRESULT Run() {
    const LRESULT result = Dispatch();
    journal_.Add("result", control::ResultText(result)).Write();
    return result;
  }

 private:
  std::size_t count() const { return words_.size(); }
  std::string_view word(std::size_t index) const {
    return index < words_.size() ? words_[index] : std::string_view();
  }

  LRESULT Dispatch() {
    const std::string_view name = word(0);
    if (name.empty())
      return kBadArguments;
    Scenario& scenario = TheScenario();
    if (name == "reset") {
      ResetScenario();
      return kDone;
    }
    if (name == "client")
      return Client(scenario);
    if (name == "start")
      return Start(scenario);
    if (name == "attach")
      return Attach(scenario);
    if (name == "authorize")
      return Authorize(scenario);
    if (name == "timeout") {
      const auto ms = Milliseconds(word(1));
      if (count() != 2 || !ms)
        return kBadArguments;
      scenario.timeout_ms = *ms;
      return kDone;
    }
    if (name == "placecall-script") {
      std::vector<long> statuses;
      for (std::size_t i = 1; i < count(); ++i) {
        const auto status = CallStatus(word(i));
        if (!status)
          return kBadArguments;
        statuses.push_back(*status);
      }
      scenario.after_placing = std::move(statuses);
      return kDone;
    }
    if (name == "follow-up-delay") {
      const auto ms = Milliseconds(word(1));
      if (count() != 2 || !ms)
        return kBadArguments;
      scenario.follow_up_delay_ms = *ms;
      return kDone;
    }
    if (name == "audioin") {
      scenario.audio_in = Wide(Rest(line_, 1));
      return kDone;
    }
    if (name == "event-args")
      return EventArguments(scenario);
    if (name == "fail")
      return Fail(scenario);
    if (name == "attachment" || name == "ring" || name == "dtmf" || name == "status" ||
        name == "finish" || name == "answer-outgoing" || name == "refuse-outgoing")
      return core_ == nullptr ? kBadArguments : CallEvent(name);
    return kUnknownCommand;
  }

  LRESULT Client(Scenario& scenario) {
    if (count() != 2 || (word(1) != "running" && word(1) != "stopped"))
      return kBadArguments;
    scenario.client_up_at.reset();
    scenario.client_running = word(1) == "running";
    if (!scenario.client_running) {
      // The library notices that the client's window went away.
      for (SkypeCore* core : SkypeCore::All()) {
        const TAttachmentStatus status = core->attachment_status();
        if (status == apiAttachSuccess || status == apiAttachPendingAuthorization)
          core->ChangeAttachmentStatus(apiAttachNotAvailable);
      }
    }
    return kDone;
  }

  LRESULT Start(Scenario& scenario) {
    if (word(1) == "up" && count() <= 3) {
      const auto ms = count() == 3 ? Milliseconds(word(2)) : std::optional<DWORD>(0);
      if (!ms)
        return kBadArguments;
      scenario.start_effect = StartEffect::BringUp;
      scenario.start_delay_ms = *ms;
      return kDone;
    }
    if (count() == 2 && word(1) == "none") {
      scenario.start_effect = StartEffect::Nothing;
      return kDone;
    }
    if (count() == 2 && word(1) == "notinstalled") {
      scenario.start_effect = StartEffect::NotInstalled;
      return kDone;
    }
    return kBadArguments;
  }

  LRESULT Attach(Scenario& scenario) {
    const std::string_view outcome = word(1);
    if (outcome == "delay") {
      const auto ms = Milliseconds(word(2));
      if (count() != 3 || !ms)
        return kBadArguments;
      scenario.attaches.push_back({AttachOutcome::Delay, *ms});
      return kDone;
    }
    if (count() != 2)
      return kBadArguments;
    if (outcome == "default") {
      scenario.attaches.clear();
      return kDone;
    }
    static constexpr std::pair<std::string_view, AttachOutcome> kOutcomes[] = {
        {"success", AttachOutcome::Succeed},           {"refuse", AttachOutcome::Refuse},
        {"notavailable", AttachOutcome::NotAvailable}, {"noanswer", AttachOutcome::NoAnswer},
        {"pending", AttachOutcome::Pending},
    };
    for (const auto& [text, value] : kOutcomes) {
      if (outcome == text) {
        scenario.attaches.push_back({value, 0});
        return kDone;
      }
    }
    return kBadArguments;
  }

  LRESULT Authorize(Scenario& scenario) {
    if (count() != 2 || (word(1) != "allow" && word(1) != "refuse"))
      return kBadArguments;
    const bool allowed = word(1) == "allow";
    scenario.authorization = allowed;
    // An attachment that did not wait learns the answer as a status change.
    for (SkypeCore* core : SkypeCore::All()) {
      if (core->attachment_status() == apiAttachPendingAuthorization)
        core->ChangeAttachmentStatus(allowed ? apiAttachSuccess : apiAttachRefused);
    }
    return kDone;
  }

  LRESULT EventArguments(Scenario& scenario) {
    if (count() != 2)
      return kBadArguments;
    if (word(1) == "value")
      scenario.event_arguments = ArgumentForm::Value;
    else if (word(1) == "byref")
      scenario.event_arguments = ArgumentForm::Reference;
    else if (word(1) == "variant")
      scenario.event_arguments = ArgumentForm::VariantReference;
    else
      return kBadArguments;
    return kDone;
  }

  LRESULT Fail(Scenario& scenario) {
    if (count() == 3 && word(2) == "off") {
      scenario.failures.erase(std::string(word(1)));
      return kDone;
    }
    // A failure code, written as an HRESULT usually is (0x8...) or as a negative number.
    const auto code = Number(word(2));
    if (count() < 3 || !code || *code < -0x80000000LL || *code > 0xFFFFFFFFLL)
      return kBadArguments;
    const auto result = static_cast<HRESULT>(static_cast<unsigned long>(*code));
    if (SUCCEEDED(result))
      return kBadArguments;
    scenario.failures.insert_or_assign(std::string(word(1)),
                                       InjectedFailure{result, Wide(Rest(line_, 3))});
    return kDone;
  }

  // Events of the scenario are raised as soon as the object's thread pumps messages.
  LRESULT CallEvent(std::string_view name) {
    constexpr DWORD now = 0;
    if (name == "attachment") {
      const auto status = Number(word(1));
      if (count() != 2 || !status)
        return kBadArguments;
      core_->ChangeAttachmentStatus(static_cast<TAttachmentStatus>(*status), now);
      return kDone;
    }
    if (name == "ring") {
      const auto type = count() == 3 ? CallType(word(2)) : std::optional(cltIncomingP2P);
      if (count() < 2 || count() > 3 || !type)
        return kBadArguments;
      const auto call = core_->NewCall(*type, Wide(word(1)));
      journal_.Add("call", call->id);
      core_->ChangeCallStatus(call, clsRinging, now);
      return kDone;
    }
    // The rest name a call: its position and whether only an open outgoing call will do.
    std::size_t call_at = 1;
    bool outgoing = false;
    std::optional<TCallStatus> status;
    if (name == "dtmf") {
      call_at = 2;
      if (count() < 2 || count() > 3)
        return kBadArguments;
    } else if (name == "status") {
      status = CallStatus(word(2));
      if (count() != 3 || !status)
        return kBadArguments;
    } else {
      if (count() > 2)
        return kBadArguments;
      status = name == "finish"            ? clsFinished
               : name == "answer-outgoing" ? clsInProgress
                                           : clsRefused;
      outgoing = name != "finish";
    }
    const auto id =
        count() > call_at ? CallId(word(call_at)) : std::optional(std::optional<long>());
    if (!id)
      return kBadArguments;
    const auto call = core_->FindCall(*id, outgoing && !*id);
    if (!call)
      return kNoSuchCall;
    journal_.Add("call", call->id);
    if (status)
      core_->ChangeCallStatus(call, *status, now);
    else
      core_->SendDtmf(call, Wide(word(1)), now);
    return kDone;
  }

  SkypeCore* core_;
  std::string_view line_;
  std::vector<std::string_view> words_;
  JournalLine journal_;
};

}  // namespace

LRESULT ExecuteCommand(SkypeCore* core, std::string_view line) {
  return Command(core, line).Run();
}

void ApplySetupOnce() {
  static bool applied = false;
  if (applied)
    return;
  applied = true;
  std::wstring setup(4096, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(L"TAVORO_SKYPE_SETUP", setup.data(),
                                                 static_cast<DWORD>(setup.size()));
  if (length == 0 || length >= setup.size())
    return;
  setup.resize(length);
  const std::string commands = Utf8(setup);
  std::size_t at = 0;
  while (at <= commands.size()) {
    std::size_t end = commands.find_first_of(";\n", at);
    if (end == std::string::npos)
      end = commands.size();
    const std::string_view line(commands.data() + at, end - at);
    if (!Words(line).empty())
      ExecuteCommand(nullptr, line);
    at = end + 1;
  }
}

}  // namespace tavoro::sim::skype4com
