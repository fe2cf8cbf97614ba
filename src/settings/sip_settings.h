#pragma once
// The remote side the gateway works with, and the SIP account it uses when that side is SIP.
// The account lives in section [SIP] of setting.ini; its password is kept with the user's
// credentials, never in the file. A file without the section is a Skype set-up, as every file
// written before SIP existed.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/credential_store.h"
#include "settings/modIniEdit.h"

namespace tavoro::settings {

enum class RemoteService { Skype, Sip };

inline constexpr std::string_view kSipSection = "SIP";
// The keys of section [SIP].
inline constexpr std::string_view kServiceKey = "Service";      // "Skype" or "SIP"
inline constexpr std::string_view kAddressKey = "Address";      // "user@domain"
inline constexpr std::string_view kRegistrarKey = "Registrar";  // "host[:port]", or empty
inline constexpr std::string_view kUserKey = "User";  // the name the registrar authenticates
inline constexpr std::string_view kPortKey = "Port";  // the SIP port listened on
inline constexpr std::string_view kCaptureDeviceKey = "CaptureDevice";
inline constexpr std::string_view kPlaybackDeviceKey = "PlaybackDevice";
// The local address the agent binds and offers, for a PC with several networks; empty: the
// system chooses. Set by hand only.
inline constexpr std::string_view kInterfaceKey = "Interface";

// The values of Service as the file holds them.
inline constexpr std::string_view kSkypeServiceName = "Skype";
inline constexpr std::string_view kSipServiceName = "SIP";

inline constexpr std::uint16_t kDefaultSipPort = 5060;

// The credential the SIP password is kept under, beside the PIN.
inline constexpr std::string_view kSipPasswordTarget = "Tavorophone/SIP";

struct SipSettings {
  RemoteService service = RemoteService::Skype;
  std::string address;
  std::string registrar;
  std::string user;
  std::uint16_t port = kDefaultSipPort;
  // Wave device names as the system lists them; empty: the system's default device.
  std::string capture_device;
  std::string playback_device;
  std::string interface_address;

  bool operator==(const SipSettings&) const = default;
};

// The section as the file holds it. A missing or unknown Service is Skype, and a Port that is
// missing or not a port is the default: a file edited by hand never turns the gateway into
// something the user did not choose.
SipSettings ReadSipSettings(const modIniEdit& ini);

// Writes every key the dialog edits; false when the file could not be written. The
// interface address is the user's own and is left as it is.
bool WriteSipSettings(modIniEdit& ini, const SipSettings& sip);

// The kept password; empty when there is none or it cannot be read, which a registrar then
// refuses in words the user can act on.
std::string ReadSipPassword(platform::CredentialStore& store);
// Keeps `password` (empty removes it). kSuccess also when there was nothing to remove.
platform::SystemCode SaveSipPassword(platform::CredentialStore& store, std::string_view password);

// `text` as it reads with `service` chosen: where it names Skype, SIP is named instead. With
// Skype chosen, every text stays exactly as it is.
std::string ServiceText(std::string_view text, RemoteService service);

// What a registration test reports, in the terms the dialog tells the user.
enum class RegistrationOutcome {
  Registered,  // the registrar took the account, or there is no registrar and the port is open
  Refused,     // the registrar refused the name or password (401, 403, 407)
  NoAnswer,    // nothing answered within the wait
  Failed,      // anything else: the port is in use, the registrar is unknown, ...
};

struct RegistrationResult {
  RegistrationOutcome outcome = RegistrationOutcome::Failed;
  // The SIP status the registrar answered with, 0 when none; the stack's words, for the user.
  int sip_status = 0;
  std::string detail;
};

// Registers `sip` with `password` once and reports how it went; blocks for at most about 15 s.
using RegistrationCheck =
    std::function<RegistrationResult(const SipSettings& sip, const std::string& password)>;

}  // namespace tavoro::settings
