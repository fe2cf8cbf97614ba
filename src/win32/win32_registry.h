#pragma once
// The registry through the W functions, so names and data keep every character whatever the
// system's code page.

#include "platform/registry.h"

namespace tavoro::platform::win32 {

class Win32Registry final : public Registry {
 public:
  SystemCode CreateKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                       std::unique_ptr<RegistryKey>& key) override;
  SystemCode OpenKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                     std::unique_ptr<RegistryKey>& key) override;
  std::string MessageText(SystemCode code) override;
};

}  // namespace tavoro::platform::win32
