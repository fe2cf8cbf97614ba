#pragma once
// The base of every object the stand-in hands out: reference counting, and IDispatch taken
// from the type library, so that names, dispatch ids, argument conversion and default values
// are the type library's own and a member's failure reaches the caller as the library's
// EXCEPINFO.

#include <windows.h>

#include <oleauto.h>

#include <new>
#include <utility>

#include "stand_in.h"
#include "win32/com.h"

namespace tavoro::sim::skype4com {

// `Interface` is the object's dual interface; `More` are further interfaces it implements.
template <typename Interface, typename... More>
class AutomationObject : public platform::win32::ComObject<Interface, ISupportErrorInfo, More...> {
 public:
  AutomationObject() { ObjectCreated(); }
  ~AutomationObject() override {
    if (type_info_ != nullptr)
      type_info_->Release();
    ObjectDestroyed();
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr)
      return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr)
      return E_POINTER;
    *info = nullptr;
    if (index != 0)
      return DISP_E_BADINDEX;
    const HRESULT loaded = Load();
    if (FAILED(loaded))
      return loaded;
    type_info_->AddRef();
    *info = type_info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (iid != IID_NULL)
      return DISP_E_UNKNOWNINTERFACE;
    const HRESULT loaded = Load();
    if (FAILED(loaded))
      return loaded;
    return ::DispGetIDsOfNames(type_info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override {
    if (iid != IID_NULL)
      return DISP_E_UNKNOWNINTERFACE;
    const HRESULT loaded = Load();
    if (FAILED(loaded))
      return loaded;
    // Keeps the object alive should a member end the caller's last reference. A member's
    // failure comes back as DISP_E_EXCEPTION, its description taken from the error info
    // (ReportError) by the system's dispatcher.
    this->AddRef();
    ::SetErrorInfo(0, nullptr);
    const HRESULT invoked = ::DispInvoke(static_cast<Interface*>(this), type_info_, id, flags,
                                         params, result, exception, argument_error);
    this->Release();
    return invoked;
  }

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == __uuidof(Interface) ? S_OK : S_FALSE;
  }

 protected:
  // Every object answers as the IDispatch its dual interface is.
  void* OtherInterface(REFIID iid) override {
    return iid == IID_IDispatch ? static_cast<Interface*>(this) : nullptr;
  }

  HRESULT Fail(HRESULT code, std::wstring_view description) {
    return ReportError(__uuidof(Interface), code, description);
  }
  HRESULT Injected(std::string_view operation) {
    return InjectedFailureFor(operation, __uuidof(Interface));
  }

 private:
  HRESULT Load() {
    return type_info_ != nullptr ? S_OK : TypeInfoOf(__uuidof(Interface), &type_info_);
  }

  ITypeInfo* type_info_ = nullptr;
};

// Makes an object with its first reference and hands out the interface asked for.
template <typename Object, typename... Arguments>
HRESULT MakeObject(REFIID iid, void** result, Arguments&&... arguments) {
  if (result == nullptr)
    return E_POINTER;
  *result = nullptr;
  auto* object = new (std::nothrow) Object(std::forward<Arguments>(arguments)...);
  if (object == nullptr)
    return E_OUTOFMEMORY;
  const HRESULT queried = object->QueryInterface(iid, result);
  object->Release();
  return queried;
}

}  // namespace tavoro::sim::skype4com
