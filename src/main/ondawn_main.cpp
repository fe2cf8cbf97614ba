// Ondawn.exe: the first-run tool. It shows no window of its own; the whole run is the load
// of its form, after which the program ends.

#include <windows.h>

#include <exception>

#include "platform/window_system.h"
#include "setup/frmOndawn.h"
#include "win32/wide_text.h"
#include "win32/win32_registry.h"
#include "win32/win32_runtime.h"
#include "win32/win32_shell.h"
#include "win32/com.h"
#include "win32/win32_version_query.h"

namespace {

// The tool's form unloads itself while it loads, before it could be shown, and has no
// controls: it never needs a window of its own.
class NoWindows final : public tavoro::forms::WindowSystem {
 public:
  void Create(tavoro::forms::Form&) override {}
  void Show(tavoro::forms::Form&, tavoro::forms::ShowMode) override {}
  void Hide(tavoro::forms::Form&) override {}
  void Destroy(tavoro::forms::Form&) override {}
  void Changed(tavoro::forms::Form&, tavoro::forms::Control*, tavoro::forms::Property) override {}
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace tavoro::platform::win32;
  // Made first and left last, so every shortcut object is released inside the apartment.
  const ComApartment apartment;
  try {
    Win32Runtime runtime;
    Win32Registry registry;
    Win32VersionQuery version;
    Win32Shell shell;
    NoWindows windows;
    tavoro::setup::frmOndawn(runtime.runtime(), windows, registry, version, shell).Show();
  } catch (const std::exception& failure) {
    // Nothing the run does throws by design; a failure of the system underneath (no message
    // window) is still told to the user rather than ending the tool without a word.
    ::MessageBoxW(nullptr, AnsiToWide(failure.what()).c_str(),
                  Widen(tavoro::setup::kOndawnTitle).c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    return 1;
  }
  return 0;
}
