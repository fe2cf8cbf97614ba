#pragma once
// What the contract cases need from a platform: its services, and a scratch place on its file
// system where a test can lay down and inspect files. One implementation per backend; the
// cases themselves are shared.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/credential_store.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/version.h"
#include "platform/wave_in.h"

namespace tavoro::contract {

class ContractPlatform {
 public:
  // With a scratch folder on this machine's own file system, removed with everything in it.
  ContractPlatform()
      : scratch_(std::filesystem::temp_directory_path() /
                 ("tavoro-contract-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()))) {
    std::filesystem::create_directories(scratch_);
  }
  virtual ~ContractPlatform() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
  }
  ContractPlatform(const ContractPlatform&) = delete;
  ContractPlatform& operator=(const ContractPlatform&) = delete;

  virtual platform::ProfileFile& Profile() = 0;
  virtual platform::Registry& Registry() = 0;
  virtual platform::VersionQuery& Version() = 0;
  virtual platform::WaveIn& WaveIn() = 0;
  virtual platform::CredentialStore& Credentials() = 0;

  // Lets capture devices run for `milliseconds` (virtual time on the headless platform).
  virtual void Pause(std::uint32_t milliseconds) = 0;
  // Whether a capture device must be there: always on the headless platform; on Windows when
  // the test harness started its sound server.
  virtual bool CaptureDeviceExpected() = 0;

  // A new, empty folder in Windows form; `name` (UTF-8, may be Japanese) is its last part.
  // Removed with everything in it when the platform object goes.
  virtual std::string NewFolder(std::string_view name) = 0;

  // The root of a drive the test may write to ("T:\"), or the empty text where there is none.
  virtual std::string WritableDriveRoot() = 0;

  // Where a Windows path of the platform lies on this machine's own file system.
  virtual std::filesystem::path HostPath(std::string_view windows_path) = 0;
  void WriteFile(std::string_view windows_path, std::string_view bytes) {
    std::ofstream(HostPath(windows_path), std::ios::binary | std::ios::trunc) << bytes;
  }
  std::optional<std::string> ReadFile(std::string_view windows_path) {
    std::ifstream in(HostPath(windows_path), std::ios::binary);
    if (!in)
      return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // `utf8` as the platform's settings file stores text (the ANSI code page on Windows).
  virtual std::string FileEncoding(std::string_view utf8) = 0;

 protected:
  const std::filesystem::path scratch_;
};

// Provided by the backend's half of the contract test program.
std::unique_ptr<ContractPlatform> MakeContractPlatform();

}  // namespace tavoro::contract
