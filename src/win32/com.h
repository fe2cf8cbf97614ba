#pragma once
// The COM toolkit of every Windows part of the project: the program, the stand-ins and the
// test fakes.
//
// References are held by ComPtr. Put() is where a creating or querying call stores a new one,
// with IID_PPV_ARGS, which takes the interface's id from the pointer's type, so no cast can pair
// a pointer with the wrong id.
//
// Objects of our own get IUnknown from ComObject.

#include <windows.h>

#include <objbase.h>
#include <unknwn.h>

#include <utility>

namespace tavoro::platform::win32 {

// One reference to a COM object, released when the owner goes. Not the toolchain's WRL
// ComPtr: its Attach adds a reference instead of taking over the caller's, so every attached
// object would leak one.
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

  // Lends the pointer; the reference stays here.
  Interface* Get() const { return pointer_; }
  // Takes over a reference the caller holds, releasing the old one.
  void Attach(Interface* pointer) {
    Reset();
    pointer_ = pointer;
  }
  // Hands the reference over to the caller.
  Interface* Detach() { return std::exchange(pointer_, nullptr); }
  // Where a call stores a new reference; the old one is released first.
  Interface** Put() {
    Reset();
    return &pointer_;
  }

  void Reset() {
    if (pointer_ != nullptr)
      std::exchange(pointer_, nullptr)->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

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

// IUnknown for an object that implements `First` and `Rest`. QueryInterface answers IUnknown
// (with `First`, the object's identity) and the id of each listed interface; a derived class
// answers further ids (a base such as IDispatch, an event interface it stands for) in
// OtherInterface. An object starts with one reference, its creator's, and deletes itself when
// the last one is released; a static object keeps that first reference for the module's life.
// One thread (an apartment's) calls it, so the count needs no interlocking.
template <typename First, typename... Rest>
class ComObject : public First, public Rest... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr)
      return E_POINTER;
    *object = Find(iid);
    if (*object == nullptr)
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0)
      delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

  // The interface for an id beyond the listed ones, or nothing.
  virtual void* OtherInterface(REFIID) { return nullptr; }

 private:
  void* Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == __uuidof(First))
      return static_cast<First*>(this);
    void* found = nullptr;
    ((found == nullptr && iid == __uuidof(Rest) ? found = static_cast<Rest*>(this) : nullptr), ...);
    return found != nullptr ? found : OtherInterface(iid);
  }

  ULONG references_ = 1;
};

}  // namespace tavoro::platform::win32
