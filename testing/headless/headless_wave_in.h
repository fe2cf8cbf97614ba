#pragma once
// Capture devices without sound hardware. Each device hears a sound the test sets; an open,
// started device writes what it hears into its queued buffers, front first, at 44100 bytes a
// second of virtual time, so a 100-byte buffer is full about 2.27 ms after it began. It writes
// while time moves, as a driver does behind the program's back, never when the program reads.
//
// It keeps a driver's rules and records what a driver would punish (double frees, unprepare
// of a header never prepared, calls on a closed handle, memory freed while the device may
// write into it) so tests can assert that nothing of the kind happened. Any call can be made to
// fail with a chosen result code.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "headless/virtual_clock.h"
#include "headless/wave_sources.h"
#include "platform/wave_in.h"

namespace tavoro::platform::headless {

enum class WaveCall { DeviceCaps, Open, Prepare, Unprepare, AddBuffer, Start, Stop, Reset, Close };

class HeadlessWaveIn final : public WaveIn, private TimeFollower {
 public:
  static constexpr std::uint32_t kAllFormats = 0xFFFFF;

  explicit HeadlessWaveIn(VirtualClock& clock);
  ~HeadlessWaveIn() override;
  HeadlessWaveIn(const HeadlessWaveIn&) = delete;
  HeadlessWaveIn& operator=(const HeadlessWaveIn&) = delete;

  // A device with the next id, hearing silence. A name longer than the caps field is reported
  // cut, as the system cuts it.
  std::uint32_t AddDevice(std::string product_name, std::uint32_t formats = kAllFormats);
  // What device `device_id` hears from now on; the sound's index 0 is now.
  void Play(std::uint32_t device_id, SampleSource sound);

  // After `after` more successful calls of this kind, each further one fails with `code` and
  // does nothing, until the failure is set back to kWaveOk.
  void FailCall(WaveCall call, WaveResult code, std::uint32_t after = 0);
  void SetErrorText(WaveResult code, std::string text) { error_texts_[code] = std::move(text); }
  // The size of this platform's header record; by default that of the host's pointer width.
  void SetHeaderSize(std::uint32_t bytes) { header_size_ = bytes; }

  const std::vector<std::string>& misuse() const { return misuse_; }
  std::size_t open_handles() const { return open_.size(); }
  std::size_t live_buffers() const { return blocks_.size(); }
  std::size_t prepared_headers() const;
  std::size_t queued_buffers() const;

  std::uint32_t DeviceCount() override { return static_cast<std::uint32_t>(devices_.size()); }
  WaveResult DeviceCaps(std::uint32_t device_id, WaveInCaps& caps) override;
  WaveResult Open(WaveInHandle& handle, std::uint32_t device_id, const WaveFormat& format) override;
  WaveResult Prepare(WaveInHandle handle, WaveHeader& header, std::uint32_t header_size) override;
  WaveResult Unprepare(WaveInHandle handle, WaveHeader& header, std::uint32_t header_size) override;
  WaveResult AddBuffer(WaveInHandle handle, WaveHeader& header, std::uint32_t header_size) override;
  WaveResult Start(WaveInHandle handle) override;
  WaveResult Stop(WaveInHandle handle) override;
  WaveResult Reset(WaveInHandle handle) override;
  WaveResult Close(WaveInHandle handle) override;
  std::string ErrorText(WaveResult code) override;
  std::uint32_t HeaderSize() override { return header_size_; }
  MemoryHandle AllocateBuffer(std::size_t bytes) override;
  std::uint8_t* LockBuffer(MemoryHandle memory) override;
  void FreeBuffer(MemoryHandle memory) override;

 private:
  struct Device {
    WaveInCaps caps;
    SampleSource sound;
    std::uint64_t sound_start = 0;  // capture sample index of the sound's index 0
  };
  struct Queued {
    WaveHeader* header;
    std::uint32_t recorded = 0;
  };
  struct OpenDevice {
    std::uint32_t device_id = 0;
    bool started = false;
    std::uint64_t next_sample = 0;
    std::set<const WaveHeader*> prepared;
    std::deque<Queued> queue;
  };
  struct Failure {
    WaveResult code = kWaveOk;
    std::uint32_t successes_left = 0;
  };
  struct Block {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
  };

  void TimeMoved(std::uint64_t now_ms) override;
  void Capture(OpenDevice& device, std::uint64_t until_sample);
  std::uint64_t SampleNow() const;
  // The injected failure due for this call, or kWaveOk.
  WaveResult Injected(WaveCall call);
  // The open device of `handle`; null (and a misuse recorded) when it is not open.
  OpenDevice* Find(WaveInHandle handle, const char* call);
  WaveResult CheckHeader(const WaveHeader& header, std::uint32_t header_size) const;
  bool InLiveBlock(const WaveHeader& header) const;

  VirtualClock& clock_;
  std::vector<Device> devices_;
  std::map<WaveInHandle, OpenDevice> open_;
  std::uintptr_t next_handle_ = 0x100;  // never reused, so a stale handle is always seen
  std::map<MemoryHandle, Block> blocks_;
  std::set<MemoryHandle> freed_;
  std::uintptr_t next_block_ = 0x10;
  std::map<WaveCall, Failure> failures_;
  std::map<WaveResult, std::string> error_texts_;
  std::uint32_t header_size_;
  std::vector<std::string> misuse_;
};

}  // namespace tavoro::platform::headless
