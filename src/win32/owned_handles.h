#pragma once
// Owners for the window-system handles the form windows hold: each releases its handle with the
// one call that matches how it was made, exactly once, when its owner goes.

#include <windows.h>

#include <utility>

namespace tavoro::platform::win32 {

template <typename Handle, auto Release>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other)
      reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Gives the handle to whoever takes it over (a window owns the menu set on it).
  Handle release() { return std::exchange(handle_, nullptr); }
  // The old handle is forgotten before it is released: destroying a window sends messages,
  // and a handler reached by them must not find it here any more.
  void reset(Handle handle = nullptr) {
    if (Handle old = std::exchange(handle_, handle))
      Release(old);
  }

 private:
  Handle handle_ = nullptr;
};

using OwnedWindow = Owned<HWND, &::DestroyWindow>;
using OwnedMenu = Owned<HMENU, &::DestroyMenu>;
using OwnedIcon = Owned<HICON, &::DestroyIcon>;
using OwnedFont = Owned<HFONT, &::DeleteObject>;
using OwnedBrush = Owned<HBRUSH, &::DeleteObject>;

}  // namespace tavoro::platform::win32
