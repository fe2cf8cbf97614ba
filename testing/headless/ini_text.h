#pragma once
// The Windows private profile (INI) format on plain text, with the behaviour of the system's
// profile functions: names matched without regard to ASCII case, the first matching section
// and key win, values trimmed and stripped of one pair of enclosing quotes, a rewritten key
// kept in its place, a new key appended to its section, a new section appended to the file.
// Every line the change does not touch is kept byte for byte, whatever it holds.

#include <optional>
#include <string>
#include <string_view>

namespace tavoro::platform::headless {

// The value of `key` in `section`; nothing when the section or key is missing or the key's
// line has no equals sign.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// `text` with `key` in `section` set to `value`. New lines end in CR LF.
std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);

}  // namespace tavoro::platform::headless
