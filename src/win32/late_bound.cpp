#include "win32/late_bound.h"

#include <oleauto.h>

#include <new>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

// The EXCEPINFO of one Invoke, whose texts are the caller's to free.
struct ExceptionInfo {
  EXCEPINFO info{};
  ExceptionInfo() = default;
  ~ExceptionInfo() {
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
  }
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
};

std::string FromBstr(BSTR text) {
  return text == nullptr ? std::string() : Narrow(std::wstring_view(text, ::SysStringLen(text)));
}

ClientError ConversionError(HRESULT code) {
  const std::string text = SystemText(code);
  return ClientError(code, text.empty() ? "Type mismatch" : text);
}

// `value` without its VT_VARIANT | VT_BYREF wrappers and with one level of VT_BYREF resolved,
// ready for VariantChangeType.
Variant Plain(const VARIANT& value) {
  const VARIANT* inner = &value;
  // Wrapping has no reason to nest deeply; a loop of references must not hang the program.
  for (int depth = 0; depth < 16 && V_VT(inner) == (VT_VARIANT | VT_BYREF); ++depth) {
    if (V_VARIANTREF(inner) == nullptr)
      throw ConversionError(E_POINTER);
    inner = V_VARIANTREF(inner);
  }
  Variant plain;
  // The system's declaration lacks the const; it only reads the source.
  const HRESULT copied = ::VariantCopyInd(plain.get(), const_cast<VARIANT*>(inner));
  if (FAILED(copied))
    throw ConversionError(copied);
  return plain;
}

Variant Converted(const VARIANT& value, VARTYPE type) {
  Variant result = Plain(value);
  const HRESULT changed = ::VariantChangeType(result.get(), result.get(), 0, type);
  if (FAILED(changed))
    throw ConversionError(changed);
  return result;
}

}  // namespace

Variant Variant::Long(std::int32_t value) {
  Variant result;
  V_VT(&result.value_) = VT_I4;
  V_I4(&result.value_) = value;
  return result;
}

Variant Variant::Bool(bool value) {
  Variant result;
  V_VT(&result.value_) = VT_BOOL;
  V_BOOL(&result.value_) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return result;
}

Variant Variant::Text(std::string_view utf8) {
  const std::wstring wide = Widen(utf8);
  BSTR text = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (text == nullptr)
    throw std::bad_alloc();
  Variant result;
  V_VT(&result.value_) = VT_BSTR;
  V_BSTR(&result.value_) = text;
  return result;
}

std::int32_t ToInt32(const VARIANT& value) {
  const Variant plain = Plain(value);
  // VariantChangeType would call 0xFFFFFFFF an overflow; the sender meant -1.
  if (V_VT(&plain.value()) == VT_UI4)
    return static_cast<std::int32_t>(V_UI4(&plain.value()));
  if (V_VT(&plain.value()) == VT_UINT)
    return static_cast<std::int32_t>(V_UINT(&plain.value()));
  return V_I4(&Converted(plain.value(), VT_I4).value());
}

bool ToBool(const VARIANT& value) {
  return V_BOOL(&Converted(value, VT_BOOL).value()) != VARIANT_FALSE;
}

std::string ToText(const VARIANT& value) {
  return FromBstr(V_BSTR(&Converted(value, VT_BSTR).value()));
}

ComPtr<IDispatch> ToObject(const VARIANT& value) {
  const Variant converted = Converted(value, VT_DISPATCH);
  IDispatch* object = V_DISPATCH(&converted.value());
  if (object == nullptr)
    throw ClientError(E_POINTER, "The object was not set");
  ComPtr<IDispatch> result;
  const HRESULT queried = object->QueryInterface(IID_PPV_ARGS(result.Put()));
  if (FAILED(queried))
    throw ConversionError(queried);
  return result;
}

std::string SystemText(HRESULT code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return Narrow(text);
}

ClientError InvokeError(HRESULT result, const EXCEPINFO* exception) {
  HRESULT code = result;
  std::string description;
  if (result == DISP_E_EXCEPTION && exception != nullptr) {
    // A 16-bit error code is an application error number; it is carried the way Visual
    // Basic carries its own (FACILITY_CONTROL).
    if (exception->scode != 0)
      code = exception->scode;
    else if (exception->wCode != 0)
      code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception->wCode);
    description = FromBstr(exception->bstrDescription);
  }
  if (description.empty())
    description = SystemText(code);
  if (description.empty())
    description = "Automation error";
  return ClientError(static_cast<std::int32_t>(code), description);
}

DISPID DispatchIds::Find(IDispatch& object, const wchar_t* name) {
  const auto found = ids_.find(std::wstring_view(name));
  if (found != ids_.end())
    return found->second;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT result = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) {
    const std::string text = SystemText(result);
    throw ClientError(result, (text.empty() ? "Unknown name" : text) + ": " + Narrow(name));
  }
  ids_.emplace(name, id);
  return id;
}

Variant LateBound::Invoke(const wchar_t* name, WORD flags, std::vector<Variant> arguments) {
  const DISPID id = ids_->Find(*object_.operator->(), name);
  // DISPPARAMS holds the arguments last first. The copies are shallow: `arguments` keeps
  // owning what they point to.
  std::vector<VARIANT> reversed;
  reversed.reserve(arguments.size());
  for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument)
    reversed.push_back(argument->value());
  DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  Variant result;
  ExceptionInfo exception;
  UINT argument_error = 0;
  const HRESULT invoked = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                          result.get(), &exception.info, &argument_error);
  if (FAILED(invoked)) {
    if (invoked == DISP_E_EXCEPTION && exception.info.pfnDeferredFillIn != nullptr)
      exception.info.pfnDeferredFillIn(&exception.info);
    throw InvokeError(invoked, &exception.info);
  }
  return result;
}

}  // namespace tavoro::platform::win32
