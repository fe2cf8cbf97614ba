#pragma once
// The SIP settings, opened from the settings dialog: whether a SIP account takes Skype's
// place, the account, the port listened on and the sound devices of a call. It keeps nothing
// itself: OK checks what was typed and hands it back, and the settings dialog's OK keeps it
// with everything else.

#include <optional>
#include <string>
#include <vector>

#include "forms/controls.h"
#include "forms/form.h"
#include "platform/sound_devices.h"
#include "settings/sip_setting_check.h"
#include "settings/sip_settings.h"

namespace tavoro::settings {

// What the dialog shows and hands back.
struct SipChoice {
  SipSettings sip;
  std::string password;
  // Whether the password box was changed, and so the password is to be kept anew.
  bool password_edited = false;
};

class frmSipSetting final : public forms::Form {
 public:
  // Without `devices` only the default devices are offered; without `check` there is no test.
  frmSipSetting(platform::Runtime runtime, forms::WindowSystem& windows,
                platform::SoundDevices* devices, RegistrationCheck check, SipChoice initial);

  forms::CheckBox service_check;
  forms::Frame account_frame;
  forms::Label address_label;
  forms::TextBox address_box;
  forms::Label registrar_label;
  forms::TextBox registrar_box;
  forms::Label user_label;
  forms::TextBox user_box;
  forms::Label password_label;
  forms::TextBox password_box;
  forms::Frame call_frame;
  forms::Label port_label;
  forms::TextBox port_box;
  forms::Label capture_label;
  forms::ComboBox capture_list;
  forms::Label playback_label;
  forms::ComboBox playback_list;
  forms::Button test_button;
  forms::Button ok_button;
  forms::Button cancel_button;

  // What OK handed back; none after Cancel or the close box.
  const std::optional<SipChoice>& chosen() const { return chosen_; }

  void test_button_Click();
  void ok_button_Click();

  // The entry that stands for the system's default device, an empty name.
  static constexpr const char* kDefaultDevice = "（既定のデバイス）";

 protected:
  void Form_Load() override;

 private:
  struct DeviceEntries {
    std::vector<std::string> names;   // the device behind each entry; "" for the default
    std::vector<std::string> listed;  // what the system lists now
  };
  static void FillDevices(forms::ComboBox& list, DeviceEntries& entries,
                          std::vector<std::string> listed, const std::string& chosen);
  static std::string ChosenDevice(const forms::ComboBox& list, const DeviceEntries& entries);
  // What the boxes hold now; `service` as given rather than as ticked.
  TypedSipSettings Typed() const;
  void Warn(const std::string& text) const;

  platform::SoundDevices* devices_;
  RegistrationCheck check_;
  SipChoice initial_;
  bool password_edited_ = false;
  DeviceEntries capture_;
  DeviceEntries playback_;
  std::optional<SipChoice> chosen_;
};

}  // namespace tavoro::settings
