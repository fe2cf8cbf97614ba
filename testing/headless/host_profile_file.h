#pragma once
// The profile functions of the headless platform. Windows paths name files below a folder of
// the host that stands for the machine's drives: "C:\Tavorophone\setting.ini" is
// <drives>/c/Tavorophone/setting.ini. Text is stored as given (UTF-8), so what is written
// reads back the same.

#include <filesystem>
#include <optional>

#include "platform/profile.h"

namespace tavoro::platform::headless {

class HostProfileFile final : public ProfileFile {
 public:
  explicit HostProfileFile(std::filesystem::path drives) : drives_(std::move(drives)) {}

  std::string Read(std::string_view path, std::string_view section, std::string_view key,
                   std::string_view fallback, std::size_t capacity) override;
  bool Write(std::string_view path, std::string_view section, std::string_view key,
             std::string_view value) override;

  // The host file for a Windows path, or nothing for a path that is not absolute, names no
  // drive or climbs above its drive.
  std::optional<std::filesystem::path> HostPath(std::string_view windows_path) const;

 private:
  std::filesystem::path drives_;
};

}  // namespace tavoro::platform::headless
