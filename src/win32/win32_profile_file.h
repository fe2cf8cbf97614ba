#pragma once
// The system's private profile functions, ANSI forms: the settings file is kept in the
// system's ANSI code page, as every earlier copy of it on a user's machine is.

#include "platform/profile.h"

namespace tavoro::platform::win32 {

class Win32ProfileFile final : public ProfileFile {
 public:
  std::string Read(std::string_view path, std::string_view section, std::string_view key,
                   std::string_view fallback, std::size_t capacity) override;
  bool Write(std::string_view path, std::string_view section, std::string_view key,
             std::string_view value) override;
};

}  // namespace tavoro::platform::win32
