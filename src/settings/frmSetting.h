#pragma once
// The settings dialog: the accepted callers, the Skype user a home-line ring goes to, and
// start with Windows. Filled from the settings file each time it opens; OK writes everything
// back and updates the running program at once; Cancel and the close box change nothing.

#include "forms/controls.h"
#include "forms/form.h"
#include "settings/call_settings.h"
#include "settings/modIniEdit.h"
#include "settings/modRegAutoStart.h"

namespace tavoro::settings {

class frmSetting final : public forms::Form {
 public:
  frmSetting(platform::Runtime runtime, forms::WindowSystem& windows, modIniEdit& settings,
             modRegAutoStart& auto_start, settings::CallSettings& running);

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

  void cmdAddUser_Click();
  void cmdDelUser_Click();
  void cmdOK_Click();
  void cmdCancel_Click();

 protected:
  void Form_Load() override;

 private:
  modIniEdit& settings_;
  modRegAutoStart& auto_start_;
  settings::CallSettings& running_;
};

}  // namespace tavoro::settings
