// The meter on a real capture device. Under the harness, Wine's sound server has a null sink
// that is also the default output, and the sink's monitor is a capture device: what this test
// plays comes back through the meter, on the device chosen by its name as the program chooses
// the Skype client's. Playing from inside the test keeps the tone and the readings on one
// clock, with no second program to start and time from inside Wine.

#include <gtest/gtest.h>

#include <windows.h>
// After <windows.h>: WIN32_LEAN_AND_MEAN leaves the multimedia declarations out of it.
#include <mmsystem.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>

#include "audio/SoundMeter.h"
#include "desktop/desktop.h"
#include "win32/wide_text.h"
#include "win32/win32_wave_in.h"

namespace tavoro::audio {
namespace {

// A WAV file of 100 ms of a 1 kHz tone at half volume, 16-bit mono: whole cycles, so it loops
// without a seam.
std::string ToneWav() {
  std::string wav;
  auto put = [&wav](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
      wav += static_cast<char>(value >> (8 * i));
  };
  const std::uint32_t samples = 4410;
  wav += "RIFF";
  put(36 + samples * 2, 4);
  wav += "WAVEfmt ";
  for (const std::uint32_t field : {16u, 1u | (1u << 16), 44100u, 88200u, 2u | (16u << 16)})
    put(field, 4);
  wav += "data";
  put(samples * 2, 4);
  for (std::uint32_t i = 0; i < samples; ++i) {
    const double level = 16384 * std::sin(2 * std::numbers::pi * i / 44.1);
    put(static_cast<std::uint16_t>(std::lround(level)), 2);
  }
  return wav;
}

// Reads every 10 ms, as ring detection does, until a reading satisfies `done` or 10 s pass
// (the server may take a moment to deliver the first data); returns the last reading.
int ReadUntil(SoundMeter& meter, const std::function<bool(int)>& done) {
  int reading = -1;
  for (int waited = 0; waited < 10000; waited += 10) {
    ::Sleep(10);
    reading = meter.ReadPeakLevel();
    if (done(reading))
      break;
  }
  return reading;
}

TEST(Win32SoundMeter, ToneOnTheLoopbackReadsClearlyAboveSilence) {
  platform::win32::Win32WaveIn wave_in;
  const std::wstring server = e2e::Environment(L"TAVORO_SOUND_SERVER");
  if (wave_in.DeviceCount() == 0) {
    if (!server.empty() && server != L"none")
      FAIL() << "no capture device, although the harness started a sound server";
    GTEST_SKIP() << "no capture device, and no sound server was started (TAVORO_SOUND_SERVER)";
  }

  SoundMeter meter(wave_in);
  // The harness's full name is longer than the caps field: it matches the cut name.
  const std::wstring monitor = e2e::Environment(L"TAVORO_SOUND_MONITOR");
  ASSERT_TRUE(
      meter.OpenMeter(monitor.empty() ? "Monitor of " : platform::win32::Narrow(monitor), 100))
      << meter.MeterErrorText;
  platform::WaveInCaps caps;
  ASSERT_EQ(wave_in.DeviceCaps(meter.DeviceId, caps), platform::kWaveOk);
  EXPECT_TRUE(caps.product_name.starts_with("Monitor of ")) << caps.product_name;

  constexpr int kQuiet = 8;
  constexpr int kLoud = 40;  // half volume swings 64 either side
  const int silence = ReadUntil(meter, [](int level) { return level <= kQuiet; });
  // Played by the system's player on the default output, which the harness's null sink is.
  const std::string wav = ToneWav();
  ASSERT_TRUE(::PlaySoundW(reinterpret_cast<LPCWSTR>(wav.data()), nullptr,
                           SND_MEMORY | SND_ASYNC | SND_LOOP | SND_NODEFAULT));
  const int tone = ReadUntil(meter, [](int level) { return level >= kLoud; });
  ::PlaySoundW(nullptr, nullptr, 0);
  const int after = ReadUntil(meter, [](int level) { return level <= kQuiet; });
  EXPECT_LE(silence, kQuiet);
  EXPECT_GE(tone, kLoud);
  EXPECT_LE(after, kQuiet);
  meter.CloseMeter();
}

}  // namespace
}  // namespace tavoro::audio
