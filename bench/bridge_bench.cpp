// The cost of one Timer1 tick of ring detection with the meter open on the headless capture
// device: the read, the diagnostics, the statistics. It runs every 10 ms, so this shows the
// share of one core the listening program takes.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/frmMain.h"
#include "audio/SoundMeter.h"
#include "platform/headless/fixed_version_query.h"
#include "platform/headless/headless_runtime.h"
#include "platform/headless/headless_wave_in.h"
#include "platform/headless/headless_window_system.h"
#include "platform/headless/host_profile_file.h"
#include "platform/headless/memory_registry.h"
#include "platform/headless/recording_help_viewer.h"
#include "platform/headless/recording_shell_open.h"
#include "platform/headless/recording_softphone_window.h"
#include "platform/headless/scripted_skype_client.h"
#include "settings/modIniEdit.h"
#include "settings/modRegAutoStart.h"

namespace {

namespace fs = std::filesystem;
using namespace tavoro;

struct ListeningBridge {
  ListeningBridge() {
    fs::create_directories(drives / "c" / "App");
    std::ofstream(drives / "c" / "App" / "setting.ini", std::ios::binary)
        << "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\n";
    headless.process.SetAppPath("C:\\App");
    skype->SetRunning(true);
    wave_in.AddDevice("Line 1");
    // A steady tone: loud enough to be measured, never twice its own average.
    wave_in.Play(0, platform::headless::Tone(1000, 40));
    softphone.AddWindow("X-Lite");
    main = std::make_unique<app::frmMain>(
        headless.runtime(), windows,
        app::MainWindowPeers{ini, auto_start, [this] { return skype; }, softphone, meter, help,
                             shell});
    main->Show();
  }
  ~ListeningBridge() {
    main.reset();
    meter.CloseMeter();
    fs::remove_all(drives);
  }

  fs::path drives = fs::temp_directory_path() / ("tavoro-bench-" + std::to_string(::getpid()));
  platform::headless::HeadlessRuntime headless;
  platform::headless::HeadlessWindowSystem windows;
  platform::headless::HostProfileFile profile{drives};
  platform::headless::MemoryRegistry registry;
  platform::headless::FixedVersionQuery version;
  settings::modIniEdit ini{profile, "C:\\App"};
  settings::modRegAutoStart auto_start{registry, version, headless.boxes, "C:\\App"};
  std::shared_ptr<platform::headless::ScriptedSkypeClient> skype =
      std::make_shared<platform::headless::ScriptedSkypeClient>(headless.clock, headless.loop);
  platform::headless::RecordingSoftphoneWindow softphone{headless.clock};
  platform::headless::HeadlessWaveIn wave_in{headless.clock};
  audio::SoundMeter meter{wave_in};
  platform::headless::RecordingHelpViewer help;
  platform::headless::RecordingShellOpen shell;
  std::unique_ptr<app::frmMain> main;
};

// One tick as the loop delivers it: 10 ms of capture, then the handler.
void BM_Timer1Tick(benchmark::State& state) {
  ListeningBridge bridge;
  if (!bridge.main->Timer1.enabled())
    state.SkipWithError("ring detection did not start");
  for (auto _ : state) {
    bridge.headless.clock.Advance(10);
    bridge.main->Timer1_Timer();
  }
  if (!bridge.skype->placed_calls().empty())
    state.SkipWithError("a steady tone was taken for a ring");
  benchmark::DoNotOptimize(bridge.main->Label8.caption());
}
BENCHMARK(BM_Timer1Tick);

}  // namespace
