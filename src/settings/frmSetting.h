#pragma once
// The settings dialog: the accepted callers, the Skype user a home-line ring goes to, start
// with Windows, the PIN callers key before they dial, and (through its own dialog) the SIP
// account that may take Skype's place. Filled from the settings file and the credential store
// each time it opens; OK writes everything back and updates the running program at once;
// Cancel and the close box change nothing.

#include "forms/controls.h"
#include "forms/form.h"
#include "platform/credential_store.h"
#include "platform/sound_devices.h"
#include "settings/call_settings.h"
#include "settings/frmSipSetting.h"
#include "settings/modIniEdit.h"
#include "settings/modRegAutoStart.h"
#include "settings/sip_settings.h"

namespace tavoro::settings {

class frmSetting final : public forms::Form {
 public:
  frmSetting(platform::Runtime runtime, forms::WindowSystem& windows, modIniEdit& settings,
             modRegAutoStart& auto_start, platform::CredentialStore& credentials,
             settings::CallSettings& running, platform::SoundDevices* sound_devices = nullptr,
             RegistrationCheck check_registration = {});

  forms::Frame Frame3;
  forms::Frame Frame1;
  forms::Label Label1;
  forms::TextBox Text1;
  forms::Button cmdAddUser;
  forms::ListBox List1;
  forms::Button cmdDelUser;
  forms::Frame Frame2;
  forms::Label Label2;
  forms::TextBox Text2;
  forms::Frame Frame4;
  forms::CheckBox Check1;
  forms::Button cmdOK;
  forms::Button cmdCancel;
  // Declared after the older controls, which so keep the ids other programs find them by.
  forms::Frame pin_frame;
  forms::Label pin_note;
  forms::Label pin_label;
  forms::TextBox pin_box;
  forms::Label pin_confirmation_label;
  forms::TextBox pin_confirmation_box;
  forms::Button sip_button;

  void cmdAddUser_Click();
  void cmdDelUser_Click();
  void cmdOK_Click();
  void cmdCancel_Click();
  void sip_button_Click();

 protected:
  void Form_Load() override;

 private:
  // False when the PIN boxes stand as loaded, or a PIN that could not be read is left as it
  // is; true once they were changed and so are to be saved.
  bool pin_edited_ = false;
  // Keeps the PIN as typed, once checked; false, with the user told why, when it was not kept.
  bool SavePinIfEdited();
  // The PIN callers will key after this OK: the typed one when edited, else the kept one.
  bool PinUsableAfterOk() const;
  // Names the remote side chosen now in the texts that name it.
  void NameTheService();
  // Keeps the SIP password when it was edited; false, with the user told why, otherwise.
  bool SaveSipPasswordIfEdited();

  // The SIP settings as loaded, and as chosen in this showing.
  SipSettings loaded_sip_;
  SipChoice sip_;

  modIniEdit& settings_;
  modRegAutoStart& auto_start_;
  platform::CredentialStore& credentials_;
  settings::CallSettings& running_;
  platform::SoundDevices* sound_devices_;
  RegistrationCheck check_registration_;
};

}  // namespace tavoro::settings
