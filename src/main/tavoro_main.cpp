// Tavoro.exe: the gateway. The entry point only wires the real platform to the main window;
// the window's load runs the whole start-up and the program lives as long as the window does.

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "app/frmMain.h"
#include "audio/SoundMeter.h"
#include "product/identity.h"
#include "settings/modIniEdit.h"
#include "settings/modRegAutoStart.h"
#include "settings/sip_settings.h"
#include "sip/sip_client.h"
#include "win32/com.h"
#include "win32/wide_text.h"
#include "win32/win32_credential_store.h"
#include "win32/win32_help_viewer.h"
#include "win32/win32_profile_file.h"
#include "win32/win32_registry.h"
#include "win32/win32_runtime.h"
#include "win32/win32_shell_open.h"
#include "win32/win32_skype_client.h"
#include "win32/win32_softphone_window.h"
#include "win32/win32_sound_devices.h"
#include "win32/win32_version_query.h"
#include "win32/win32_wave_in.h"
#include "win32/win32_window_system.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace tavoro;
  using namespace tavoro::platform::win32;
  // The Skype library is an apartment-threaded server: its events reach this thread while it
  // pumps. Made first and left last, so every COM object is released inside the apartment.
  const ComApartment apartment;
  try {
    Win32Runtime runtime;
    const std::string folder = runtime.process.AppPath();
    Win32ProfileFile profile;
    Win32Registry registry;
    Win32VersionQuery version;
    settings::modIniEdit ini(profile, folder);
    settings::modRegAutoStart auto_start(registry, version, runtime.boxes, folder);
    Win32WaveIn wave_in;
    audio::SoundMeter meter(wave_in);
    Win32SoftphoneWindow softphone;
    Win32HelpViewer help;
    Win32ShellOpen shell;
    Win32WindowSystem windows(instance, runtime.loop);
    Win32CredentialStore credentials;
    Win32SoundDevices sound_devices;

    // The help viewer is owned by the main window, which exists only once the form is made.
    const app::frmMain* main_form = nullptr;
    app::MainWindowPeers peers{
        ini,         auto_start,
        credentials, [&runtime] { return CreateSkype4ComClient(runtime.loop); },
        softphone,   meter,
        help,        shell,
    };
    // The account is read when the client is made, after start-up made sure of the settings.
    peers.create_sip = [&runtime, &ini, &credentials] {
      return platform::sip::CreateSipClient(
          runtime.loop, platform::sip::AccountFrom(settings::ReadSipSettings(ini),
                                                   settings::ReadSipPassword(credentials)));
    };
    peers.sound_devices = &sound_devices;
    peers.check_registration = [](const settings::SipSettings& sip, const std::string& password) {
      return platform::sip::CheckRegistration(sip, password);
    };
    peers.window_handle = [&windows, &main_form] {
      const HWND window = main_form ? windows.WindowOf(*main_form) : nullptr;
      return static_cast<platform::WindowHandle>(reinterpret_cast<std::uintptr_t>(window));
    };
    app::frmMain main(runtime.runtime(), windows, std::move(peers));
    main_form = &main;
    windows.QuitWhenDestroyed(main);
    main.Show();
    runtime.loop.Run();
  } catch (const std::exception& failure) {
    // Every handler of the program reports its own failures; what arrives here is a failure of
    // the system underneath (no window could be made), still told rather than swallowed.
    ::MessageBoxW(nullptr, AnsiToWide(failure.what()).c_str(), Widen(tavoro::kProgramTitle).c_str(),
                  MB_OK | MB_ICONERROR | MB_TASKMODAL);
    return 1;
  }
  return 0;
}
