#include <filesystem>

#include "contract/contract_platform.h"
#include "headless/fixed_version_query.h"
#include "headless/headless_wave_in.h"
#include "headless/host_profile_file.h"
#include "headless/memory_credential_store.h"
#include "headless/memory_registry.h"

namespace tavoro::contract {
namespace {

namespace fs = std::filesystem;

class HeadlessContractPlatform final : public ContractPlatform {
 public:
  // The scratch folder holds the drives C: and T:.
  HeadlessContractPlatform() {
    fs::create_directories(scratch_ / "c");
    fs::create_directories(scratch_ / "t");
    wave_in_.AddDevice("Monitor of Null Output");
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
    fs::create_directories(HostPath(folder));
    return folder;
  }
  std::string WritableDriveRoot() override { return "T:\\"; }

  fs::path HostPath(std::string_view windows_path) override {
    return profile_.HostPath(windows_path).value();
  }
  std::string FileEncoding(std::string_view utf8) override { return std::string(utf8); }

 private:
  platform::headless::HostProfileFile profile_{scratch_};
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
