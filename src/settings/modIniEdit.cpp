#include "settings/modIniEdit.h"

#include "platform/paths.h"

namespace tavoro::settings {
namespace {

// The system's profile reader fills a 1024-byte buffer, terminating NUL included.
constexpr std::size_t kReadBufferBytes = 1024;

}  // namespace

modIniEdit::modIniEdit(platform::ProfileFile& profile, std::string_view program_folder)
    : profile_(profile), path_(platform::JoinPath(program_folder, "setting.ini")) {}

std::string modIniEdit::ReadSetting(std::string_view section, std::string_view key) const {
  std::string value = profile_.Read(path_, section, key, "", kReadBufferBytes);
  if (const auto nul = value.find('\0'); nul != std::string::npos)
    value.resize(nul);
  return value;
}

bool modIniEdit::WriteSetting(std::string_view section, std::string_view key,
                              std::string_view value) {
  value = value.substr(0, value.find_first_of("\r\n"));
  return profile_.Write(path_, section, key, value);
}

}  // namespace tavoro::settings
