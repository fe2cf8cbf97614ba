#include "setup/modUAC.h"

#include <memory>

namespace tavoro::setup {

bool modUAC::IsUacEnabled() {
  std::unique_ptr<platform::RegistryKey> key;
  if (registry_.OpenKey(platform::RegistryRoot::LocalMachine, kUacPolicyKey,
                        platform::RegistryAccess::Read, key) != platform::kSuccess) {
    return false;
  }
  std::uint32_t value = 0;
  return key->QueryDword(kUacPolicyValue, value) == platform::kSuccess && value == 1;
}

void modUAC::ReregisterControls() {
  // Without a regsvr32 to start, the other three commands would fail the same way. A later
  // command that cannot be started is a passing shortage; the next still gets its chance, so
  // a file that was unregistered is at least offered its registration.
  if (!RunCommandAndWait(kRegistrationCommands.front()))
    return;
  for (std::size_t i = 1; i < kRegistrationCommands.size(); ++i)
    RunCommandAndWait(kRegistrationCommands[i]);
}

bool modUAC::RunCommandAndWait(std::string_view command_line) {
  // The wait is for the process's end, not for a window: "regsvr32 /s" shows none, and an
  // unregistration still running would undo the registration that follows it.
  const std::unique_ptr<platform::StartedProcess> process =
      shell_.Start(command_line, platform::WindowShow::MinimizedFocus);
  if (!process)
    return false;
  const std::uint64_t started = clock_.Milliseconds();
  loop_.DoEvents();
  // A hung command must not keep the main program from starting: the steps after this one
  // run all the same.
  while (!process->WaitForEnd(kWaitSliceMs) && clock_.Milliseconds() - started < kCommandLimitMs)
    loop_.DoEvents();
  return true;
}

}  // namespace tavoro::setup
