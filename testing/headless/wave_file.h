#pragma once
// Recorded sound for the headless capture devices, from PCM WAV files.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tavoro::platform::headless {

// The samples of a PCM WAV file of 8 or 16 bits, any channel count and rate, as the meter
// captures: unsigned 8-bit mono at 44100 Hz (channels averaged, nearest earlier sample for
// other rates). Nothing for text that is not such a file.
std::optional<std::vector<std::uint8_t>> DecodeWav(std::string_view file_bytes);

std::optional<std::vector<std::uint8_t>> ReadWavFile(const std::filesystem::path& file);

}  // namespace tavoro::platform::headless
