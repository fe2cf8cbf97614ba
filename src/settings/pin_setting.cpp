#include "settings/pin_setting.h"

#include <algorithm>

namespace tavoro::settings {
namespace {

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> PinProblem(std::string_view pin, std::string_view confirmation) {
  if (pin.empty() && confirmation.empty())
    return std::nullopt;
  if (!AllDigits(pin))
    return "暗証番号には数字(0～9)だけを入力してください。";
  if (pin.size() < kPinMinDigits || pin.size() > kPinMaxDigits)
    return "暗証番号は4桁から12桁の数字で入力してください。";
  if (pin != confirmation)
    return "暗証番号と確認のための入力が一致しません。";
  return std::nullopt;
}

std::string ReadPin(platform::CredentialStore& store) {
  std::string pin;
  const platform::SystemCode read = store.Read(kPinTarget, pin);
  if (read == platform::kNotFound)
    return "";
  if (read != platform::kSuccess || pin.empty() || PinProblem(pin, pin))
    return std::string(kUnusablePin);
  return pin;
}

platform::SystemCode SavePin(platform::CredentialStore& store, std::string_view pin) {
  return platform::KeepOrRemove(store, kPinTarget, pin);
}

}  // namespace tavoro::settings
