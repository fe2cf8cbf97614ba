#include "app/modSoftphone.h"

#include <optional>

#include "app/softphone_keys.h"
#include "product/identity.h"

namespace tavoro::app {
namespace {

constexpr int kActivationPasses = 3;
constexpr std::uint32_t kPauseAfterActivationMs = 100;

}  // namespace

modSoftphone::modSoftphone(platform::Runtime runtime, platform::SoftphoneWindow& window)
    : runtime_(runtime), window_(window) {}

void modSoftphone::ActivateSoftphone() {
  for (int pass = 0; pass < kActivationPasses; ++pass) {
    if (!ActivateSoftphoneOnce()) {
      runtime_.boxes.MsgBox(kSoftphoneMissingText, platform::MsgBoxIcon::Exclamation,
                            kProgramTitle);
      runtime_.process.End();
    }
    runtime_.loop.Sleep(kPauseAfterActivationMs);
    runtime_.loop.DoEvents();
  }
}

void modSoftphone::SendSoftphoneKeys(std::string_view keys) {
  window_.TypeKeys(ParseSoftphoneKeys(keys));
}

bool modSoftphone::ActivateSoftphoneOnce() {
  // A window titled exactly so wins over one whose title only begins so.
  std::optional<platform::WindowHandle> window = window_.FindByTitle(kSoftphoneTitle);
  if (!window)
    window = window_.FindByTitlePrefix(kSoftphoneTitle);
  if (!window)
    return false;
  // A refused activation is no reason to end: the softphone runs, the focus rules only kept
  // it behind, and the next pass asks again.
  window_.BringToForeground(*window);
  return true;
}

}  // namespace tavoro::app
