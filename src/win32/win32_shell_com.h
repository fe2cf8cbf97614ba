#pragma once
// Owners for the shell's COM objects and for the thread's COM apartment.

#include <windows.h>

#include <objbase.h>

#include <utility>

namespace tavoro::platform::win32 {

// Joins the calling thread to a single-threaded apartment for the owner's life, as the
// shell's objects expect of a window thread. Make it first in the entry point, so that every
// COM object is released before the apartment is left.
class ComApartment {
 public:
  ComApartment() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_))
      ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  bool joined() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

// One reference to a COM object, released when the owner goes.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Where a creating or querying call stores the new reference; the old one is released.
  void** Receive() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }

  void Reset() {
    if (pointer_ != nullptr)
      std::exchange(pointer_, nullptr)->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace tavoro::platform::win32
