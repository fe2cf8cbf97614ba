#pragma once
// ASCII-only text helpers. The system's profile and registry functions match names without
// regard to letter case; the names the programs use are ASCII, so folding ASCII is enough and
// never alters the bytes of multi-byte characters.

#include <string_view>

namespace tavoro::platform {

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
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
