// The wave-in contract on both platforms: the headless devices must keep the result codes and
// the filling order of the system's, checked under Wine on the harness's sound server.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "contract/contract_platform.h"

namespace tavoro::contract {
namespace {

using namespace platform;

constexpr WaveFormat kCaptureFormat{kWaveFormatPcm, 1, 44100, 44100, 1, 8, 0};

class WaveInContract : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = MakeContractPlatform();
    if (In().DeviceCount() > 0)
      return;
    if (platform_->CaptureDeviceExpected())
      FAIL() << "no capture device, although the harness started a sound server";
    GTEST_SKIP() << "no capture device, and no sound server was started (TAVORO_SOUND_SERVER)";
  }
  void TearDown() override {
    if (handle_ == WaveInHandle::None)
      return;
    In().Reset(handle_);
    for (WaveHeader& header : headers_)
      In().Unprepare(handle_, header, In().HeaderSize());
    In().Close(handle_);
    for (MemoryHandle memory : memory_)
      In().FreeBuffer(memory);
  }

  WaveIn& In() { return platform_->WaveIn(); }
  // Device 0 with two zeroed buffers of 100 bytes.
  void OpenWithBuffers() {
    ASSERT_EQ(In().Open(handle_, 0, kCaptureFormat), kWaveOk);
    for (std::size_t i = 0; i < 2; ++i) {
      memory_[i] = In().AllocateBuffer(100);
      headers_[i] = WaveHeader{In().LockBuffer(memory_[i]), 100, 0, 0};
      ASSERT_NE(headers_[i].data, nullptr);
      ASSERT_TRUE(
          std::all_of(headers_[i].data, headers_[i].data + 100, [](auto b) { return b == 0; }));
    }
  }

  std::unique_ptr<ContractPlatform> platform_;
  WaveInHandle handle_ = WaveInHandle::None;
  std::array<MemoryHandle, 2> memory_{};
  std::array<WaveHeader, 2> headers_{};
};

TEST_F(WaveInContract, DevicesIdsFormatsAndTexts) {
  const std::uint32_t count = In().DeviceCount();
  WaveInCaps caps;
  EXPECT_EQ(In().DeviceCaps(count, caps), kWaveBadDeviceId);
  EXPECT_EQ(In().DeviceCaps(0, caps), kWaveOk);
  EXPECT_NE(caps.formats & kFormat44kStereo16, 0u);
  EXPECT_LE(caps.product_name.size(), kProductNameBytes);

  WaveInHandle handle = WaveInHandle::None;
  EXPECT_EQ(In().Open(handle, count, kCaptureFormat), kWaveBadDeviceId);
  WaveFormat unknown = kCaptureFormat;
  unknown.format_tag = 0x7777;
  EXPECT_EQ(In().Open(handle, 0, unknown), kWaveBadFormat);
  EXPECT_EQ(handle, WaveInHandle::None);

  EXPECT_NE(In().ErrorText(kWaveBadDeviceId), "");
  EXPECT_NE(In().ErrorText(kWaveBadDeviceId), In().ErrorText(kWaveBadFormat));
  EXPECT_EQ(In().ErrorText(0x7FFF), "");
  EXPECT_EQ(In().HeaderSize(), sizeof(void*) == 8 ? 48u : 32u);
}

TEST_F(WaveInContract, HeadersArePreparedWithTheRecordSizeAndHeldWhileQueued) {
  OpenWithBuffers();
  const std::uint32_t size = In().HeaderSize();
  WaveHeader& header = headers_[0];
  EXPECT_EQ(In().AddBuffer(handle_, header, size), kWaveUnprepared);
  EXPECT_EQ(In().Prepare(handle_, header, size - 1), kWaveInvalidParam);
  ASSERT_EQ(In().Prepare(handle_, header, size), kWaveOk);
  ASSERT_EQ(In().AddBuffer(handle_, header, size), kWaveOk);
  EXPECT_EQ(In().AddBuffer(handle_, header, size), kWaveStillPlaying);
  EXPECT_EQ(In().Unprepare(handle_, header, size), kWaveStillPlaying);
  EXPECT_EQ(In().Close(handle_), kWaveStillPlaying);
  EXPECT_EQ(In().Reset(handle_), kWaveOk);
  EXPECT_EQ(In().Unprepare(handle_, header, size), kWaveOk);
}

TEST_F(WaveInContract, StartedDeviceFillsQueuedBuffersFrontFirst) {
  OpenWithBuffers();
  for (WaveHeader& header : headers_) {
    ASSERT_EQ(In().Prepare(handle_, header, In().HeaderSize()), kWaveOk);
    ASSERT_EQ(In().AddBuffer(handle_, header, In().HeaderSize()), kWaveOk);
  }
  ASSERT_EQ(In().Start(handle_), kWaveOk);
  // A sound server can take a moment to deliver the first data.
  for (int waited = 0; headers_[1].data[99] == 0 && waited < 5000; waited += 5)
    platform_->Pause(5);
  ASSERT_NE(headers_[1].data[99], 0) << "the second buffer was not filled within 5 s";
  // Nothing plays, so both hold silence, and the first was complete before the second was.
  for (const WaveHeader& header : headers_) {
    const auto [low, high] = std::minmax_element(header.data, header.data + 100);
    EXPECT_GE(*low, 120);
    EXPECT_LE(*high, 136);
  }
}

}  // namespace
}  // namespace tavoro::contract
