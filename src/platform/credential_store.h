#pragma once
// Secrets of the current user, kept by the system rather than in the settings file, so a copy
// of the program's folder never carries them. Targets and secrets are UTF-8 here.

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace tavoro::platform {

// What the system answers for a target it holds nothing under (ERROR_NOT_FOUND).
inline constexpr SystemCode kNotFound = 1168;

class CredentialStore {
 public:
  virtual ~CredentialStore() = default;
  // Reads the secret kept under `target`; kNotFound when there is none.
  virtual SystemCode Read(std::string_view target, std::string& secret) = 0;
  // Keeps `secret` under `target`, replacing what was there.
  virtual SystemCode Write(std::string_view target, std::string_view secret) = 0;
  // Removes what is kept under `target`; kNotFound when nothing was.
  virtual SystemCode Remove(std::string_view target) = 0;
};

// Keeps `secret` under `target`, or removes it when `secret` is empty; kSuccess also when
// there was nothing to remove.
inline SystemCode KeepOrRemove(CredentialStore& store, std::string_view target,
                               std::string_view secret) {
  if (!secret.empty())
    return store.Write(target, secret);
  const SystemCode removed = store.Remove(target);
  return removed == kNotFound ? kSuccess : removed;
}

}  // namespace tavoro::platform
