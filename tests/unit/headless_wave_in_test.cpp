// The headless capture devices: their sounds, recorded files, filling on the virtual clock,
// and the record of what a real driver would punish.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "headless/headless_wave_in.h"
#include "headless/wave_file.h"

namespace tavoro::platform::headless {
namespace {

using Samples = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::Optional;

Samples Take(const SampleSource& sound, std::uint64_t from, std::uint64_t count) {
  Samples samples;
  for (std::uint64_t i = from; i < from + count; ++i)
    samples.push_back(sound(i));
  return samples;
}

TEST(WaveSources, ToneBurstsNoiseAndRecordingStayInTheirBounds) {
  struct Case {
    const char* what;
    SampleSource sound;
    std::uint64_t from;
    int low, high;  // the extremes reached over 441 samples (10 ms)
  };
  const SampleSource ring = Bursts(Tone(1000, 64), 1000, 2000);
  const Case cases[] = {
      {"tone", Tone(1000, 64), 0, 64, 192},
      {"burst on", ring, 0, 64, 192},
      {"burst off", ring, 44100, 128, 128},
      {"burst off, end", ring, 3 * 44100 - 441, 128, 128},
      {"burst on again", ring, 3 * 44100, 64, 192},
      {"recording", Recording(Samples(441, 7)), 0, 7, 7},
      {"after the recording", Recording(Samples(441, 7)), 441, 128, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Samples samples = Take(c.sound, c.from, 441);
    EXPECT_EQ(*std::ranges::min_element(samples), c.low);
    EXPECT_EQ(*std::ranges::max_element(samples), c.high);
  }
  const Samples noise = Take(Noise(50, 7), 0, 4410);
  EXPECT_GE(*std::ranges::min_element(noise), 78);
  EXPECT_LE(*std::ranges::max_element(noise), 178);
  EXPECT_GT(std::ranges::count(noise, 178), 0);
  EXPECT_EQ(noise, Take(Noise(50, 7), 0, 4410));
  EXPECT_NE(noise, Take(Noise(50, 8), 0, 4410));
}

std::string Wav(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                const std::string& data) {
  auto le = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
      out += static_cast<char>(value >> (8 * i));
    return out;
  };
  const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
  std::string fmt =
      le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2);
  if (tag == 0xFFFE)
    fmt += le(22, 2) + le(bits, 2) + le(0, 4) + le(1, 2) + std::string(14, '\0');
  const std::string chunks = "fmt " + le(static_cast<std::uint32_t>(fmt.size()), 4) + fmt + "LIST" +
                             le(3, 4) + std::string("abc\0", 4) + "data" +
                             le(static_cast<std::uint32_t>(data.size()), 4) + data;
  return "RIFF" + le(static_cast<std::uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

TEST(WaveFile, PcmBecomesUnsignedEightBitMonoAt44100) {
  const std::string s16 = std::string("\xFF\x7F\xFF\x7F\x00\x80\x00\x00", 8);  // two stereo frames
  EXPECT_THAT(DecodeWav(Wav(1, 1, 44100, 8, "\x01\x80\xFF")), Optional(ElementsAre(1, 128, 255)));
  EXPECT_THAT(DecodeWav(Wav(1, 2, 22050, 16, s16)), Optional(ElementsAre(255, 255, 64, 64)));
  EXPECT_THAT(DecodeWav(Wav(0xFFFE, 1, 88200, 16, s16)), Optional(ElementsAre(255, 0)));
  for (const std::string& bad : {Wav(1, 1, 44100, 24, "abc"), Wav(3, 1, 44100, 16, "ab"),
                                 std::string("RIFX") + Wav(1, 1, 44100, 8, "a").substr(4),
                                 Wav(1, 1, 44100, 8, "a").substr(0, 44)}) {
    EXPECT_EQ(DecodeWav(bad), std::nullopt);
  }

  const auto file = std::filesystem::temp_directory_path() / "tavoro-wave-file-test.wav";
  std::ofstream(file, std::ios::binary) << Wav(1, 1, 44100, 8, "\x10\x20");
  EXPECT_THAT(ReadWavFile(file), Optional(ElementsAre(0x10, 0x20)));
  std::filesystem::remove(file);
  EXPECT_EQ(ReadWavFile(file), std::nullopt);
}

// The meter's tests assert that nothing of this kind happened; here each kind is seen.
TEST(HeadlessWaveIn, RecordsWhatADriverWouldPunish) {
  VirtualClock clock;
  HeadlessWaveIn wave_in(clock);
  wave_in.AddDevice("Mic");
  WaveInHandle handle{};
  ASSERT_EQ(wave_in.Open(handle, 0, WaveFormat{kWaveFormatPcm, 1, 44100, 44100, 1, 8, 0}), kWaveOk);
  const MemoryHandle memory = wave_in.AllocateBuffer(100);
  WaveHeader queued{wave_in.LockBuffer(memory), 100, 0, 0};
  WaveHeader never_prepared = queued;
  wave_in.Prepare(handle, queued, wave_in.HeaderSize());
  wave_in.AddBuffer(handle, queued, wave_in.HeaderSize());
  wave_in.FreeBuffer(memory);
  wave_in.FreeBuffer(memory);
  wave_in.Unprepare(handle, never_prepared, wave_in.HeaderSize());
  wave_in.Close(handle);
  EXPECT_EQ(wave_in.Start(handle), kWaveInvalidHandle);
  EXPECT_THAT(wave_in.misuse(),
              ElementsAre("memory freed while the device may still write into it",
                          "memory freed twice", "unprepare of a header that was never prepared",
                          "start on a handle that is not open"));
}

}  // namespace
}  // namespace tavoro::platform::headless
