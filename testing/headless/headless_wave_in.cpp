#include "headless/headless_wave_in.h"

#include <algorithm>

namespace tavoro::platform::headless {
namespace {

// WAVEHDR holds two pointers, two pointer-sized fields and four 32-bit ones.
constexpr std::uint32_t kHostHeaderSize = sizeof(void*) == 8 ? 48 : 32;

bool IsCaptureFormat(const WaveFormat& f) {
  return f.format_tag == kWaveFormatPcm && f.channels == 1 &&
         f.samples_per_second == kCaptureRate && f.bytes_per_second == kCaptureRate &&
         f.block_align == 1 && f.bits_per_sample == 8;
}

// The system's texts (English Windows), for the codes a meter meets.
std::map<WaveResult, std::string> DefaultErrorTexts() {
  return {
      {kWaveOk, "The specified command was carried out."},
      {kWaveBadDeviceId, "A device ID has been used that is out of range for your system."},
      {kWaveInvalidHandle, "The specified device handle is invalid."},
      {kWaveNoMemory, "There is not enough memory available for this task."},
      {kWaveInvalidParam, "An invalid parameter was passed to a system function."},
      {kWaveBadFormat, "The specified format is not supported or cannot be translated."},
      {kWaveStillPlaying, "Cannot perform this operation while media data is still playing."},
      {kWaveUnprepared, "The wave header was not prepared."},
  };
}

}  // namespace

HeadlessWaveIn::HeadlessWaveIn(VirtualClock& clock)
    : clock_(clock), error_texts_(DefaultErrorTexts()), header_size_(kHostHeaderSize) {
  clock_.Follow(*this);
}

HeadlessWaveIn::~HeadlessWaveIn() {
  clock_.Unfollow(*this);
}

std::uint32_t HeadlessWaveIn::AddDevice(std::string product_name, std::uint32_t formats) {
  WaveInCaps caps;
  caps.name_fills_field = product_name.size() >= kProductNameBytes;
  if (caps.name_fills_field) {
    // Cut like the system's conversion: never inside a character.
    std::size_t cut = kProductNameBytes;
    while (cut > 0 && (static_cast<unsigned char>(product_name[cut]) & 0xC0) == 0x80)
      --cut;
    product_name.resize(cut);
  }
  caps.product_name = std::move(product_name);
  caps.formats = formats;
  devices_.push_back(Device{std::move(caps), Silence(), 0});
  return static_cast<std::uint32_t>(devices_.size() - 1);
}

void HeadlessWaveIn::Play(std::uint32_t device_id, SampleSource sound) {
  devices_.at(device_id).sound = std::move(sound);
  devices_.at(device_id).sound_start = SampleNow();
}

void HeadlessWaveIn::FailCall(WaveCall call, WaveResult code, std::uint32_t after) {
  failures_[call] = Failure{code, after};
}

std::size_t HeadlessWaveIn::prepared_headers() const {
  std::size_t count = 0;
  for (const auto& [handle, device] : open_)
    count += device.prepared.size();
  return count;
}

std::size_t HeadlessWaveIn::queued_buffers() const {
  std::size_t count = 0;
  for (const auto& [handle, device] : open_)
    count += device.queue.size();
  return count;
}

WaveResult HeadlessWaveIn::DeviceCaps(std::uint32_t device_id, WaveInCaps& caps) {
  if (device_id >= devices_.size())
    return kWaveBadDeviceId;
  if (const WaveResult failure = Injected(WaveCall::DeviceCaps))
    return failure;
  caps = devices_[device_id].caps;
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Open(WaveInHandle& handle, std::uint32_t device_id,
                                const WaveFormat& format) {
  if (device_id >= devices_.size())
    return kWaveBadDeviceId;
  if (!IsCaptureFormat(format))
    return kWaveBadFormat;
  if (const WaveResult failure = Injected(WaveCall::Open))
    return failure;
  handle = static_cast<WaveInHandle>(next_handle_++);
  open_[handle].device_id = device_id;
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Prepare(WaveInHandle handle, WaveHeader& header,
                                   std::uint32_t header_size) {
  OpenDevice* device = Find(handle, "prepare");
  if (!device)
    return kWaveInvalidHandle;
  if (const WaveResult refused = CheckHeader(header, header_size))
    return refused;
  if (const WaveResult failure = Injected(WaveCall::Prepare))
    return failure;
  device->prepared.insert(&header);
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Unprepare(WaveInHandle handle, WaveHeader& header,
                                     std::uint32_t header_size) {
  OpenDevice* device = Find(handle, "unprepare");
  if (!device)
    return kWaveInvalidHandle;
  if (const WaveResult refused = CheckHeader(header, header_size))
    return refused;
  if (std::ranges::any_of(device->queue, [&](const Queued& q) { return q.header == &header; }))
    return kWaveStillPlaying;
  if (const WaveResult failure = Injected(WaveCall::Unprepare))
    return failure;
  if (device->prepared.erase(&header) == 0)
    misuse_.push_back("unprepare of a header that was never prepared");
  return kWaveOk;
}

WaveResult HeadlessWaveIn::AddBuffer(WaveInHandle handle, WaveHeader& header,
                                     std::uint32_t header_size) {
  OpenDevice* device = Find(handle, "add buffer");
  if (!device)
    return kWaveInvalidHandle;
  if (const WaveResult refused = CheckHeader(header, header_size))
    return refused;
  if (!device->prepared.contains(&header))
    return kWaveUnprepared;
  if (std::ranges::any_of(device->queue, [&](const Queued& q) { return q.header == &header; }))
    return kWaveStillPlaying;
  if (!InLiveBlock(header)) {
    misuse_.push_back("queued a buffer outside any allocated memory");
    return kWaveInvalidParam;
  }
  if (const WaveResult failure = Injected(WaveCall::AddBuffer))
    return failure;
  device->queue.push_back(Queued{&header});
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Start(WaveInHandle handle) {
  OpenDevice* device = Find(handle, "start");
  if (!device)
    return kWaveInvalidHandle;
  if (const WaveResult failure = Injected(WaveCall::Start))
    return failure;
  if (!device->started) {
    device->started = true;
    device->next_sample = SampleNow();
  }
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Stop(WaveInHandle handle) {
  OpenDevice* device = Find(handle, "stop");
  if (!device)
    return kWaveInvalidHandle;
  if (const WaveResult failure = Injected(WaveCall::Stop))
    return failure;
  device->started = false;
  // The buffer being filled is handed back with what it holds; empty ones stay queued.
  if (!device->queue.empty() && device->queue.front().recorded > 0)
    device->queue.pop_front();
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Reset(WaveInHandle handle) {
  OpenDevice* device = Find(handle, "reset");
  if (!device)
    return kWaveInvalidHandle;
  if (const WaveResult failure = Injected(WaveCall::Reset))
    return failure;
  device->started = false;
  device->queue.clear();
  return kWaveOk;
}

WaveResult HeadlessWaveIn::Close(WaveInHandle handle) {
  OpenDevice* device = Find(handle, "close");
  if (!device)
    return kWaveInvalidHandle;
  if (!device->queue.empty())
    return kWaveStillPlaying;
  if (const WaveResult failure = Injected(WaveCall::Close))
    return failure;
  open_.erase(handle);
  return kWaveOk;
}

std::string HeadlessWaveIn::ErrorText(WaveResult code) {
  const auto text = error_texts_.find(code);
  return text == error_texts_.end() ? std::string() : text->second;
}

MemoryHandle HeadlessWaveIn::AllocateBuffer(std::size_t bytes) {
  const auto memory = static_cast<MemoryHandle>(next_block_++);
  blocks_[memory] = Block{std::make_unique<std::uint8_t[]>(bytes), bytes};
  return memory;
}

std::uint8_t* HeadlessWaveIn::LockBuffer(MemoryHandle memory) {
  const auto block = blocks_.find(memory);
  if (block != blocks_.end())
    return block->second.bytes.get();
  misuse_.push_back("lock of memory that is not allocated");
  return nullptr;
}

void HeadlessWaveIn::FreeBuffer(MemoryHandle memory) {
  const auto block = blocks_.find(memory);
  if (block == blocks_.end()) {
    misuse_.push_back(freed_.contains(memory) ? "memory freed twice"
                                              : "free of memory never allocated");
    return;
  }
  // The device would go on writing into it: drop such buffers, and say so.
  const std::uint8_t* begin = block->second.bytes.get();
  const std::uint8_t* end = begin + block->second.size;
  for (auto& [handle, device] : open_) {
    const auto dropped = std::erase_if(device.queue, [&](const Queued& q) {
      return q.header->data >= begin && q.header->data < end;
    });
    if (dropped > 0)
      misuse_.push_back("memory freed while the device may still write into it");
  }
  blocks_.erase(block);
  freed_.insert(memory);
}

void HeadlessWaveIn::TimeMoved(std::uint64_t) {
  const std::uint64_t now = SampleNow();
  for (auto& [handle, device] : open_) {
    if (device.started)
      Capture(device, now);
  }
}

void HeadlessWaveIn::Capture(OpenDevice& device, std::uint64_t until_sample) {
  const Device& source = devices_[device.device_id];
  while (device.next_sample < until_sample && !device.queue.empty()) {
    Queued& front = device.queue.front();
    const std::uint64_t count = std::min<std::uint64_t>(
        until_sample - device.next_sample, front.header->buffer_length - front.recorded);
    for (std::uint64_t i = 0; i < count; ++i, ++device.next_sample) {
      front.header->data[front.recorded++] =
          device.next_sample >= source.sound_start
              ? source.sound(device.next_sample - source.sound_start)
              : std::uint8_t{128};
    }
    if (front.recorded == front.header->buffer_length)
      device.queue.pop_front();
  }
  // Sound that arrives with no buffer queued is lost, as on a real device.
  device.next_sample = until_sample;
}

std::uint64_t HeadlessWaveIn::SampleNow() const {
  return clock_.Milliseconds() * kCaptureRate / 1000;
}

WaveResult HeadlessWaveIn::Injected(WaveCall call) {
  const auto failure = failures_.find(call);
  if (failure == failures_.end() || failure->second.code == kWaveOk)
    return kWaveOk;
  if (failure->second.successes_left > 0) {
    --failure->second.successes_left;
    return kWaveOk;
  }
  return failure->second.code;
}

HeadlessWaveIn::OpenDevice* HeadlessWaveIn::Find(WaveInHandle handle, const char* call) {
  const auto device = open_.find(handle);
  if (device != open_.end())
    return &device->second;
  misuse_.push_back(std::string(call) + " on a handle that is not open");
  return nullptr;
}

WaveResult HeadlessWaveIn::CheckHeader(const WaveHeader& header, std::uint32_t header_size) const {
  // The system reads and writes header_size bytes of the record: less than its own is refused.
  if (header_size < header_size_ || header.data == nullptr)
    return kWaveInvalidParam;
  return kWaveOk;
}

bool HeadlessWaveIn::InLiveBlock(const WaveHeader& header) const {
  return std::ranges::any_of(blocks_, [&](const auto& entry) {
    const Block& block = entry.second;
    return header.data >= block.bytes.get() &&
           header.data + header.buffer_length <= block.bytes.get() + block.size;
  });
}

}  // namespace tavoro::platform::headless
