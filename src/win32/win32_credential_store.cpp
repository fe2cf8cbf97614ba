#include "win32/win32_credential_store.h"

#include <windows.h>

#include <wincred.h>

#include "win32/wide_text.h"

namespace tavoro::platform::win32 {

// The secret is kept as UTF-8 bytes: the store holds a blob, and these bytes read back
// unchanged whatever the system's code page.
SystemCode Win32CredentialStore::Read(std::string_view target, std::string& secret) {
  PCREDENTIALW credential = nullptr;
  if (!::CredReadW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0, &credential))
    return static_cast<SystemCode>(::GetLastError());
  secret.assign(reinterpret_cast<const char*>(credential->CredentialBlob),
                credential->CredentialBlobSize);
  ::CredFree(credential);
  return kSuccess;
}

SystemCode Win32CredentialStore::Write(std::string_view target, std::string_view secret) {
  std::wstring wide_target = Widen(target);
  std::string blob(secret);
  CREDENTIALW credential{};
  credential.Type = CRED_TYPE_GENERIC;
  credential.TargetName = wide_target.data();
  credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
  credential.CredentialBlob = reinterpret_cast<BYTE*>(blob.data());
  // Kept for this user on this machine only: it never roams with the profile.
  credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
  if (!::CredWriteW(&credential, 0))
    return static_cast<SystemCode>(::GetLastError());
  return kSuccess;
}

SystemCode Win32CredentialStore::Remove(std::string_view target) {
  if (!::CredDeleteW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0))
    return static_cast<SystemCode>(::GetLastError());
  return kSuccess;
}

}  // namespace tavoro::platform::win32
