// The in-process server: the DLL's entry points, the class factory of the Skype class, its
// registration (ProgID, class, type library) and the type library embedded as resource
// TYPELIB 1, from which every object takes its dispatch.

#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <mutex>
#include <string>

#include "stand_in.h"
#include "win32/com.h"

namespace tavoro::sim::skype4com {

HRESULT CreateSkypeObject(REFIID iid, void** object);

namespace {

HINSTANCE module_instance = nullptr;
std::atomic<long> live_objects{0};
std::atomic<long> server_locks{0};

std::mutex type_library_mutex;
ITypeLib* type_library = nullptr;

constexpr wchar_t kProgId[] = L"Skype4COM.Skype";
constexpr wchar_t kVersionedProgId[] = L"Skype4COM.Skype.1";
constexpr wchar_t kClassDescription[] = L"Skype Class";

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

// A static object: the module holds its first reference for as long as it is loaded.
class ClassFactory final : public platform::win32::ComObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr)
      return E_POINTER;
    *object = nullptr;
    if (outer != nullptr)
      return CLASS_E_NOAGGREGATION;
    return CreateSkypeObject(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    skype4com::LockServer(lock != FALSE);
    return S_OK;
  }
};

ClassFactory class_factory;

LSTATUS SetValue(HKEY root, const std::wstring& path, const wchar_t* name,
                 const std::wstring& data) {
  HKEY key = nullptr;
  LSTATUS status =
      ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS)
    return status;
  status = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return status;
}

HRESULT Registered(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

}  // namespace

HINSTANCE Module() {
  return module_instance;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(module_instance, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ObjectCreated() {
  ++live_objects;
}

void ObjectDestroyed() {
  if (--live_objects == 0) {
    // The last object is gone: the type library may go too, so that the DLL can unload.
    std::lock_guard lock(type_library_mutex);
    if (type_library != nullptr && live_objects == 0) {
      type_library->Release();
      type_library = nullptr;
    }
  }
}

void LockServer(bool lock) {
  if (lock)
    ++server_locks;
  else
    --server_locks;
}

bool CanUnload() {
  return live_objects == 0 && server_locks == 0;
}

HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** info) {
  *info = nullptr;
  std::lock_guard lock(type_library_mutex);
  if (type_library == nullptr) {
    const HRESULT loaded = ::LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &type_library);
    if (FAILED(loaded))
      return loaded;
  }
  return type_library->GetTypeInfoOfGuid(guid, info);
}

BSTR NewBstr(std::wstring_view text) {
  return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::wstring FromBstr(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, ::SysStringLen(text));
}

HRESULT ReportError(REFGUID interface_id, HRESULT code, std::wstring_view description) {
  ICreateErrorInfo* created = nullptr;
  if (SUCCEEDED(::CreateErrorInfo(&created))) {
    const std::wstring text(description);
    created->SetGUID(interface_id);
    created->SetSource(const_cast<wchar_t*>(kProgId));
    created->SetDescription(const_cast<wchar_t*>(text.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(created->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      ::SetErrorInfo(0, info);
      info->Release();
    }
    created->Release();
  }
  return code;
}

}  // namespace tavoro::sim::skype4com

using namespace tavoro::sim::skype4com;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    module_instance = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr)
    return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_Skype)
    return CLASS_E_CLASSNOTAVAILABLE;
  return class_factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return CanUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring clsid = GuidText(CLSID_Skype);
  const std::wstring class_key = L"Software\\Classes\\CLSID\\" + clsid;
  const std::wstring path = ModulePath();
  // Machine-wide, where the library registers itself; the views of a 32-bit and a 64-bit
  // server stay apart for the class, while the ProgID is shared and names the same class.
  const HKEY root = HKEY_LOCAL_MACHINE;
  for (const LSTATUS status : {
           SetValue(root, L"Software\\Classes\\" + std::wstring(kProgId), nullptr,
                    kClassDescription),
           SetValue(root, L"Software\\Classes\\" + std::wstring(kProgId) + L"\\CLSID", nullptr,
                    clsid),
           SetValue(root, L"Software\\Classes\\" + std::wstring(kProgId) + L"\\CurVer", nullptr,
                    kVersionedProgId),
           SetValue(root, L"Software\\Classes\\" + std::wstring(kVersionedProgId), nullptr,
                    kClassDescription),
           SetValue(root, L"Software\\Classes\\" + std::wstring(kVersionedProgId) + L"\\CLSID",
                    nullptr, clsid),
           SetValue(root, class_key, nullptr, kClassDescription),
           SetValue(root, class_key + L"\\InprocServer32", nullptr, path),
           SetValue(root, class_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
           SetValue(root, class_key + L"\\ProgID", nullptr, kVersionedProgId),
           SetValue(root, class_key + L"\\VersionIndependentProgID", nullptr, kProgId),
           SetValue(root, class_key + L"\\TypeLib", nullptr, GuidText(LIBID_SKYPE4COMLib)),
       }) {
    if (status != ERROR_SUCCESS)
      return Registered(status);
  }
  // Registers the library and, through it, the dual interfaces for the system's marshaller.
  ITypeLib* library = nullptr;
  const HRESULT result = ::LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library);
  if (SUCCEEDED(result))
    library->Release();
  return result;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const std::wstring clsid = GuidText(CLSID_Skype);
  const HKEY root = HKEY_LOCAL_MACHINE;
  ::RegDeleteTreeW(root, (L"Software\\Classes\\CLSID\\" + clsid).c_str());
  ::RegDeleteTreeW(root, (L"Software\\Classes\\" + std::wstring(kProgId)).c_str());
  ::RegDeleteTreeW(root, (L"Software\\Classes\\" + std::wstring(kVersionedProgId)).c_str());
  ::UnRegisterTypeLib(LIBID_SKYPE4COMLib, 1, 0, LOCALE_NEUTRAL,
                      sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return S_OK;
}
