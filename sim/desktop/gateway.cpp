#include "desktop/gateway.h"

#include <commctrl.h>

#include <fstream>

#include "desktop/tavoro_windows.h"
#include "settings/pin_setting.h"
#include "settings/sip_settings.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {

using platform::win32::Narrow;

std::uint64_t JournalToUnixMilliseconds(std::uint64_t tick_ms) {
  // Taken once: both clocks run at the same rate, so one offset serves the whole run.
  static const std::int64_t offset =
      static_cast<std::int64_t>(UnixMilliseconds()) - static_cast<std::int64_t>(::GetTickCount64());
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(tick_ms) + offset);
}

namespace {

// The program's folder, made anew before the peers start (their journals live in it).
fs::path PrepareFolder(const fs::path& folder, const std::string& settings, std::string& problem) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
  const fs::path bin = Environment(L"TAVORO_E2E_BIN");
  for (const wchar_t* file : {L"Tavoro.exe", L"Tavoro.chm", L"sd.avi"}) {
    std::error_code failed;
    fs::copy_file(bin / file, folder / file, failed);
    if (failed && problem.empty())
      problem = "cannot copy " + Narrow((bin / file).wstring()) + ": " + failed.message();
  }
  std::ofstream(folder / L"setting.ini", std::ios::binary) << settings;
  return folder;
}

// The client's audio input is the device the softphone's ring is heard on.
std::string WithAudioIn(const std::string& setup) {
  const std::wstring monitor = Environment(L"TAVORO_SOUND_MONITOR");
  if (monitor.empty())
    return setup;
  return setup + (setup.empty() ? "" : "; ") + "audioin " + Narrow(monitor);
}

std::string SipSettings(const SipAccountSetup& sip) {
  return "[Skype]\r\nCallTo=peer@127.0.0.1:5080\r\nAcceptFrom-1=" + sip.accepted +
         "\r\n[Startup]\r\nWithWindows=0\r\n[SIP]\r\nService=SIP\r\nAddress=gw@127.0.0.1\r\n"
         "Registrar=" +
         sip.registrar + "\r\nUser=gw\r\nPort=5070\r\nInterface=127.0.0.1\r\nCaptureDevice=" +
         Narrow(Environment(L"TAVORO_SOUND_MONITOR")) + "\r\n";
}

}  // namespace

Gateway::Gateway(const fs::path& folder, const std::string& settings,
                 const std::string& skype_setup)
    : folder_(PrepareFolder(folder, settings, problem_)),
      skype_(std::in_place, WithAudioIn(skype_setup), folder_ / L"skype.log"),
      xlite_(folder_ / L"xlite.log") {
  if (!problem_.empty())
    return;
  if (!skype_->registered())
    problem_ = "the Skype library stand-in could not be registered";
  else if (!xlite_.running())
    problem_ = "the X-Lite stand-in did not start";
}

Gateway::Gateway(const fs::path& folder, const SipAccountSetup& sip)
    : folder_(PrepareFolder(folder, SipSettings(sip), problem_)),
      xlite_(folder_ / L"xlite.log"),
      credentials_(std::in_place) {
  if (!problem_.empty())
    return;
  if (settings::SaveSipPassword(*credentials_, sip.password) != platform::kSuccess ||
      settings::SavePin(*credentials_, sip.pin) != platform::kSuccess)
    problem_ = "the SIP password or the PIN could not be kept";
  else if (!xlite_.running())
    problem_ = "the X-Lite stand-in did not start";
}

Gateway::~Gateway() {
  // The program first: it holds the library and types into the softphone.
  tavoro_.reset();
  if (credentials_) {
    settings::SaveSipPassword(*credentials_, "");
    settings::SavePin(*credentials_, "");
  }
}

bool Gateway::Launch(milliseconds limit) {
  if (!ready())
    return false;
  tavoro_.emplace(folder_ / L"Tavoro.exe");
  if (!tavoro_->running()) {
    problem_ = "Tavoro.exe did not start";
    return false;
  }
  main_ = WaitForWindow(tavoro_->id(), FormClass(L"frmMain").c_str(), std::nullopt, limit);
  return main_ != nullptr;
}

bool Gateway::Start(milliseconds limit) {
  const auto give_up = Clock::now() + limit;
  if (!Launch(limit) && !problem_.empty())
    return false;
  // Settled either way: up and waiting, or stopped by a message or an end.
  auto settled = [&] {
    return Text(frmMain::Text8) == "待機中" || tavoro_->Ended() ||
           !WindowsOf(tavoro_->id(), L"#32770").empty();
  };
  const auto left = std::chrono::duration_cast<milliseconds>(give_up - Clock::now());
  const bool started =
      main_ != nullptr && WaitUntil(settled, left) && Text(frmMain::Text8) == "待機中";
  if (!started) {
    const std::optional<std::string> trouble = Trouble();
    problem_ =
        "start-up did not end: " + trouble.value_or("Text8 reads \"" + Text(frmMain::Text8) + "\"");
    return false;
  }
  if (skype_ && skype_->Journal("attach").empty()) {
    problem_ = "start-up ended without attaching to the Skype client";
    return false;
  }
  return true;
}

bool Gateway::Skype(std::string_view command) const {
  return tavoro_ && SkypeLibrary::Command(tavoro_->id(), command);
}

std::string Gateway::Text(int control) const {
  return main_ == nullptr ? std::string() : TextOf(Control(main_, control));
}

bool Gateway::WaitForText(int control, std::string_view text, milliseconds limit) const {
  return WaitUntil([&] { return Text(control) == text; }, limit);
}

std::string Gateway::WaitCaption() const {
  const HWND wait = tavoro_ ? WaitForWindow(tavoro_->id(), FormClass(L"frmWait").c_str(),
                                            std::nullopt, milliseconds(0))
                            : nullptr;
  return wait == nullptr ? std::string() : TextOf(Control(wait, frmWait::Label1));
}

int Gateway::MeterLevel() const {
  return static_cast<int>(::SendMessageW(Control(main_, frmMain::ProgressBar1), PBM_GETPOS, 0, 0));
}

bool Gateway::WaitForJournal(std::string_view operation, std::size_t count,
                             milliseconds limit) const {
  return skype_ && WaitUntil([&] { return skype_->Journal(operation).size() >= count; }, limit);
}

std::optional<std::string> Gateway::Trouble() {
  if (!tavoro_)
    return "Tavoro.exe was not started";
  if (const auto box = AnswerMessageBox(tavoro_->id(), milliseconds(0)))
    return "it showed [" + box->title + "] " + box->text;
  if (tavoro_->Ended())
    return "it ended with code " + std::to_string(tavoro_->ExitCode());
  return std::nullopt;
}

}  // namespace tavoro::e2e
