#include "win32/win32_version_query.h"

#include <windows.h>

namespace tavoro::platform::win32 {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the ANSI version record is 148 bytes");

VersionQueryOutcome Win32VersionQuery::Query(VersionRecord& record) {
  using GetVersionExAFunction = BOOL(WINAPI*)(OSVERSIONINFOA*);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto get_version = kernel ? reinterpret_cast<GetVersionExAFunction>(reinterpret_cast<void*>(
                                        ::GetProcAddress(kernel, "GetVersionExA")))
                                  : nullptr;
  if (!get_version)
    return VersionQueryOutcome::CannotBeMade;

  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = record.record_size;
  const BOOL answered = get_version(&info);
  record.major = info.dwMajorVersion;
  record.minor = info.dwMinorVersion;
  record.build = info.dwBuildNumber;
  record.platform_id = info.dwPlatformId;
  return answered ? VersionQueryOutcome::Answered : VersionQueryOutcome::ReportedFailure;
}

}  // namespace tavoro::platform::win32
