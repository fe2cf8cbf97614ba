#pragma once
// The main window on the headless platform with every peer it talks to: a settings file on
// disk, a scripted Skype client, a desktop with an "X-Lite" window, a capture device and the
// help and shell recorders. Each case scripts the peers on the virtual clock and reads back
// what the program did to them. The ring-detection benchmark drives the same machine.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/frmMain.h"
#include "audio/SoundMeter.h"
#include "headless/fixed_version_query.h"
#include "headless/headless_runtime.h"
#include "headless/headless_wave_in.h"
#include "headless/headless_window_system.h"
#include "headless/host_profile_file.h"
#include "headless/memory_registry.h"
#include "headless/recording_help_viewer.h"
#include "headless/recording_shell_open.h"
#include "headless/recording_softphone_window.h"
#include "headless/scripted_skype_client.h"
#include "settings/modIniEdit.h"
#include "settings/modRegAutoStart.h"

namespace tavoro::app::testing {

namespace fs = std::filesystem;
using platform::headless::ProgramEnded;

inline constexpr const char* kUsualSettings =
    "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\nAcceptFrom-2=bob\r\n";

// The sample value that makes the main window read `level` (the meter's peak + 5).
inline std::uint8_t SampleForLevel(int level) {
  return static_cast<std::uint8_t>(128 + std::clamp(level - 5, 0, 127));
}

class Bridge {
 public:
  // 10 ms of capture, the cadence of Timer1.
  static constexpr std::uint64_t kSamplesPerTick = 441;

  explicit Bridge(const char* settings = kUsualSettings) {
    fs::create_directories(drives_ / "c" / "App");
    if (settings)
      WriteSettings(settings);
    headless.process.SetAppPath("C:\\App");
    skype->SetRunning(true);
    skype->SetAudioIn("Line 1 (Virtual Cable)");
    device = wave_in.AddDevice("Line 1 (Virtual Cable)");
  }
  ~Bridge() {
    main.reset();
    meter.CloseMeter();
    fs::remove_all(drives_);
  }
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  void WriteSettings(const std::string& text) {
    std::ofstream(drives_ / "c" / "App" / "setting.ini", std::ios::binary) << text;
  }

  // Creates the main window and shows it, which runs the start-up. True when the program ended
  // during it.
  bool Start() {
    if (!main)
      Create();
    return Ends([&] { main->Show(); });
  }
  void Create() {
    main = std::make_unique<frmMain>(
        headless.runtime(), windows,
        MainWindowPeers{ini, auto_start, [this] { return skype; }, softphone, meter, help, shell});
  }

  // True when `action` ended the program.
  template <typename Action>
  bool Ends(Action&& action) {
    try {
      action();
      return false;
    } catch (const ProgramEnded&) {
      return true;
    }
  }

  std::uint64_t Now() { return headless.clock.Milliseconds(); }
  // Lets the program idle; true when it ended meanwhile.
  bool RunFor(std::uint64_t ms) {
    return Ends([&] { headless.loop.RunFor(ms); });
  }
  bool RunUntil(std::uint64_t at_ms) { return RunFor(at_ms > Now() ? at_ms - Now() : 0); }

  std::vector<std::string> Keys() const { return softphone.KeysTypedInto(xlite); }
  std::vector<std::uint64_t> KeyTimes() const {
    std::vector<std::uint64_t> times;
    for (const auto& key : softphone.typed(xlite))
      times.push_back(key.at_ms);
    return times;
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : headless.boxes.shown())
      texts.push_back(box.text);
    return texts;
  }

  // From now on Timer1's k-th tick (k = 1, 2, ...) reads levels[k - 1]; silence afterwards.
  // Meant to be called at the moment Timer1 was enabled, so the 10 ms slots line up with its
  // ticks: each read analyses the capture that began at the tick before.
  void PlayLevels(std::vector<int> levels) {
    wave_in.Play(device, [levels = std::move(levels)](std::uint64_t index) {
      const std::uint64_t slot = index / kSamplesPerTick;
      return slot < levels.size() ? SampleForLevel(levels[slot]) : std::uint8_t{128};
    });
  }

  platform::headless::HeadlessRuntime headless{platform::LocalTime{2026, 12, 6, 12, 0, 0}};
  platform::headless::HeadlessWindowSystem windows;

 private:
  fs::path drives_ =
      fs::temp_directory_path() / ("tavoro-bridge-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(reinterpret_cast<std::uintptr_t>(this)));

 public:
  platform::headless::HostProfileFile profile{drives_};
  platform::headless::MemoryRegistry registry;
  platform::headless::FixedVersionQuery version;
  settings::modIniEdit ini{profile, "C:\\App"};
  settings::modRegAutoStart auto_start{registry, version, headless.boxes, "C:\\App"};
  std::shared_ptr<platform::headless::ScriptedSkypeClient> skype =
      std::make_shared<platform::headless::ScriptedSkypeClient>(headless.clock, headless.loop);
  platform::headless::RecordingSoftphoneWindow softphone{headless.clock};
  platform::WindowHandle xlite = softphone.AddWindow("X-Lite");
  platform::headless::HeadlessWaveIn wave_in{headless.clock};
  std::uint32_t device = 0;
  audio::SoundMeter meter{wave_in};
  platform::headless::RecordingHelpViewer help;
  platform::headless::RecordingShellOpen shell;
  std::unique_ptr<frmMain> main;
};

}  // namespace tavoro::app::testing
