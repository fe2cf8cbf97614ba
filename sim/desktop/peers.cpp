#include "desktop/peers.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "skype4com/skype_control.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {

namespace control = sim::skype4com::control;
using platform::win32::Widen;

fs::path SimFolder() {
  return Environment(L"TAVORO_E2E_SIM");
}

namespace {

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

// GetProcAddress's type says nothing of the export's; going through void(*)() says the cast
// is meant (a direct one fails -Wcast-function-type where FARPROC returns a 64-bit value).
ServerEntry FindEntry(HMODULE library, const char* name) {
  return reinterpret_cast<ServerEntry>(
      reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

}  // namespace

SkypeLibrary::SkypeLibrary(const std::string& setup, const fs::path& journal) : journal_(journal) {
  fs::remove(journal_);
  // The programs started from now on inherit the state and the journal.
  ::SetEnvironmentVariableW(L"TAVORO_SKYPE_SETUP", Widen(setup).c_str());
  ::SetEnvironmentVariableW(L"TAVORO_SKYPE_JOURNAL", journal_.c_str());
  library_ = ::LoadLibraryW((SimFolder() / L"skype4com" / L"skype4com.dll").c_str());
  if (library_ == nullptr)
    return;
  const ServerEntry do_register = FindEntry(library_, "DllRegisterServer");
  registered_ = do_register != nullptr && do_register() == S_OK;
}

SkypeLibrary::~SkypeLibrary() {
  if (library_ == nullptr)
    return;
  if (registered_) {
    if (const ServerEntry unregister = FindEntry(library_, "DllUnregisterServer"))
      unregister();
  }
  ::FreeLibrary(library_);
  ::SetEnvironmentVariableW(L"TAVORO_SKYPE_SETUP", nullptr);
  ::SetEnvironmentVariableW(L"TAVORO_SKYPE_JOURNAL", nullptr);
}

bool SkypeLibrary::Command(DWORD program, std::string_view command) {
  const HWND window = control::FindStandIn(program);
  return window != nullptr && control::SendCommand(window, command) == control::kDone;
}

bool SkypeLibrary::WaitForObject(DWORD program, milliseconds limit) {
  return WaitUntil([&] { return control::FindStandIn(program) != nullptr; }, limit);
}

std::vector<SkypeLibrary::Line> SkypeLibrary::Journal() const {
  std::vector<Line> lines;
  std::ifstream in(journal_, std::ios::binary);
  for (std::string text; std::getline(in, text);) {
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    std::istringstream fields(text);
    Line line;
    std::string field;
    if (!std::getline(fields, field, '\t'))
      continue;
    line.ms = std::stoull(field);
    std::getline(fields, line.operation, '\t');
    while (std::getline(fields, field, '\t')) {
      const auto equals = field.find('=');
      line.fields[field.substr(0, equals)] =
          equals == std::string::npos ? "" : field.substr(equals + 1);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<SkypeLibrary::Line> SkypeLibrary::Journal(std::string_view operation) const {
  std::vector<Line> lines = Journal();
  std::erase_if(lines, [&](const Line& line) { return line.operation != operation; });
  return lines;
}

namespace {

fs::path XLiteExe() {
  return SimFolder() / L"xlite" / L"xlite.exe";
}

// The log path for the softphone started next (it reads it from its environment).
const fs::path& Announce(const fs::path& log) {
  fs::remove(log);
  ::SetEnvironmentVariableW(L"TAVORO_XLITE_LOG", log.c_str());
  return log;
}

}  // namespace

XLite::XLite(const fs::path& log) : log_(Announce(log)), program_(XLiteExe()) {
  if (program_.running())
    window_ = WaitForWindow(program_.id(), nullptr, std::wstring(L"X-Lite"), milliseconds(10000));
  WaitForLine("started", milliseconds(5000));
}

XLite::~XLite() {
  Close();
}

bool XLite::running() const {
  return program_.running() && !program_.Ended() && window_ != nullptr;
}

bool XLite::Control(const wchar_t* command) const {
  Program sent(XLiteExe(), command);
  return sent.WaitForEnd(milliseconds(10000)) && sent.ExitCode() == 0;
}

bool XLite::Ring() const {
  return Control(L"/ring");
}

bool XLite::Stop() const {
  return Control(L"/stop");
}

void XLite::Close() {
  if (window_ != nullptr && ::IsWindow(window_))
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
  window_ = nullptr;
  if (!program_.WaitForEnd(milliseconds(5000)))
    program_.Kill();
}

std::vector<std::string> XLite::Lines() const {
  std::vector<std::string> lines;
  std::ifstream in(log_, std::ios::binary);
  for (std::string text; std::getline(in, text);) {
    const auto space = text.find(' ');
    if (space != std::string::npos)
      lines.push_back(text.substr(space + 1));
  }
  return lines;
}

std::vector<std::string> XLite::Keys() const {
  std::vector<std::string> keys;
  for (const std::string& line : Lines()) {
    if (line.starts_with("key "))
      keys.push_back(line.substr(4));
  }
  return keys;
}

std::string XLite::DigitKey(char digit) {
  return std::string("VK_3") + digit + " " + digit;
}

std::vector<std::string> XLite::KeysToTakeAndDial(std::string_view number) {
  std::vector<std::string> keys = {kHangUpKey, kCallKey};
  for (const char digit : number)
    keys.push_back(DigitKey(digit));
  keys.push_back(kCallKey);
  return keys;
}

bool XLite::WaitForLine(std::string_view line, milliseconds limit, std::ptrdiff_t count) const {
  return WaitUntil([&] { return std::ranges::count(Lines(), line) >= count; }, limit);
}

}  // namespace tavoro::e2e
