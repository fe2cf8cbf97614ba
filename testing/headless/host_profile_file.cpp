#include "headless/host_profile_file.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "headless/ini_text.h"
#include "platform/ascii.h"

namespace tavoro::platform::headless {
namespace {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return std::move(content).str();
}

// Replaces the file in one step, so a failed write leaves the old content whole.
bool ReplaceWholeFile(const std::filesystem::path& file, std::string_view content) {
  std::filesystem::path temporary = file;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out)
      return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) {
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  if (error)
    std::filesystem::remove(temporary, error);
  return !error;
}

// A cut inside a multi-byte character would leave invalid text; the system's conversion never
// returns half a character either.
std::string CutAtCharacterBoundary(std::string value, std::size_t max_bytes) {
  if (value.size() <= max_bytes)
    return value;
  std::size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
    --cut;
  value.resize(cut);
  return value;
}

}  // namespace

std::optional<std::filesystem::path> HostProfileFile::HostPath(
    std::string_view windows_path) const {
  if (windows_path.size() < 3 || windows_path[1] != ':' ||
      (windows_path[2] != '\\' && windows_path[2] != '/')) {
    return std::nullopt;
  }
  const char drive = AsciiLower(windows_path[0]);
  if (drive < 'a' || drive > 'z')
    return std::nullopt;

  std::filesystem::path host = drives_ / std::string(1, drive);
  std::string_view rest = windows_path.substr(3);
  while (!rest.empty()) {
    const std::size_t separator = rest.find_first_of("\\/");
    const std::string_view part = rest.substr(0, separator);
    if (part == "..")
      return std::nullopt;
    if (!part.empty() && part != ".")
      host /= std::string(part);
    if (separator == std::string_view::npos)
      break;
    rest.remove_prefix(separator + 1);
  }
  return host;
}

std::string HostProfileFile::Read(std::string_view path, std::string_view section,
                                  std::string_view key, std::string_view fallback,
                                  std::size_t capacity) {
  std::string value(fallback);
  if (const auto file = HostPath(path)) {
    if (const auto text = ReadWholeFile(*file)) {
      if (auto found = FindProfileValue(*text, section, key))
        value = std::move(*found);
    }
  }
  return CutAtCharacterBoundary(std::move(value), capacity == 0 ? 0 : capacity - 1);
}

bool HostProfileFile::Write(std::string_view path, std::string_view section, std::string_view key,
                            std::string_view value) {
  const auto file = HostPath(path);
  if (!file)
    return false;
  std::error_code error;
  if (std::filesystem::is_directory(*file, error))
    return false;
  std::string old_text;
  if (std::filesystem::exists(*file, error)) {
    // A file that is there but cannot be read must not be replaced by one holding a single key.
    auto text = ReadWholeFile(*file);
    if (!text)
      return false;
    old_text = std::move(*text);
  }
  return ReplaceWholeFile(*file, SetProfileValue(old_text, section, key, value));
}

}  // namespace tavoro::platform::headless
