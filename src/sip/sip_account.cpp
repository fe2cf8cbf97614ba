// The account as the stack takes it: which addresses and names can be given to it.

#include <algorithm>

#include "sip/sip_client.h"
#include "sip/sip_stack.h"

namespace tavoro::platform::sip {
namespace {

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

}  // namespace tavoro::platform::sip
