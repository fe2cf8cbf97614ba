// Fuzzes the INI reader and writer with arbitrary file contents. Besides not crashing, a
// rewrite must keep its promise: the key set reads back as written, and every other key reads
// as it did before.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "headless/ini_text.h"
#include "platform/ascii.h"

namespace {

using tavoro::platform::EqualsIgnoringAsciiCase;
using tavoro::platform::headless::FindProfileValue;
using tavoro::platform::headless::SetProfileValue;

// Names the fuzzer picks from: the program's own and a few that collide with them by case.
constexpr std::string_view kSections[] = {"Skype", "skype", "Startup", "Other", ""};
constexpr std::string_view kKeys[] = {"CallTo", "callto", "AcceptFrom-1", "WithWindows", "x"};

// A value the file can hold and give back unchanged: no line break, no space at either end,
// not wrapped in quotes.
std::string StorableValue(std::string_view raw) {
  std::string value;
  for (char c : raw) {
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t' && c != '\v' && c != '\f')
      value += c;
  }
  if (!value.empty() && (value.front() == '"' || value.front() == '\''))
    value.insert(0, "v");
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2)
    return 0;
  const std::size_t section = data[0] % std::size(kSections);
  const std::size_t key = data[1] % std::size(kKeys);
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t split = rest.find('\x01');
  const std::string value = StorableValue(rest.substr(0, std::min<std::size_t>(split, 64)));
  const std::string_view text = split == std::string_view::npos ? rest : rest.substr(split + 1);

  const std::string updated = SetProfileValue(text, kSections[section], kKeys[key], value);
  if (FindProfileValue(updated, kSections[section], kKeys[key]) != value)
    std::abort();

  for (std::string_view other_section : kSections) {
    for (std::string_view other_key : kKeys) {
      if (EqualsIgnoringAsciiCase(other_section, kSections[section]) &&
          EqualsIgnoringAsciiCase(other_key, kKeys[key])) {
        continue;
      }
      if (FindProfileValue(text, other_section, other_key) !=
          FindProfileValue(updated, other_section, other_key)) {
        std::abort();
      }
    }
  }
  return 0;
}
