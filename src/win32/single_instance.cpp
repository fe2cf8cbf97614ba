#include "win32/single_instance.h"

#include <windows.h>

namespace tavoro::platform::win32 {

SingleInstanceGuard::SingleInstanceGuard(const std::wstring& mutex_name) {
  ::SetLastError(ERROR_SUCCESS);
  mutex_ = ::CreateMutexW(nullptr, FALSE, mutex_name.c_str());
  const DWORD error = ::GetLastError();
  // Access is denied when the mutex exists but its holder's rights keep us from opening it,
  // which still means the program runs already.
  another_instance_running_ =
      mutex_ != nullptr ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (mutex_ != nullptr)
    ::CloseHandle(mutex_);
}

std::wstring InstanceMutexName(std::wstring_view module_path) {
  const std::size_t separator = module_path.find_last_of(L"\\/");
  std::wstring file_name(separator == std::wstring_view::npos ? module_path
                                                              : module_path.substr(separator + 1));
  ::CharUpperBuffW(file_name.data(), static_cast<DWORD>(file_name.size()));
  return L"Local\\Tavorophone." + file_name;
}

}  // namespace tavoro::platform::win32
