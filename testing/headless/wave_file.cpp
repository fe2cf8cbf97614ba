#include "headless/wave_file.h"

#include <fstream>
#include <iterator>
#include <string>

#include "headless/wave_sources.h"

namespace tavoro::platform::headless {
namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kExtensible = 0xFFFE;

std::uint32_t Little(std::string_view bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;)
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

struct PcmLayout {
  std::uint32_t channels = 0;
  std::uint32_t rate = 0;
  std::uint32_t bits = 0;
};

std::optional<PcmLayout> ReadFormat(std::string_view chunk) {
  if (chunk.size() < 16)
    return std::nullopt;
  std::uint32_t tag = Little(chunk, 0, 2);
  // sox and others write the extensible header for plain PCM too; its sub-format GUID
  // starts with the format tag.
  if (tag == kExtensible && chunk.size() >= 26)
    tag = Little(chunk, 24, 2);
  const PcmLayout layout{Little(chunk, 2, 2), Little(chunk, 4, 4), Little(chunk, 14, 2)};
  const std::uint32_t block_align = Little(chunk, 12, 2);
  if (tag != kPcm || layout.channels == 0 || layout.rate == 0 ||
      (layout.bits != 8 && layout.bits != 16) || block_align != layout.channels * layout.bits / 8)
    return std::nullopt;
  return layout;
}

// The frame's channels averaged, as an offset from the centre in 16-bit steps.
int FrameLevel(std::string_view frame, const PcmLayout& layout) {
  long sum = 0;
  for (std::uint32_t channel = 0; channel < layout.channels; ++channel) {
    if (layout.bits == 8) {
      sum += (static_cast<int>(Little(frame, channel, 1)) - 128) * 256;
    } else {
      sum += static_cast<std::int16_t>(Little(frame, channel * 2, 2));
    }
  }
  return static_cast<int>(sum / static_cast<long>(layout.channels));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeWav(std::string_view file_bytes) {
  if (file_bytes.size() < 12 || file_bytes.substr(0, 4) != "RIFF" ||
      file_bytes.substr(8, 4) != "WAVE")
    return std::nullopt;

  std::optional<PcmLayout> layout;
  std::string_view data;
  bool has_data = false;
  for (std::size_t at = 12; at + 8 <= file_bytes.size();) {
    const std::string_view id = file_bytes.substr(at, 4);
    // A data chunk of a file cut short (or still being written) claims more than is there.
    const std::string_view body = file_bytes.substr(at + 8, Little(file_bytes, at + 4, 4));
    if (id == "fmt ")
      layout = ReadFormat(body);
    if (id == "data") {
      data = body;
      has_data = true;
    }
    at += 8 + body.size() + (body.size() & 1);  // chunks are padded to an even length
  }
  if (!layout || !has_data)
    return std::nullopt;

  const std::size_t frame_bytes = layout->channels * layout->bits / 8;
  const std::uint64_t frames = data.size() / frame_bytes;
  std::vector<std::uint8_t> samples(frames * kCaptureRate / layout->rate);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::uint64_t frame = std::uint64_t{i} * layout->rate / kCaptureRate;
    const int level = FrameLevel(data.substr(frame * frame_bytes, frame_bytes), *layout);
    samples[i] = static_cast<std::uint8_t>((level >> 8) + 128);
  }
  return samples;
}

std::optional<std::vector<std::uint8_t>> ReadWavFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return std::nullopt;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return DecodeWav(bytes);
}

}  // namespace tavoro::platform::headless
