#pragma once
// In-memory registry hives for the headless platform. Names match without regard to ASCII
// case, as the system's do. Tests can make a root refuse keys or values with a result code,
// as a per-machine key refuses a user without administrator rights.

#include <map>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace tavoro::platform::headless {

struct StoredValue {
  enum class Type { String, Dword } type = Type::String;
  std::string text;
  std::uint32_t number = 0;
  friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

class MemoryRegistry final : public Registry {
 public:
  SystemCode CreateKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                       std::unique_ptr<RegistryKey>& key) override;
  SystemCode OpenKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                     std::unique_ptr<RegistryKey>& key) override;
  std::string MessageText(SystemCode code) override;

  // Failures to inject: opening or creating any key of `root` fails with `code`; writing any
  // value under `root` fails with `code`. kSuccess clears the failure.
  void FailKeysOf(RegistryRoot root, SystemCode code) { key_failure_[Index(root)] = code; }
  void FailWritesOf(RegistryRoot root, SystemCode code) { write_failure_[Index(root)] = code; }

  // Direct access for tests, bypassing injected failures.
  std::optional<StoredValue> Value(RegistryRoot root, std::string_view path,
                                   std::string_view name) const;
  void SetValue(RegistryRoot root, std::string_view path, std::string_view name, StoredValue value);
  bool KeyExists(RegistryRoot root, std::string_view path) const;
  std::size_t ValueCount(RegistryRoot root, std::string_view path) const;

 private:
  friend class MemoryRegistryKey;
  using Values = std::map<std::string, StoredValue>;  // by folded name
  static int Index(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? 1 : 0; }
  static std::string Fold(std::string_view text);

  std::map<std::string, Values> hives_[2];  // by folded key path
  SystemCode key_failure_[2] = {kSuccess, kSuccess};
  SystemCode write_failure_[2] = {kSuccess, kSuccess};
};

}  // namespace tavoro::platform::headless
