#pragma once
// The credential store in memory. Tests read what it keeps directly, and can make writes fail
// as a store that refuses the user would.

#include <map>
#include <string>

#include "platform/credential_store.h"

namespace tavoro::platform::headless {

class MemoryCredentialStore final : public CredentialStore {
 public:
  SystemCode Read(std::string_view target, std::string& secret) override {
    const auto found = secrets.find(std::string(target));
    if (found == secrets.end())
      return kNotFound;
    secret = found->second;
    return kSuccess;
  }
  SystemCode Write(std::string_view target, std::string_view secret) override {
    if (write_failure != kSuccess)
      return write_failure;
    secrets[std::string(target)] = secret;
    return kSuccess;
  }
  SystemCode Remove(std::string_view target) override {
    if (write_failure != kSuccess)
      return write_failure;
    return secrets.erase(std::string(target)) > 0 ? kSuccess : kNotFound;
  }

  std::map<std::string, std::string> secrets;
  SystemCode write_failure = kSuccess;
};

}  // namespace tavoro::platform::headless
