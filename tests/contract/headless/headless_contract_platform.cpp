#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "contract/contract_platform.h"
#include "headless/fixed_version_query.h"
#include "headless/headless_wave_in.h"
#include "headless/host_profile_file.h"
#include "headless/memory_credential_store.h"
#include "headless/memory_registry.h"

namespace tavoro::contract {
namespace {

namespace fs = std::filesystem;

fs::path NewScratchRoot() {
  static std::atomic<int> counter{0};
  fs::path root = fs::temp_directory_path() / ("tavoro-contract-" + std::to_string(::getpid()) +
                                               "-" + std::to_string(++counter));
  fs::create_directories(root / "c");
  fs::create_directories(root / "t");
  return root;
}

class HeadlessContractPlatform final : public ContractPlatform {
 public:
  HeadlessContractPlatform() : drives_(NewScratchRoot()), profile_(drives_) {
    wave_in_.AddDevice("Monitor of Null Output");
  }
  ~HeadlessContractPlatform() override {
    std::error_code ignored;
    fs::remove_all(drives_, ignored);
  }

  platform::ProfileFile& Profile() override { return profile_; }
  platform::Registry& Registry() override { return registry_; }
  platform::VersionQuery& Version() override { return version_; }
  platform::WaveIn& WaveIn() override { return wave_in_; }
  platform::CredentialStore& Credentials() override { return credentials_; }
  void Pause(std::uint32_t milliseconds) override { clock_.Advance(milliseconds); }
  bool CaptureDeviceExpected() override { return true; }

  std::string NewFolder(std::string_view name) override {
    const std::string folder =
        "C:\\scratch" + std::to_string(++folders_) + "\\" + std::string(name);
    fs::create_directories(Host(folder));
    return folder;
  }
  std::string WritableDriveRoot() override { return "T:\\"; }

  void WriteFile(std::string_view windows_path, std::string_view bytes) override {
    std::ofstream out(Host(windows_path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::optional<std::string> ReadFile(std::string_view windows_path) override {
    std::ifstream in(Host(windows_path), std::ios::binary);
    if (!in)
      return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return std::move(content).str();
  }
  void RemoveFile(std::string_view windows_path) override {
    std::error_code ignored;
    fs::remove(Host(windows_path), ignored);
  }
  std::string FileEncoding(std::string_view utf8) override { return std::string(utf8); }

 private:
  fs::path Host(std::string_view windows_path) const {
    return profile_.HostPath(windows_path).value();
  }

  fs::path drives_;
  platform::headless::HostProfileFile profile_;
  platform::headless::MemoryRegistry registry_;
  platform::headless::MemoryCredentialStore credentials_;
  platform::headless::FixedVersionQuery version_;
  platform::headless::VirtualClock clock_;
  platform::headless::HeadlessWaveIn wave_in_{clock_};
  int folders_ = 0;
};

}  // namespace

std::unique_ptr<ContractPlatform> MakeContractPlatform() {
  return std::make_unique<HeadlessContractPlatform>();
}

}  // namespace tavoro::contract
