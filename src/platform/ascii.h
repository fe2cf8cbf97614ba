#pragma once
// ASCII-only text helpers. The system's profile and registry functions match names without
// regard to letter case; the names the programs use are ASCII, so folding ASCII is enough and
// never alters the bytes of multi-byte characters.

#include <string_view>

namespace tavoro::platform {

// Any character type: a byte of a multi-byte character, or a whole decoded one, is no letter.
constexpr bool IsAsciiLetter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i]))
      return false;
  }
  return true;
}

}  // namespace tavoro::platform
