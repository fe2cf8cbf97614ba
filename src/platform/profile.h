#pragma once
// The Windows private profile (INI) functions, as the settings file uses them. Text is UTF-8
// here; the win32 backend converts it to and from the system's ANSI code page.

#include <cstddef>
#include <string>
#include <string_view>

namespace tavoro::platform {

class ProfileFile {
 public:
  virtual ~ProfileFile() = default;

  // Value of `key` in `section` of the file at `path`, names matched without regard to case;
  // `fallback` when the file, section or key is missing. At most `capacity - 1` bytes of the
  // stored value come back (the platform's buffer holds a terminating NUL too).
  virtual std::string Read(std::string_view path, std::string_view section, std::string_view key,
                           std::string_view fallback, std::size_t capacity) = 0;

  // Sets `key` in `section`, creating the file, section or key where missing and replacing the
  // old value in place where the key exists. Returns false when the file could not be written.
  virtual bool Write(std::string_view path, std::string_view section, std::string_view key,
                     std::string_view value) = 0;
};

}  // namespace tavoro::platform
