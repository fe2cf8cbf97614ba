#pragma once
// The running executable as Windows knows it.

#include <string>
#include <string_view>

#include "platform/process.h"
#include "win32/single_instance.h"

namespace tavoro::platform::win32 {

class Win32Process final : public Process {
 public:
  // Takes the instance mutex at once, so make it once, at start-up, before any window: the
  // answer of PrevInstance is fixed then.
  Win32Process();

  std::string AppPath() override;
  bool PrevInstance() override { return instance_.another_instance_running(); }
  [[noreturn]] void End() override;

 private:
  std::wstring module_path_;
  SingleInstanceGuard instance_;
};

// The full path of the running executable, however long.
std::wstring ModulePath();

// The folder part of `file_path`, without a trailing separator except at a drive root:
// "C:\Apps\Tavoro.exe" gives "C:\Apps", "T:\Tavoro.exe" gives "T:\".
std::wstring FolderOf(std::wstring_view file_path);

}  // namespace tavoro::platform::win32
