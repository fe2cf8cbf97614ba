#include "headless/recording_softphone_window.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ascii.h"

namespace tavoro::platform::headless {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string KeyNotation(const SoftphoneKey& key) {
  std::string notation = key.ctrl ? "^" : "";
  if (key.kind == SoftphoneKey::Kind::Enter) {
    notation += "{ENTER}";
  } else {
    AppendUtf8(notation, key.character);
  }
  return notation;
}

std::optional<WindowHandle> RecordingSoftphoneWindow::FindByTitle(std::string_view title) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (IsOpen(windows_[i]) && EqualsIgnoringAsciiCase(windows_[i].title, title))
      return WindowHandle{i + 1};
  }
  return std::nullopt;
}

std::optional<WindowHandle> RecordingSoftphoneWindow::FindByTitlePrefix(std::string_view prefix) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (IsOpen(windows_[i]) && windows_[i].title.size() >= prefix.size() &&
        EqualsIgnoringAsciiCase(std::string_view(windows_[i].title).substr(0, prefix.size()),
                                prefix))
      return WindowHandle{i + 1};
  }
  return std::nullopt;
}

bool RecordingSoftphoneWindow::BringToForeground(WindowHandle handle) {
  Window& window = At(handle);
  if (!IsOpen(window))
    return false;
  if (refuse_foreground_) {
    ++refused_activations_;
    return false;
  }
  window.activations.push_back(clock_.Milliseconds());
  focus_ = handle;
  focus_since_ms_ = clock_.Milliseconds();
  return true;
}

bool RecordingSoftphoneWindow::TypeKeys(std::span<const SoftphoneKey> keys) {
  if (typing_fails_)
    return false;
  const std::optional<WindowHandle> target = foreground();
  for (const SoftphoneKey& key : keys) {
    const TypedKey typed{key, clock_.Milliseconds()};
    if (target) {
      At(*target).typed.push_back(typed);
    } else {
      lost_keys_.push_back(typed);
    }
  }
  return true;
}

WindowHandle RecordingSoftphoneWindow::AddWindow(std::string title, std::uint64_t opens_at_ms) {
  windows_.push_back({std::move(title), opens_at_ms, std::nullopt, {}, {}});
  return WindowHandle{windows_.size()};
}

void RecordingSoftphoneWindow::CloseWindowAt(WindowHandle window, std::uint64_t at_ms) {
  At(window).closes_at_ms = at_ms;
}

void RecordingSoftphoneWindow::LoseFocusAt(std::uint64_t at_ms) {
  focus_losses_ms_.push_back(at_ms);
}

const std::vector<std::uint64_t>& RecordingSoftphoneWindow::activations(WindowHandle window) const {
  return At(window).activations;
}

const std::vector<TypedKey>& RecordingSoftphoneWindow::typed(WindowHandle window) const {
  return At(window).typed;
}

std::vector<std::string> RecordingSoftphoneWindow::KeysTypedInto(WindowHandle window) const {
  std::vector<std::string> keys;
  for (const TypedKey& typed : At(window).typed)
    keys.push_back(KeyNotation(typed.key));
  return keys;
}

std::optional<WindowHandle> RecordingSoftphoneWindow::foreground() {
  if (!focus_ || !IsOpen(At(*focus_)))
    return std::nullopt;
  // An activation at the very moment of a loss wins: the loss happened first.
  const std::uint64_t now = clock_.Milliseconds();
  const bool lost =
      std::any_of(focus_losses_ms_.begin(), focus_losses_ms_.end(),
                  [&](std::uint64_t at) { return at > focus_since_ms_ && at <= now; });
  if (lost)
    return std::nullopt;
  return focus_;
}

bool RecordingSoftphoneWindow::IsOpen(const Window& window) const {
  const std::uint64_t now = clock_.Milliseconds();
  return now >= window.opens_at_ms && (!window.closes_at_ms || now < *window.closes_at_ms);
}

std::size_t RecordingSoftphoneWindow::IndexOf(WindowHandle window) const {
  const auto handle = static_cast<std::size_t>(window);
  if (handle == 0 || handle > windows_.size())
    throw std::out_of_range("no such window");
  return handle - 1;
}

RecordingSoftphoneWindow::Window& RecordingSoftphoneWindow::At(WindowHandle window) {
  return windows_[IndexOf(window)];
}

const RecordingSoftphoneWindow::Window& RecordingSoftphoneWindow::At(WindowHandle window) const {
  return windows_[IndexOf(window)];
}

}  // namespace tavoro::platform::headless
