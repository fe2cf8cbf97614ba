#include "headless/memory_registry.h"

#include "platform/ascii.h"

namespace tavoro::platform::headless {

class MemoryRegistryKey final : public RegistryKey {
 public:
  MemoryRegistryKey(MemoryRegistry& registry, RegistryRoot root, std::string folded_path,
                    RegistryAccess access)
      : registry_(registry), root_(root), path_(std::move(folded_path)), access_(access) {}

  SystemCode SetString(std::string_view name, std::string_view data) override {
    if (access_ == RegistryAccess::Read)
      return kAccessDenied;
    if (const SystemCode failure = registry_.write_failure_[MemoryRegistry::Index(root_)]) {
      return failure;
    }
    Values()[MemoryRegistry::Fold(name)] =
        StoredValue{StoredValue::Type::String, std::string(data)};
    return kSuccess;
  }

  SystemCode DeleteValue(std::string_view name) override {
    if (access_ != RegistryAccess::All)
      return kAccessDenied;
    return Values().erase(MemoryRegistry::Fold(name)) ? kSuccess : kFileNotFound;
  }

  SystemCode QueryString(std::string_view name, std::string& data) override {
    const StoredValue* value = Find(name);
    if (!value)
      return kFileNotFound;
    if (value->type != StoredValue::Type::String)
      return kInvalidData;
    data = value->text;
    return kSuccess;
  }

  SystemCode QueryDword(std::string_view name, std::uint32_t& data) override {
    const StoredValue* value = Find(name);
    if (!value)
      return kFileNotFound;
    if (value->type != StoredValue::Type::Dword)
      return kInvalidData;
    data = value->number;
    return kSuccess;
  }

 private:
  static constexpr SystemCode kInvalidData = 13;

  MemoryRegistry::Values& Values() { return registry_.hives_[MemoryRegistry::Index(root_)][path_]; }
  const StoredValue* Find(std::string_view name) {
    if (access_ == RegistryAccess::SetValue)
      return nullptr;
    const auto& values = Values();
    const auto found = values.find(MemoryRegistry::Fold(name));
    return found == values.end() ? nullptr : &found->second;
  }

  MemoryRegistry& registry_;
  RegistryRoot root_;
  std::string path_;
  RegistryAccess access_;
};

std::string MemoryRegistry::Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    c = AsciiLower(c);
  return folded;
}

SystemCode MemoryRegistry::CreateKey(RegistryRoot root, std::string_view path,
                                     RegistryAccess access, std::unique_ptr<RegistryKey>& key) {
  if (const SystemCode failure = key_failure_[Index(root)])
    return failure;
  std::string folded = Fold(path);
  hives_[Index(root)][folded];
  key = std::make_unique<MemoryRegistryKey>(*this, root, std::move(folded), access);
  return kSuccess;
}

SystemCode MemoryRegistry::OpenKey(RegistryRoot root, std::string_view path, RegistryAccess access,
                                   std::unique_ptr<RegistryKey>& key) {
  if (const SystemCode failure = key_failure_[Index(root)])
    return failure;
  std::string folded = Fold(path);
  if (!hives_[Index(root)].contains(folded))
    return kFileNotFound;
  key = std::make_unique<MemoryRegistryKey>(*this, root, std::move(folded), access);
  return kSuccess;
}

std::string MemoryRegistry::MessageText(SystemCode code) {
  switch (code) {
    case kFileNotFound:
      return "指定されたファイルが見つかりません。";
    case kAccessDenied:
      return "アクセスが拒否されました。";
    default:
      return "システム エラー " + std::to_string(code);
  }
}

std::optional<StoredValue> MemoryRegistry::Value(RegistryRoot root, std::string_view path,
                                                 std::string_view name) const {
  const auto& hive = hives_[Index(root)];
  const auto key = hive.find(Fold(path));
  if (key == hive.end())
    return std::nullopt;
  const auto value = key->second.find(Fold(name));
  if (value == key->second.end())
    return std::nullopt;
  return value->second;
}

void MemoryRegistry::SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                              StoredValue value) {
  hives_[Index(root)][Fold(path)][Fold(name)] = std::move(value);
}

bool MemoryRegistry::KeyExists(RegistryRoot root, std::string_view path) const {
  return hives_[Index(root)].contains(Fold(path));
}

std::size_t MemoryRegistry::ValueCount(RegistryRoot root, std::string_view path) const {
  const auto& hive = hives_[Index(root)];
  const auto key = hive.find(Fold(path));
  return key == hive.end() ? 0 : key->second.size();
}

}  // namespace tavoro::platform::headless
