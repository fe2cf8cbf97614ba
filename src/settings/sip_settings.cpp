#include "settings/sip_settings.h"

#include "platform/ascii.h"
#include "settings/sip_setting_check.h"

namespace tavoro::settings {
SipSettings ReadSipSettings(const modIniEdit& ini) {
  auto read = [&ini](std::string_view key) { return ini.ReadSetting(kSipSection, key); };
  SipSettings sip;
  sip.service = platform::EqualsIgnoringAsciiCase(read(kServiceKey), kSipServiceName)
                    ? RemoteService::Sip
                    : RemoteService::Skype;
  sip.address = read(kAddressKey);
  sip.registrar = read(kRegistrarKey);
  sip.user = read(kUserKey);
  sip.port = ParsePort(read(kPortKey)).value_or(kDefaultSipPort);
  sip.capture_device = read(kCaptureDeviceKey);
  sip.playback_device = read(kPlaybackDeviceKey);
  sip.interface_address = read(kInterfaceKey);
  return sip;
}

bool WriteSipSettings(modIniEdit& ini, const SipSettings& sip) {
  auto write = [&ini](std::string_view key, std::string_view value) {
    return ini.WriteSetting(kSipSection, key, value);
  };
  bool written =
      write(kServiceKey, sip.service == RemoteService::Sip ? kSipServiceName : kSkypeServiceName);
  written = write(kAddressKey, sip.address) && written;
  written = write(kRegistrarKey, sip.registrar) && written;
  written = write(kUserKey, sip.user) && written;
  written = write(kPortKey, std::to_string(sip.port)) && written;
  written = write(kCaptureDeviceKey, sip.capture_device) && written;
  written = write(kPlaybackDeviceKey, sip.playback_device) && written;
  return written;
}

std::string ServiceText(std::string_view text, RemoteService service) {
  std::string named(text);
  if (service != RemoteService::Sip)
    return named;
  constexpr std::string_view kSkype = "Skype";
  for (auto at = named.find(kSkype); at != std::string::npos; at = named.find(kSkype, at))
    named.replace(at, kSkype.size(), kSipServiceName);
  return named;
}

std::string ReadSipPassword(platform::CredentialStore& store) {
  std::string password;
  return store.Read(kSipPasswordTarget, password) == platform::kSuccess ? password : "";
}

platform::SystemCode SaveSipPassword(platform::CredentialStore& store, std::string_view password) {
  return platform::KeepOrRemove(store, kSipPasswordTarget, password);
}

}  // namespace tavoro::settings
