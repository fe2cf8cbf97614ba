#pragma once
// The user's generic credentials in the system's Credential Manager.

#include "platform/credential_store.h"

namespace tavoro::platform::win32 {

class Win32CredentialStore final : public CredentialStore {
 public:
  SystemCode Read(std::string_view target, std::string& secret) override;
  SystemCode Write(std::string_view target, std::string_view secret) override;
  SystemCode Remove(std::string_view target) override;
};

}  // namespace tavoro::platform::win32
