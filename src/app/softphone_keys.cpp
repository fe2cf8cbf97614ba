#include "app/softphone_keys.h"

#include <algorithm>
#include <array>

#include "platform/ascii.h"

namespace tavoro::app {
namespace {

using platform::IsAsciiLetter;
using platform::SoftphoneKey;

constexpr std::string_view kEnterName = "{ENTER}";
constexpr char32_t kReplacement = 0xFFFD;

// The lead bytes of multi-byte UTF-8 sequences: how many bytes follow, and the smallest value
// such a sequence may carry (anything smaller is an overlong form).
struct LeadByte {
  unsigned char mask;
  unsigned char pattern;
  std::size_t following;
  char32_t smallest;
};
constexpr std::array<LeadByte, 3> kLeadBytes{{
    {0xE0, 0xC0, 1, 0x80},
    {0xF0, 0xE0, 2, 0x800},
    {0xF8, 0xF0, 3, 0x10000},
}};

// Decodes the character starting at `text[at]` and moves `at` past it.
char32_t NextCharacter(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80)
    return lead;
  const auto form = std::find_if(kLeadBytes.begin(), kLeadBytes.end(), [lead](const LeadByte& b) {
    return (lead & b.mask) == b.pattern;
  });
  if (form == kLeadBytes.end() || text.size() - at < form->following)
    return kReplacement;
  char32_t value = lead & static_cast<unsigned char>(~form->mask);
  for (std::size_t i = 0; i < form->following; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80)
      return kReplacement;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < form->smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return kReplacement;
  at += form->following;
  return value;
}

}  // namespace

std::vector<SoftphoneKey> ParseSoftphoneKeys(std::string_view keys) {
  std::vector<SoftphoneKey> parsed;
  std::size_t at = 0;
  while (at < keys.size()) {
    if (keys.substr(at).starts_with(kEnterName)) {
      parsed.push_back({SoftphoneKey::Kind::Enter, 0, false});
      at += kEnterName.size();
    } else if (keys[at] == '^' && at + 1 < keys.size() && IsAsciiLetter(keys[at + 1])) {
      parsed.push_back({SoftphoneKey::Kind::Character, static_cast<char32_t>(keys[at + 1]), true});
      at += 2;
    } else {
      parsed.push_back({SoftphoneKey::Kind::Character, NextCharacter(keys, at), false});
    }
  }
  return parsed;
}

}  // namespace tavoro::app
