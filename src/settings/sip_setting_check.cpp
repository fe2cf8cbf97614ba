#include "settings/sip_setting_check.h"

#include <algorithm>
#include <charconv>

#include "platform/ascii.h"

namespace tavoro::settings {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Splits at every `separator`, keeping empty pieces.
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(separator, from);
    pieces.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos)
      return pieces;
    from = at + 1;
  }
}

bool IsIpv4(std::string_view text) {
  const auto parts = Split(text, '.');
  return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](std::string_view part) {
           unsigned value = 0;
           const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
           return !part.empty() && part.size() <= 3 && error == std::errc() &&
                  end == part.data() + part.size() && value <= 255;
         });
}

// Eight groups of up to four hex digits, "::" once for a run of zero groups, the last two
// groups also as a dotted IPv4 address.
bool IsIpv6(std::string_view text) {
  const std::size_t gap = text.find("::");
  if (gap != std::string_view::npos && text.find("::", gap + 1) != std::string_view::npos)
    return false;
  std::size_t groups = 0;
  for (std::string_view side :
       {text.substr(0, gap == std::string_view::npos ? text.size() : gap),
        gap == std::string_view::npos ? std::string_view{} : text.substr(gap + 2)}) {
    if (side.empty())
      continue;
    const auto parts = Split(side, ':');
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::string_view part = parts[i];
      if (i + 1 == parts.size() && side.data() + side.size() == text.data() + text.size() &&
          IsIpv4(part)) {
        groups += 2;
      } else if (!part.empty() && part.size() <= 4 &&
                 std::all_of(part.begin(), part.end(), IsHexDigit)) {
        ++groups;
      } else {
        return false;
      }
    }
  }
  return gap == std::string_view::npos ? groups == 8 : groups < 8;
}

bool IsHostName(std::string_view text) {
  if (text.empty() || text.size() > 253)
    return false;
  const auto labels = Split(text, '.');
  // A name of digits and dots alone would be read as an IPv4 address.
  if (std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; }))
    return false;
  return std::all_of(labels.begin(), labels.end(), [](std::string_view label) {
    return !label.empty() && label.size() <= 63 && label.front() != '-' && label.back() != '-' &&
           std::all_of(label.begin(), label.end(),
                       [](char c) { return platform::IsAsciiLetter(c) || IsDigit(c) || c == '-'; });
  });
}

// host[:port], the host a name, an IPv4 address or an IPv6 address in brackets.
bool IsHostPort(std::string_view text) {
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || !IsIpv6(text.substr(1, close - 1)))
      return false;
    host = {};
    port = text.substr(close + 1);
    if (!port.empty() && !port.starts_with(':'))
      return false;
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon);
  }
  if (!port.empty() && !ParsePort(port.substr(1)))
    return false;
  return text.starts_with('[') || IsIpv4(host) || IsHostName(host);
}

// A name the agent writes into a SIP header as it is: no blanks, no characters that end or
// quote a header's part.
bool IsUserPart(std::string_view text) {
  return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 0x7f ||
           std::string_view("<>\";@").find(c) != std::string_view::npos;
  });
}

bool IsAddress(std::string_view text) {
  if (text.size() >= 4 && platform::EqualsIgnoringAsciiCase(text.substr(0, 4), "sip:"))
    text.remove_prefix(4);
  const std::size_t at = text.find('@');
  return at != std::string_view::npos && IsUserPart(text.substr(0, at)) &&
         IsHostPort(text.substr(at + 1));
}

bool Listed(const std::string& device, const std::vector<std::string>& devices) {
  return device.empty() || std::find(devices.begin(), devices.end(), device) != devices.end();
}

}  // namespace

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || !IsDigit(text.front()) || error != std::errc() ||
      end != text.data() + text.size() || value == 0 || value > 65535)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<std::string> SipSettingsProblem(const TypedSipSettings& typed,
                                              const std::vector<std::string>& capture_devices,
                                              const std::vector<std::string>& playback_devices) {
  const SipSettings& sip = typed.sip;
  const bool chosen = sip.service == RemoteService::Sip;
  if (chosen && sip.address.empty())
    return "SIPを使うには、SIPアドレスを入力してください。";
  if (!sip.address.empty() && !IsAddress(sip.address))
    return "SIPアドレスの形が正しくありません。\r\n"
           "「ユーザー名@サーバー名」の形で、空白を入れずに入力してください。";
  if (!sip.registrar.empty() && !IsHostPort(sip.registrar))
    return "登録先（サーバー）の形が正しくありません。\r\n"
           "「サーバー名」か「サーバー名:ポート番号」の形で入力してください。";
  if (!sip.user.empty() && !IsUserPart(sip.user))
    return "ユーザー名には空白や < > \" ; @ を使えません。";
  if (typed.password.find_first_of("\r\n") != std::string::npos)
    return "パスワードに改行は使えません。";
  if (!ParsePort(typed.port))
    return "待ち受けポートには1～65535の数字を入力してください。";
  // Only when SIP is used: a device missing from a Skype set-up stops nothing.
  if (chosen && !Listed(sip.capture_device, capture_devices))
    return "録音デバイス「" + sip.capture_device +
           "」が見つかりません。\r\nつなぎ直すか、別のデバイスを選んでください。";
  if (chosen && !Listed(sip.playback_device, playback_devices))
    return "再生デバイス「" + sip.playback_device +
           "」が見つかりません。\r\nつなぎ直すか、別のデバイスを選んでください。";
  return std::nullopt;
}

}  // namespace tavoro::settings
