// The scenario shared by the Skype objects of a process, and the journal.

#include <windows.h>

#include <cstdio>
#include <string>

#include "stand_in.h"

namespace tavoro::sim::skype4com {
namespace {

// The capture device the test harness's sound server offers under Wine, which is what the
// client's audio input is in the set-up the gateway expects.
std::wstring DefaultAudioIn() {
  wchar_t name[512] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"TAVORO_SOUND_MONITOR", name, 512);
  if (length > 0 && length < 512)
    return std::wstring(name, length);
  return L"Monitor of Tavoro telephone line loopback";
}

Scenario MakeDefaultScenario() {
  Scenario scenario;
  scenario.audio_in = DefaultAudioIn();
  return scenario;
}

// A Linux path (as a shell script under Wine would pass it) is taken as a path on Z:, where
// Wine shows the Linux root.
std::wstring JournalPath() {
  std::wstring path(1024, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(L"TAVORO_SKYPE_JOURNAL", path.data(),
                                                 static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size())
    return {};
  path.resize(length);
  if (path[0] == L'/') {
    for (wchar_t& c : path)
      c = c == L'/' ? L'\\' : c;
    path.insert(0, L"Z:");
  }
  return path;
}

// Journal fields are separated by tabs and lines by line feeds; a value keeps neither.
std::string Flatten(std::string_view value) {
  std::string result(value);
  for (char& c : result) {
    if (c == '\t' || c == '\r' || c == '\n')
      c = ' ';
  }
  return result;
}

}  // namespace

bool Scenario::IsClientRunning() {
  if (client_up_at && ::GetTickCount64() >= *client_up_at) {
    client_running = true;
    client_up_at.reset();
  }
  return client_running;
}

Scenario& TheScenario() {
  static Scenario scenario = MakeDefaultScenario();
  return scenario;
}

void ResetScenario() {
  TheScenario() = MakeDefaultScenario();
}

HRESULT InjectedFailureFor(std::string_view operation, REFGUID interface_id) {
  const auto& failures = TheScenario().failures;
  const auto found = failures.find(operation);
  if (found == failures.end())
    return S_OK;
  char code[16] = {};
  std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(found->second.code));
  JournalLine("failed").Add("operation", operation).Add("code", std::string_view(code)).Write();
  return ReportError(interface_id, found->second.code, found->second.description);
}

JournalLine::JournalLine(std::string_view operation)
    : line_(std::to_string(::GetTickCount64()) + "\t" + Flatten(operation)) {}

JournalLine& JournalLine::Add(std::string_view key, std::string_view value) {
  line_ += "\t";
  line_ += key;
  line_ += "=";
  line_ += Flatten(value);
  return *this;
}

JournalLine& JournalLine::Add(std::string_view key, std::wstring_view value) {
  return Add(key, std::string_view(Utf8(value)));
}

JournalLine& JournalLine::Add(std::string_view key, long long value) {
  return Add(key, std::string_view(std::to_string(value)));
}

JournalLine& JournalLine::Flag(std::string_view key, bool value) {
  return Add(key, std::string_view(value ? "true" : "false"));
}

void JournalLine::Write() {
  const std::wstring path = JournalPath();
  if (path.empty())
    return;
  const std::string text = line_ + "\n";
  // Append access puts each line at the end whoever else writes; closing at once lets a
  // reader in another process see it at once.
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace tavoro::sim::skype4com
