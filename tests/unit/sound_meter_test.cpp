// The sound level meter on the headless capture devices. Every case ends by closing the meter
// and checking that nothing is left held and that no call broke a driver's rules.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/SoundMeter.h"
#include "headless/headless_wave_in.h"

namespace tavoro::audio {
namespace {

using platform::kFormat44kStereo16;
using platform::headless::HeadlessWaveIn;
using platform::headless::Recording;
using platform::headless::Silence;
using platform::headless::Tone;
using platform::headless::VirtualClock;
using platform::headless::WaveCall;
using ::testing::IsEmpty;

constexpr std::uint32_t kNoBit = 0xFFFFF & ~kFormat44kStereo16;

struct Capture {
  explicit Capture(bool with_microphone = true) {
    if (with_microphone)
      wave_in.AddDevice("Mic");
  }
  ~Capture() {
    meter.CloseMeter();
    EXPECT_THAT(wave_in.misuse(), IsEmpty());
    EXPECT_EQ(wave_in.open_handles(), 0u);
    EXPECT_EQ(wave_in.live_buffers(), 0u);
  }
  int ReadAfter(std::uint64_t ms) {
    clock.Advance(ms);
    return meter.ReadPeakLevel();
  }
  VirtualClock clock;
  HeadlessWaveIn wave_in{clock};
  SoundMeter meter{wave_in};
};

TEST(SoundMeterDeviceChoice, LastMatchWithTheFormatBitWinsElseTheEarlierId) {
  struct Device {
    std::string name;
    std::uint32_t formats = HeadlessWaveIn::kAllFormats;
  };
  // Longer than the 31 bytes of a device name: the system cuts them.
  const std::string realtek = "Microphone (Realtek High Definition Audio)";
  const std::string japanese = "マイク (ハイ デフィニション オーディオ)";
  std::vector<Device> many;
  for (int i = 0; i < 14; ++i)
    many.push_back({"Virtual Cable " + std::to_string(i)});
  struct Case {
    const char* what;
    std::vector<Device> devices;
    std::string wanted;
    std::uint32_t earlier_id;
    std::uint32_t chosen;
  };
  const Case cases[] = {
      {"higher id wins", {{"Mic (USB)"}, {"Line In"}, {"Mic (USB) 2"}}, "Mic (USB)", 0, 2},
      {"no match keeps the earlier id", {{"A"}, {"B"}, {"C"}}, "Headset", 1, 1},
      {"no match at the first open", {{"A"}, {"B"}}, "Headset", 0, 0},
      {"format bit required", {{"Headset"}, {"Line"}, {"Headset 2", kNoBit}}, "Headset", 1, 0},
      {"empty name takes the last with the bit", {{"A"}, {"B"}, {"C", kNoBit}}, "", 0, 1},
      {"longer than an uncut name", {{"USB Mic"}, {"Line"}}, "USB Microphone", 1, 1},
      {"cut at the end of the field", {{"Line"}, {realtek}}, realtek, 0, 1},
      {"cut between Japanese characters", {{"ライン"}, {japanese}, {"Line"}}, japanese, 0, 1},
      {"more than eleven devices", many, "Cable 13", 0, 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Capture capture(false);
    for (const Device& device : c.devices)
      capture.wave_in.AddDevice(device.name, device.formats);
    capture.meter.DeviceId = c.earlier_id;
    EXPECT_TRUE(capture.meter.OpenMeter(c.wanted, 100)) << capture.meter.MeterErrorText;
    EXPECT_EQ(capture.meter.DeviceId, c.chosen);
  }
}

TEST(SoundMeterPeak, LargestDistanceFromTheCentreOverTheFirstCaptureBytes) {
  struct Case {
    std::vector<std::uint8_t> sound;
    int peak;
  };
  auto with = [](std::size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> sound(200, 128);
    sound[at] = value;
    return sound;
  };
  const Case cases[] = {
      {std::vector<std::uint8_t>(100, 128), 0},
      {with(57, 0), 128},
      {with(99, 255), 127},
      {with(0, 100), 28},
  };
  for (const Case& c : cases) {
    Capture capture;
    capture.wave_in.Play(0, Recording(c.sound));
    ASSERT_TRUE(capture.meter.OpenMeter("Mic", 100));
    EXPECT_EQ(capture.ReadAfter(3), c.peak);
  }
}

TEST(SoundMeterPeak, SnapshotBeyondCaptureBytesIsNotLookedAt) {
  Capture capture;
  capture.wave_in.Play(0, Tone(1000, 100));
  ASSERT_TRUE(capture.meter.OpenMeter("Mic", 5001));
  EXPECT_GE(capture.ReadAfter(200), 99);

  capture.wave_in.Play(0, Silence());
  ASSERT_TRUE(capture.meter.OpenMeter("Mic", 100));
  EXPECT_EQ(capture.ReadAfter(10), 0);
  int left_over = 0;
  for (std::size_t i = 100; i < capture.meter.SnapshotBuffer.size(); ++i)
    left_over = std::max(left_over, std::abs(capture.meter.SnapshotBuffer[i] - 128));
  EXPECT_GE(left_over, 99) << "the tone is still in the snapshot";
}

// Only buffer 0 goes back into the queue, so each read sees what followed the previous one.
TEST(SoundMeterPeak, EachReadAnalysesTheSoundThatFollowedThePreviousRead) {
  Capture capture;
  ASSERT_TRUE(capture.meter.OpenMeter("Mic", 100));
  EXPECT_EQ(capture.ReadAfter(2), 128) << "the zeroed buffer is not full yet";
  EXPECT_EQ(capture.ReadAfter(10), 0);
  EXPECT_EQ(capture.wave_in.queued_buffers(), 1u);

  capture.wave_in.Play(0, Tone(1000, 64));
  EXPECT_EQ(capture.ReadAfter(0), 0) << "filled before the tone began";
  EXPECT_EQ(capture.ReadAfter(10), 64);
  capture.wave_in.Play(0, Silence());
  EXPECT_EQ(capture.ReadAfter(0), 64);
  EXPECT_EQ(capture.ReadAfter(10), 0);
}

// A failed open keeps what it acquired until CloseMeter; a failed start is passed over.
TEST(SoundMeterFailure, FailedStepSetsTheTextAndKeepsWhatItAcquiredUntilClosed) {
  struct Case {
    WaveCall call;
    std::uint32_t after;
    std::size_t handles, prepared, queued;
    int read;  // the ring detection timer can still tick after a failed open
  };
  const Case cases[] = {
      {WaveCall::Open, 0, 0, 0, 0, 0},      {WaveCall::Prepare, 0, 1, 0, 0, 0},
      {WaveCall::Prepare, 1, 1, 1, 0, 0},   {WaveCall::AddBuffer, 0, 1, 2, 0, 0},
      {WaveCall::AddBuffer, 1, 1, 2, 1, 0}, {WaveCall::Start, 0, 1, 2, 2, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.call) << " after " << c.after);
    Capture capture;
    capture.wave_in.FailCall(c.call, platform::kWaveNoMemory, c.after);
    const bool opened = capture.meter.OpenMeter("Mic", 100);
    EXPECT_EQ(opened, c.call == WaveCall::Start);
    EXPECT_EQ(capture.meter.LastWaveResult, platform::kWaveNoMemory);
    EXPECT_EQ(capture.meter.MeterErrorText,
              opened ? "" : capture.wave_in.ErrorText(platform::kWaveNoMemory));
    const HeadlessWaveIn& held = capture.wave_in;
    EXPECT_EQ((std::vector{held.live_buffers(), held.open_handles(), held.prepared_headers(),
                           held.queued_buffers()}),
              (std::vector<std::size_t>{2, c.handles, c.prepared, c.queued}));
    EXPECT_EQ(capture.ReadAfter(10), c.read);
  }
}

TEST(SoundMeterFailure, NoDeviceAtAllFailsOnDeviceZeroWithTheBadIdText) {
  Capture capture(false);
  EXPECT_FALSE(capture.meter.OpenMeter("Mic", 100));
  EXPECT_EQ(capture.meter.DeviceId, 0u);
  EXPECT_EQ(capture.meter.MeterErrorText, capture.wave_in.ErrorText(platform::kWaveBadDeviceId));
}

TEST(SoundMeterLifecycle, ReopenAndRepeatedClosesReleaseEachThingOnce) {
  Capture capture;
  EXPECT_EQ(capture.meter.ReadPeakLevel(), 0) << "never opened";
  ASSERT_TRUE(capture.meter.OpenMeter("Mic", 100));
  ASSERT_TRUE(capture.meter.OpenMeter("Mic", 100));
  EXPECT_EQ(std::pair(capture.wave_in.open_handles(), capture.wave_in.live_buffers()),
            (std::pair<std::size_t, std::size_t>(1, 2)));
  EXPECT_EQ(capture.ReadAfter(10), 0);
  EXPECT_EQ(capture.meter.CloseMeter(), 0);
  EXPECT_EQ(capture.meter.CloseMeter(), 0);
  EXPECT_EQ(capture.ReadAfter(10), 0) << "closed";
}

}  // namespace
}  // namespace tavoro::audio
