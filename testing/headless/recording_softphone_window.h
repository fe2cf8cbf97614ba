#pragma once
// The desktop as the softphone control sees it, without a desktop: top-level windows with
// titles that open and close at set virtual times, one of which may have the keyboard focus.
// Every activation and every typed key is kept with its virtual time, so a test can tell
// which window got which key and when. Keys typed while none of these windows has the focus
// (the user clicked elsewhere, the window closed) are kept apart as lost.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "headless/virtual_clock.h"
#include "platform/softphone_window.h"

namespace tavoro::platform::headless {

struct TypedKey {
  SoftphoneKey key;
  std::uint64_t at_ms = 0;
};

// A key in the notation of the key strings: "^h", "{ENTER}", "1".
std::string KeyNotation(const SoftphoneKey& key);

class RecordingSoftphoneWindow final : public SoftphoneWindow {
 public:
  explicit RecordingSoftphoneWindow(VirtualClock& clock) : clock_(clock) {}

  std::optional<WindowHandle> FindByTitle(std::string_view title) override;
  std::optional<WindowHandle> FindByTitlePrefix(std::string_view prefix) override;
  bool BringToForeground(WindowHandle window) override;
  bool TypeKeys(std::span<const SoftphoneKey> keys) override;

  // A top-level window that exists from `opens_at_ms` on. Searches go through the windows in
  // the order they were added.
  WindowHandle AddWindow(std::string title, std::uint64_t opens_at_ms = 0);
  void CloseWindowAt(WindowHandle window, std::uint64_t at_ms);
  // From `at_ms` on the focus is elsewhere, until the next activation.
  void LoseFocusAt(std::uint64_t at_ms);
  // The system's focus rules refuse every activation (the window still exists).
  void SetRefuseForeground(bool refuse) { refuse_foreground_ = refuse; }
  // The system takes no typed keys at all.
  void SetTypingFails(bool fails) { typing_fails_ = fails; }

  // Times of the activations each window was given; refused ones are not among them.
  const std::vector<std::uint64_t>& activations(WindowHandle window) const;
  const std::vector<TypedKey>& typed(WindowHandle window) const;
  // The keys a window received, in key-string notation.
  std::vector<std::string> KeysTypedInto(WindowHandle window) const;
  const std::vector<TypedKey>& lost_keys() const { return lost_keys_; }
  unsigned refused_activations() const { return refused_activations_; }
  std::optional<WindowHandle> foreground();

 private:
  struct Window {
    std::string title;
    std::uint64_t opens_at_ms;
    std::optional<std::uint64_t> closes_at_ms;
    std::vector<std::uint64_t> activations;
    std::vector<TypedKey> typed;
  };

  bool IsOpen(const Window& window) const;
  std::size_t IndexOf(WindowHandle window) const;
  Window& At(WindowHandle window);
  const Window& At(WindowHandle window) const;

  VirtualClock& clock_;
  std::vector<Window> windows_;  // a handle is its index + 1
  std::optional<WindowHandle> focus_;
  std::uint64_t focus_since_ms_ = 0;
  std::vector<std::uint64_t> focus_losses_ms_;
  bool refuse_foreground_ = false;
  bool typing_fails_ = false;
  unsigned refused_activations_ = 0;
  std::vector<TypedKey> lost_keys_;
};

}  // namespace tavoro::platform::headless
