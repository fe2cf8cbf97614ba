#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "contract/contract_platform.h"
#include "win32/wide_text.h"
#include "win32/win32_credential_store.h"
#include "win32/win32_profile_file.h"
#include "win32/win32_registry.h"
#include "win32/win32_version_query.h"
#include "win32/win32_wave_in.h"

namespace tavoro::contract {
namespace {

namespace fs = std::filesystem;
using platform::win32::Narrow;
using platform::win32::Widen;

class Win32ContractPlatform final : public ContractPlatform {
 public:
  ~Win32ContractPlatform() override {
    std::error_code ignored;
    if (const std::string root = WritableDriveRoot(); !root.empty())
      fs::remove(Widen(root + "setting.ini"), ignored);
  }

  platform::ProfileFile& Profile() override { return profile_; }
  platform::Registry& Registry() override { return registry_; }
  platform::VersionQuery& Version() override { return version_; }
  platform::WaveIn& WaveIn() override { return wave_in_; }
  platform::CredentialStore& Credentials() override { return credentials_; }
  void Pause(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
  // The harness names the sound server it started for Wine, or says "none".
  bool CaptureDeviceExpected() override {
    const char* server = std::getenv("TAVORO_SOUND_SERVER");
    return server != nullptr && *server != '\0' && std::string_view(server) != "none";
  }

  std::string NewFolder(std::string_view name) override {
    const fs::path folder = scratch_ / std::to_wstring(++folders_) / Widen(name);
    fs::create_directories(folder);
    return Narrow(folder.wstring());
  }

  // The test harness maps a spare drive letter to a scratch folder for this.
  std::string WritableDriveRoot() override {
    const char* drive = std::getenv("TAVORO_TEST_ROOT_DRIVE");
    return drive && *drive ? std::string(drive) + "\\" : std::string();
  }

  fs::path HostPath(std::string_view windows_path) override { return Widen(windows_path); }
  std::string FileEncoding(std::string_view utf8) override {
    return platform::win32::WideToAnsi(Widen(utf8));
  }

 private:
  platform::win32::Win32ProfileFile profile_;
  platform::win32::Win32Registry registry_;
  platform::win32::Win32CredentialStore credentials_;
  platform::win32::Win32VersionQuery version_;
  platform::win32::Win32WaveIn wave_in_;
  int folders_ = 0;
};

}  // namespace

std::unique_ptr<ContractPlatform> MakeContractPlatform() {
  return std::make_unique<Win32ContractPlatform>();
}

}  // namespace tavoro::contract
