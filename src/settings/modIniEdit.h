#pragma once
// The settings file, setting.ini beside the program. Every call reads or writes the file anew;
// nothing is cached, so an edit by hand is seen at the next read.

#include <string>
#include <string_view>

#include "platform/profile.h"

namespace tavoro::settings {

class modIniEdit {
 public:
  // `program_folder` is the folder of the running executable (`App.Path`).
  modIniEdit(platform::ProfileFile& profile, std::string_view program_folder);

  // The value of `key` in `section`, or the empty text when the file, section or key is
  // missing or unreadable. At most 1023 bytes in the file's encoding come back.
  std::string ReadSetting(std::string_view section, std::string_view key) const;

  // Sets `key` in `section`; false when the file could not be written. Settings never stop
  // the program: callers go on either way. The file format has no way to hold a line break in
  // a value, so a value is cut at its first one rather than let the rest become lines of
  // their own.
  bool WriteSetting(std::string_view section, std::string_view key, std::string_view value);

  const std::string& SettingsPath() const { return path_; }

 private:
  platform::ProfileFile& profile_;
  std::string path_;
};

}  // namespace tavoro::settings
