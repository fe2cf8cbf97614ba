#pragma once
// The main window, or the call bridge alone with a recording display, on the headless platform
// with every peer they talk to, scripted on the virtual clock. The ring-detection benchmark
// drives the same machine.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/call_bridge.h"
#include "app/frmMain.h"
#include "audio/SoundMeter.h"
#include "headless/fixed_version_query.h"
#include "headless/headless_runtime.h"
#include "headless/headless_wave_in.h"
#include "headless/headless_window_system.h"
#include "headless/host_profile_file.h"
#include "headless/memory_credential_store.h"
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
using Boxes = std::vector<platform::headless::ShownMessageBox>;
using Keys = std::vector<std::string>;
using Times = std::vector<std::uint64_t>;

// Runs of (count, level) readings, one after another.
inline std::vector<int> Levels(std::initializer_list<std::pair<int, int>> runs) {
  std::vector<int> levels;
  for (const auto& [count, level] : runs)
    levels.insert(levels.end(), count, level);
  return levels;
}

// When each key string was typed into `window`.
inline std::vector<std::uint64_t> KeyTimes(
    const platform::headless::RecordingSoftphoneWindow& softphone, platform::WindowHandle window) {
  std::vector<std::uint64_t> times;
  for (const auto& key : softphone.typed(window))
    times.push_back(key.at_ms);
  return times;
}

// What the bridge last showed.
struct RecordingDisplay final : BridgeDisplay {
  void ShowSkypeState(std::string_view text) override { skype_state = text; }
  void ShowCaller(std::string_view handle) override { caller = handle; }
  void ShowKeypadCodes(std::string_view codes) override {
    keypad_codes = codes;
    keypad_history.emplace_back(codes);
  }
  std::string KeypadCodes() const override { return keypad_codes; }
  void ShowSoftphoneState(std::string_view text) override { softphone_state = text; }
  void ShowLevel(std::int32_t shown) override { level = shown; }
  void ShowAverage(std::int32_t shown) override { average = shown; }
  void ShowRingHeard(bool heard) override { ring_heard = heard; }

  std::string skype_state, caller, keypad_codes, softphone_state;
  std::vector<std::string> keypad_history;  // every text the codes box was given
  std::optional<std::int32_t> level, average;
  bool ring_heard = false;
};

class Bridge {
 public:
  // 10 ms of capture, the cadence of Timer1.
  static constexpr std::uint64_t kSamplesPerTick = 441;

  explicit Bridge(const char* settings =
                      "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\nAcceptFrom-2=bob\r\n") {
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
    call.reset();
    meter.CloseMeter();
    fs::remove_all(drives_);
  }

  // Creates the main window and shows it, running the start-up; true when the program ended.
  bool Start() {
    if (!main)
      Create();
    return Ends([&] { main->Show(); });
  }
  void Create() {
    MainWindowPeers peers{ini,       auto_start, credentials, [this] { return skype; },
                          softphone, meter,      help,        shell};
    // The scripted client speaks for either remote side.
    peers.create_sip = [this] {
      ++sip_clients_made;
      return skype;
    };
    main = std::make_unique<frmMain>(headless.runtime(), windows, std::move(peers));
  }

  // The call bridge alone, brought up as start-up does; true when the program ended meanwhile.
  bool Listen() {
    call = std::make_unique<CallBridge>(headless.runtime(),
                                        CallBridgePeers{[this] { return skype; }, softphone, meter},
                                        call_settings, display);
    return Ends([&] {
      call->CreateClient();
      call->TryAttach();
      call->SoftphoneRuns();
      call->ListenTo(call->GetSkypeAudioDevice());
      call->RestartRingDetection();
    });
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

  // The settings file beside the program, C:\App\setting.ini.
  int sip_clients_made = 0;

  void WriteSettings(std::string_view text) {
    std::ofstream(drives_ / "c" / "App" / "setting.ini", std::ios::binary) << text;
  }
  std::string SettingsText() const {
    std::ifstream in(drives_ / "c" / "App" / "setting.ini", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::uint64_t Now() { return headless.clock.Milliseconds(); }
  // Lets the program idle; true when it ended meanwhile.
  bool RunFor(std::uint64_t ms) {
    return Ends([&] { headless.loop.RunFor(ms); });
  }
  bool RunUntil(std::uint64_t at_ms) { return RunFor(at_ms > Now() ? at_ms - Now() : 0); }

  // `caller` rings at `at` and keys each character of `codes`, `gap` ms apart from `at` + 2 s.
  std::shared_ptr<platform::headless::ScriptedCall> Rings(std::uint64_t at, std::string caller,
                                                          std::string_view codes = "",
                                                          std::uint64_t gap = 100) {
    auto call = skype->RingAt(at, std::move(caller));
    for (std::size_t i = 0; i < codes.size(); ++i)
      skype->SendDtmfAt(at + 2000 + gap * i, call, std::string(1, codes[i]));
    return call;
  }
  std::vector<std::string> Keys() const { return softphone.KeysTypedInto(xlite); }
  std::vector<std::uint64_t> KeyTimes() const { return testing::KeyTimes(softphone, xlite); }
  bool Listening() const { return main ? main->bridge().listening() : call->listening(); }

  // From now on Timer1's k-th tick (k = 1, 2, ...) reads levels[k - 1] (the meter's peak plus
  // the offset); silence afterwards. Meant to be called at the moment Timer1 was enabled, so
  // the 10 ms slots line up with its ticks: each read analyses the capture of the tick before.
  void PlayLevels(std::vector<int> levels) {
    wave_in.Play(device, [levels = std::move(levels)](std::uint64_t index) {
      const std::uint64_t slot = index / kSamplesPerTick;
      const int peak = slot < levels.size() ? levels[slot] - RingStatistics::kLevelOffset : 0;
      return static_cast<std::uint8_t>(128 + std::clamp(peak, 0, 127));
    });
  }

  platform::headless::HeadlessRuntime headless{platform::LocalTime{2026, 12, 6, 12, 0, 0}};
  platform::headless::HeadlessWindowSystem windows;
  fs::path drives_ =
      fs::temp_directory_path() / ("tavoro-bridge-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  platform::headless::HostProfileFile profile{drives_};
  platform::headless::MemoryRegistry registry;
  platform::headless::FixedVersionQuery version;
  settings::modIniEdit ini{profile, "C:\\App"};
  settings::modRegAutoStart auto_start{registry, version, headless.boxes, "C:\\App"};
  platform::headless::MemoryCredentialStore credentials;
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
  // The bridge without a window: what `Listen` brings up.
  settings::CallSettings call_settings{"home.user", {"", "alice", "bob"}, ""};
  RecordingDisplay display;
  std::unique_ptr<CallBridge> call;
};

// A case on the call bridge alone, listening from the start.
class OnTheBridge : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(bridge.Listen()); }
  const RecordingDisplay& shown() const { return bridge.display; }
  const CallFlags& flags() const { return bridge.call->flags(); }
  Bridge bridge;
};

}  // namespace tavoro::app::testing
