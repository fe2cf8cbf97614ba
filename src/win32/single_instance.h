#pragma once
// Whether this program is already running, told by a named mutex: the first instance creates
// it and holds it for its whole life; a later one finds it there. The system removes it when
// the last holder ends, however it ends.

#include <string>
#include <string_view>

namespace tavoro::platform::win32 {

class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const std::wstring& mutex_name);
  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

  // As found when the guard was made.
  bool another_instance_running() const { return another_instance_running_; }

 private:
  void* mutex_ = nullptr;  // HANDLE
  bool another_instance_running_ = false;
};

// The mutex name for the executable at `module_path`. It depends on the file name only, so a
// copy started from another folder counts as the same program, and the name is upper-cased
// because "TAVORO.EXE" and "Tavoro.exe" are one file to Windows. "Local\" keeps it to the
// user's session, where a second instance could be seen.
std::wstring InstanceMutexName(std::wstring_view module_path);

}  // namespace tavoro::platform::win32
