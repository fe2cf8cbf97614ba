#pragma once
// Late binding to an automation object, as a script would do it: each member is found by name
// (GetIDsOfNames, once per name and interface), called through IDispatch::Invoke with
// arguments of the member's own types, and its result converted by the system's rules, so a
// number that comes back as VT_I2, VT_I4 or VT_UI4 serves alike. A failure becomes a
// ClientError with the object's code and description.

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/call_client.h"
#include "win32/com.h"

namespace tavoro::platform::win32 {

// A VARIANT that clears what it holds when it goes.
class Variant {
 public:
  Variant() { ::VariantInit(&value_); }
  ~Variant() { ::VariantClear(&value_); }
  Variant(Variant&& other) noexcept : value_(other.value_) { ::VariantInit(&other.value_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      ::VariantClear(&value_);
      value_ = other.value_;
      ::VariantInit(&other.value_);
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  // Arguments as the library declares them: a 32-bit number (its enumerations too), a
  // VARIANT_BOOL, a BSTR.
  static Variant Long(std::int32_t value);
  static Variant Bool(bool value);
  static Variant Text(std::string_view utf8);

  VARIANT* get() { return &value_; }
  const VARIANT& value() const { return value_; }

 private:
  VARIANT value_;
};

// A value converted as the system converts it, through any VT_BYREF and by-reference VARIANT
// wrapping; one that cannot be converted is a ClientError with the system's code. An unsigned
// number keeps its bits, so an enumeration's -1 sent as VT_UI4 stays -1.
std::int32_t ToInt32(const VARIANT& value);
bool ToBool(const VARIANT& value);
std::string ToText(const VARIANT& value);
// The object in a VT_DISPATCH or VT_UNKNOWN value; none at all is a ClientError too.
ComPtr<IDispatch> ToObject(const VARIANT& value);

// The system's text for a result code, without the line break it ends with; empty if it has
// none.
std::string SystemText(HRESULT code);

// The failure of an Invoke: for DISP_E_EXCEPTION the exception's code and description (the
// library's "Connection refused." and so on), otherwise the result and the system's text.
ClientError InvokeError(HRESULT result, const EXCEPINFO* exception);

// The dispatch ids of one interface's members, each looked up once by name.
class DispatchIds {
 public:
  DISPID Find(IDispatch& object, const wchar_t* name);

 private:
  std::map<std::wstring, DISPID, std::less<>> ids_;
};

// One object reached by late binding, with the ids of its interface (shared by every object of
// that interface).
class LateBound {
 public:
  LateBound(ComPtr<IDispatch> object, std::shared_ptr<DispatchIds> ids)
      : object_(std::move(object)), ids_(std::move(ids)) {}

  // A property read (DISPATCH_PROPERTYGET) or a method call (DISPATCH_METHOD) with the
  // arguments in their declared order.
  template <typename... Arguments>
  Variant Get(const wchar_t* name, Arguments... arguments) {
    return Invoke(name, DISPATCH_PROPERTYGET, List(std::move(arguments)...));
  }
  template <typename... Arguments>
  Variant Call(const wchar_t* name, Arguments... arguments) {
    return Invoke(name, DISPATCH_METHOD, List(std::move(arguments)...));
  }

 private:
  template <typename... Arguments>
  static std::vector<Variant> List(Arguments... arguments) {
    std::vector<Variant> list;
    list.reserve(sizeof...(arguments));
    (list.push_back(std::move(arguments)), ...);
    return list;
  }
  Variant Invoke(const wchar_t* name, WORD flags, std::vector<Variant> arguments);

  ComPtr<IDispatch> object_;
  std::shared_ptr<DispatchIds> ids_;
};

}  // namespace tavoro::platform::win32
