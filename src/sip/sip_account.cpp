// The account as the stack takes it: which addresses and names can be given to it, the sound
// devices by the names winwave knows, and the registration check.

#include <winsock2.h>
// After <windows.h>: WIN32_LEAN_AND_MEAN leaves the multimedia declarations out of it.
#include <mmsystem.h>

#include <algorithm>
#include <cstring>

#include "sip/sip_client.h"
#include "sip/sip_stack.h"
#include "win32/wide_text.h"

namespace tavoro::platform::sip {
namespace {

using settings::RegistrationOutcome;
using settings::RegistrationResult;

bool AllOf(std::string_view text, std::string_view punctuation) {
  return std::ranges::all_of(text, [punctuation](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           punctuation.find(c) != std::string_view::npos;
  });
}

// A host, an IPv4 or a bracketed IPv6 address, with or without a port.
bool IsHost(std::string_view host) {
  return !host.empty() && AllOf(host, "-.:[]");
}

// The product name as the program shows it and the settings hold it.
std::string ProgramName(const char* field, std::size_t field_bytes) {
  return win32::AnsiFieldText(std::string_view(field, ::strnlen(field, field_bytes)));
}

template <typename Caps, typename Get>
std::string WinwaveName(const std::string& device, UINT count, Get get) {
  if (device.empty())
    return "";
  for (UINT i = 0; i < count; ++i) {
    Caps caps{};
    if (get(i, &caps, sizeof caps) == MMSYSERR_NOERROR &&
        ProgramName(caps.szPname, sizeof caps.szPname) == device)
      return std::string(caps.szPname, ::strnlen(caps.szPname, sizeof caps.szPname));
  }
  return "";
}

// Whether the UDP port can be listened on, as the agent would.
bool PortIsFree(const SipAccount& account) {
  WSADATA wsa;
  if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
    return false;
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = account.interface_address.empty()
                           ? htonl(INADDR_ANY)
                           : ::inet_addr(account.interface_address.c_str());
  at.sin_port = htons(account.port);
  const bool free = ::bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
  ::closesocket(s);
  ::WSACleanup();
  return free;
}

RegistrationResult ResultOf(const RegistrationAnswer& answer) {
  RegistrationResult result;
  result.sip_status = answer.status;
  result.detail = answer.text;
  if (!answer.answered)
    result.outcome = RegistrationOutcome::NoAnswer;
  else if (answer.registered)
    result.outcome = RegistrationOutcome::Registered;
  else if (answer.status == 401 || answer.status == 403 || answer.status == 407)
    result.outcome = RegistrationOutcome::Refused;
  else
    result.outcome = RegistrationOutcome::Failed;
  return result;
}

}  // namespace

std::string AccountProblem(const SipAccount& account) {
  std::string_view address = account.address;
  if (address.rfind("sip:", 0) == 0)
    address.remove_prefix(4);
  const auto at = address.find('@');
  // The user part's own characters, without those that would start parameters or headers.
  if (at == std::string_view::npos || at == 0 ||
      !AllOf(address.substr(0, at), "-_.!~*'()&=+$,/%") || !IsHost(address.substr(at + 1)))
    return "the SIP address \"" + account.address + "\" is not of the form user@domain";
  if (!account.registrar.empty() && !IsHost(account.registrar))
    return "the registrar \"" + account.registrar + "\" is not of the form host[:port]";
  // The name is quoted in the answer to the registrar's challenge.
  const bool quotable = std::ranges::none_of(account.user, [](char c) {
    return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
  if (!quotable)
    return "the user name holds a quotation mark, a backslash or a control character";
  return "";
}

std::string WinwaveCaptureName(const std::string& device) {
  return WinwaveName<WAVEINCAPSA>(device, ::waveInGetNumDevs(), &::waveInGetDevCapsA);
}

std::string WinwavePlaybackName(const std::string& device) {
  return WinwaveName<WAVEOUTCAPSA>(device, ::waveOutGetNumDevs(), &::waveOutGetDevCapsA);
}

std::string DefaultCaptureDevice() {
  WAVEINCAPSA caps{};
  if (::waveInGetNumDevs() == 0 || ::waveInGetDevCapsA(0, &caps, sizeof caps) != MMSYSERR_NOERROR)
    return "";
  return ProgramName(caps.szPname, sizeof caps.szPname);
}

SipAccount AccountFrom(const settings::SipSettings& sip, std::string password) {
  SipAccount account;
  account.address = sip.address;
  account.registrar = sip.registrar;
  account.user = sip.user;
  account.password = std::move(password);
  account.port = sip.port;
  account.interface_address = sip.interface_address;
  account.capture_device = sip.capture_device;
  account.playback_device = sip.playback_device;
  return account;
}

RegistrationResult CheckRegistration(const settings::SipSettings& sip, const std::string& password,
                                     std::chrono::milliseconds limit) {
  const SipAccount account = AccountFrom(sip, password);
  if (const std::string problem = AccountProblem(account); !problem.empty())
    return {RegistrationOutcome::Failed, 0, problem};
  Stack* const running = Stack::Running();
  if (account.registrar.empty()) {
    if (running != nullptr || PortIsFree(account))
      return {RegistrationOutcome::Registered, 0, ""};
    return {RegistrationOutcome::Failed, 0, "port " + std::to_string(account.port) + " is in use"};
  }
  const auto limit_ms = static_cast<DWORD>(limit.count());
  if (running != nullptr)
    return ResultOf(running->Check(account, limit_ms));
  // One stack to a process: with the gateway's own not running, one of its own for the
  // moment, gone again before the answer is given.
  Stack stack(account, false, [](SipEvent) {});
  if (const std::string error = stack.Start(); !error.empty())
    return {RegistrationOutcome::Failed, 0, error};
  return ResultOf(stack.Check(account, limit_ms));
}

}  // namespace tavoro::platform::sip
