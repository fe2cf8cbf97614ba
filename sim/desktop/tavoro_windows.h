#pragma once
// How Tavoro's windows look from another process: each form's window class, and the dialog id
// of every control the checks touch. A control's id is 1000 plus its place in the order its
// form declares its controls; menu commands are numbered from 40000 in the menu's written
// order. A form that changes that order fails the checks here, which is the point.

#include <string>

namespace tavoro::e2e {

inline std::wstring FormClass(const wchar_t* form) {
  return std::wstring(L"TavoroForm.") + form;
}

namespace frmMain {
inline constexpr int Label3 = 1000;   // the caption of Skype's state
inline constexpr int Text4 = 1001;    // Skype's state
inline constexpr int Label11 = 1002;  // the caption of the caller
inline constexpr int Text7 = 1003;    // the caller
inline constexpr int Text3 = 1005;    // keys received
inline constexpr int Text8 = 1007;    // X-Lite's state
inline constexpr int ProgressBar1 = 1009;
inline constexpr int Text6 = 1017;  // the device the meter listens to
inline constexpr int MSettei = 40000;
inline constexpr int MHelpMain = 40002;
inline constexpr int MVersionInfo = 40004;
}  // namespace frmMain

namespace frmSetting {
inline constexpr int Text1 = 1003;
inline constexpr int cmdAddUser = 1004;
inline constexpr int List1 = 1005;
inline constexpr int cmdDelUser = 1006;
inline constexpr int Text2 = 1009;
inline constexpr int Check1 = 1011;
inline constexpr int cmdOK = 1012;
inline constexpr int cmdCancel = 1013;
inline constexpr int pin_box = 1017;
inline constexpr int pin_confirmation_box = 1019;
inline constexpr int sip_button = 1020;
}  // namespace frmSetting

namespace frmSipSetting {
inline constexpr int service_check = 1000;
inline constexpr int address_box = 1003;
inline constexpr int registrar_box = 1005;
inline constexpr int user_box = 1007;
inline constexpr int password_box = 1009;
inline constexpr int port_box = 1012;
inline constexpr int test_button = 1017;
inline constexpr int ok_button = 1018;
}  // namespace frmSipSetting

namespace frmAbout {
inline constexpr int lblDisclaimer = 1005;
inline constexpr int Label2 = 1007;  // the maker's site, a link
inline constexpr int cmdOK = 1009;
}  // namespace frmAbout

namespace frmWait {
inline constexpr int Animation1 = 1000;
inline constexpr int Label1 = 1001;
}  // namespace frmWait

}  // namespace tavoro::e2e
