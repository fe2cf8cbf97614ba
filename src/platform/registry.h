#pragma once
// The Windows registry, as far as the programs use it, and the system's message texts for its
// result codes. Names and data are UTF-8 here and UTF-16 at the system.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavoro::platform {

// A system result code (ERROR_SUCCESS is 0).
using SystemCode = std::int32_t;
inline constexpr SystemCode kSuccess = 0;
inline constexpr SystemCode kFileNotFound = 2;
inline constexpr SystemCode kAccessDenied = 5;

enum class RegistryRoot { CurrentUser, LocalMachine };

enum class RegistryAccess {
  SetValue,  // write values only
  Read,      // query values only
  All,       // everything, deletion included
};

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;  // closes the key
  // Writes a REG_SZ value; the size given to the system includes the terminating NUL.
  virtual SystemCode SetString(std::string_view name, std::string_view data) = 0;
  virtual SystemCode DeleteValue(std::string_view name) = 0;
  // Reads a REG_SZ or REG_EXPAND_SZ value as stored (no expansion).
  virtual SystemCode QueryString(std::string_view name, std::string& data) = 0;
  virtual SystemCode QueryDword(std::string_view name, std::uint32_t& data) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Creates the key (no class, non-volatile, default security) or opens it where it exists.
  virtual SystemCode CreateKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                               std::unique_ptr<RegistryKey>& key) = 0;
  virtual SystemCode OpenKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                             std::unique_ptr<RegistryKey>& key) = 0;
  // The system's message text for `code` (default language), without a trailing line break.
  virtual std::string MessageText(SystemCode code) = 0;
};

}  // namespace tavoro::platform
