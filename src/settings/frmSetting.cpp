#include "settings/frmSetting.h"

#include <algorithm>
#include <string>

#include "product/identity.h"
#include "settings/pin_setting.h"

namespace tavoro::settings {
namespace {

using forms::Bounds;

constexpr const char* kSkypeNamePrompt = "Skype名を入力してください";

std::string AcceptFromKey(int position) {
  return "AcceptFrom-" + std::to_string(position);
}

}  // namespace

frmSetting::frmSetting(platform::Runtime runtime, forms::WindowSystem& windows,
                       modIniEdit& settings, modRegAutoStart& auto_start,
                       platform::CredentialStore& credentials, settings::CallSettings& running,
                       platform::SoundDevices* sound_devices, RegistrationCheck check_registration)
    : Form(runtime, windows, "frmSetting", "Tavorophone\u3000設定", Bounds{0, 0, 5040, 6945},
           forms::BorderStyle::FixedSingle),
      Frame3(*this, "Frame3", {120, 120, 4815, 3855}, "発着信の設定"),
      Frame1(*this, "Frame1", {120, 240, 4575, 2415}, "Skypeユーザー登録", &Frame3),
      Label1(*this, "Label1", {240, 240, 3975, 255}, "次のSkype名からのSkype着信を許可します",
             &Frame1),
      Text1(*this, "Text1", {240, 600, 3255, 270}, &Frame1),
      cmdAddUser(*this, "cmdAddUser", {3600, 600, 735, 255}, "追加", &Frame1),
      List1(*this, "List1", {240, 960, 4095, 960}, &Frame1),
      cmdDelUser(*this, "cmdDelUser", {3600, 2040, 735, 255}, "削除", &Frame1),
      Frame2(*this, "Frame2", {120, 2760, 4575, 975}, "Skype発信先", &Frame3),
      Label2(*this, "Label2", {240, 240, 3615, 255}, "X-Liteへの着信は次のSkype名に転送します",
             &Frame2),
      Text2(*this, "Text2", {240, 480, 4095, 270}, &Frame2),
      Frame4(*this, "Frame4", {120, 4080, 4815, 615}, "起動の設定"),
      Check1(*this, "Check1", {360, 240, 4095, 255}, "Windows起動時に自動的に起動する", &Frame4),
      cmdOK(*this, "cmdOK", {2640, 6360, 1095, 375}, "OK"),
      cmdCancel(*this, "cmdCancel", {3840, 6360, 1095, 375}, "キャンセル"),
      // The PIN's frame is added below the others; the buttons stay at the foot of the dialog.
      pin_frame(*this, "pin_frame", {120, 4800, 4815, 1455}, "暗証番号の設定"),
      pin_note(
          *this, "pin_note", {240, 240, 4455, 450},
          "ひかり電話へ発信する前に押してもらう番号です\r\n（数字4～12桁、空欄なら暗証番号なし）",
          &pin_frame),
      pin_label(*this, "pin_label", {240, 780, 1515, 255}, "暗証番号", &pin_frame),
      pin_box(*this, "pin_box", {1800, 750, 2055, 270}, &pin_frame),
      pin_confirmation_label(*this, "pin_confirmation_label", {240, 1110, 1515, 255},
                             "確認のため再入力", &pin_frame),
      pin_confirmation_box(*this, "pin_confirmation_box", {1800, 1080, 2055, 270}, &pin_frame),
      sip_button(*this, "sip_button", {120, 6360, 1455, 375}, "SIPの設定"),
      settings_(settings),
      auto_start_(auto_start),
      credentials_(credentials),
      running_(running),
      sound_devices_(sound_devices),
      check_registration_(std::move(check_registration)) {
  Text1.tab_index = 0;
  cmdAddUser.tab_index = 1;
  List1.tab_index = 2;
  cmdDelUser.tab_index = 3;
  Text2.tab_index = 4;
  Check1.tab_index = 5;
  cmdOK.tab_index = 6;
  cmdCancel.tab_index = 7;
  Frame3.tab_index = 8;
  Frame1.tab_index = 9;
  Label1.tab_index = 10;
  Frame2.tab_index = 11;
  Label2.tab_index = 12;
  Frame4.tab_index = 13;
  pin_box.tab_index = 14;
  pin_confirmation_box.tab_index = 15;
  pin_frame.tab_index = 16;
  pin_note.tab_index = 17;
  pin_label.tab_index = 18;
  pin_confirmation_label.tab_index = 19;
  sip_button.tab_index = 20;
  pin_box.masked = true;
  pin_confirmation_box.masked = true;
  Text1.tooltip = kSkypeNamePrompt;
  Text2.tooltip = kSkypeNamePrompt;
  cmdOK.is_default = true;

  cmdAddUser.Click = [this] { cmdAddUser_Click(); };
  cmdDelUser.Click = [this] { cmdDelUser_Click(); };
  cmdOK.Click = [this] { cmdOK_Click(); };
  cmdCancel.Click = [this] { cmdCancel_Click(); };
  sip_button.Click = [this] { sip_button_Click(); };
  pin_box.Change = [this] { pin_edited_ = true; };
  pin_confirmation_box.Change = [this] { pin_edited_ = true; };
}

void frmSetting::Form_Load() {
  Text2.set_text(settings_.ReadSetting("Skype", "CallTo"));
  for (int position = 1; position <= kMaxAcceptedCallers; ++position) {
    const std::string name = settings_.ReadSetting("Skype", AcceptFromKey(position));
    if (!name.empty())
      List1.AddItem(name);
  }
  Check1.set_checked(settings_.ReadSetting("Startup", "WithWindows") == "1");
  // A PIN that cannot be read shows as empty boxes and stays kept until the user types one.
  std::string pin = ReadPin(credentials_);
  if (pin == kUnusablePin)
    pin.clear();
  pin_box.set_text(pin);
  pin_confirmation_box.set_text(pin);
  pin_edited_ = false;
  loaded_sip_ = ReadSipSettings(settings_);
  sip_ = SipChoice{loaded_sip_, ReadSipPassword(credentials_), false};
  NameTheService();
}

void frmSetting::NameTheService() {
  const RemoteService service = sip_.sip.service;
  Frame1.set_caption(ServiceText("Skypeユーザー登録", service));
  Label1.set_caption(ServiceText("次のSkype名からのSkype着信を許可します", service));
  Frame2.set_caption(ServiceText("Skype発信先", service));
  Label2.set_caption(ServiceText("X-Liteへの着信は次のSkype名に転送します", service));
  Text1.set_tooltip(ServiceText(kSkypeNamePrompt, service));
  Text2.set_tooltip(ServiceText(kSkypeNamePrompt, service));
}

void frmSetting::sip_button_Click() {
  frmSipSetting dialog(runtime(), windows(), sound_devices_, check_registration_, sip_);
  dialog.Show(forms::ShowMode::Modal);
  if (!dialog.chosen())
    return;
  sip_ = *dialog.chosen();
  NameTheService();
}

bool frmSetting::PinUsableAfterOk() const {
  if (pin_edited_)
    return !pin_box.text().empty();
  const std::string kept = ReadPin(credentials_);
  return !kept.empty() && kept != kUnusablePin;
}

bool frmSetting::SaveSipPasswordIfEdited() {
  if (!sip_.password_edited)
    return true;
  const platform::SystemCode saved = SaveSipPassword(credentials_, sip_.password);
  if (saved != platform::kSuccess) {
    runtime().boxes.MsgBox(
        "SIPのパスワードを保存できませんでした。前のパスワードのままです。\r\nエラー番号: " +
            std::to_string(saved),
        platform::MsgBoxIcon::Exclamation, kProgramTitle);
    return false;
  }
  sip_.password_edited = false;
  return true;
}

bool frmSetting::SavePinIfEdited() {
  if (!pin_edited_)
    return true;
  const std::string& pin = pin_box.text();
  const platform::SystemCode saved = SavePin(credentials_, pin);
  if (saved != platform::kSuccess) {
    runtime().boxes.MsgBox(
        "暗証番号を保存できませんでした。前の暗証番号のままです。\r\nエラー番号: " +
            std::to_string(saved),
        platform::MsgBoxIcon::Exclamation, kProgramTitle);
    return false;
  }
  running_.pin = pin;
  return true;
}

void frmSetting::cmdAddUser_Click() {
  const std::string& name = Text1.text();
  if (name.empty())
    return;
  const auto& items = List1.items();
  if (std::find(items.begin(), items.end(), name) != items.end())
    return;
  // The file holds 100 callers; a longer list would lose its last entries without a word.
  if (List1.ListCount() >= kMaxAcceptedCallers) {
    runtime().boxes.MsgBox(
        ServiceText("着信を許可できるSkype名は100件までです。", sip_.sip.service),
        platform::MsgBoxIcon::Information, kProgramTitle);
    return;
  }
  List1.AddItem(name);
}

void frmSetting::cmdDelUser_Click() {
  if (List1.list_index() != forms::ListBox::kNoSelection)
    List1.RemoveItem(List1.list_index());
}

void frmSetting::cmdOK_Click() {
  // Checked first: a PIN that is refused leaves the dialog open with nothing written, so the
  // user corrects it without losing the other changes.
  if (pin_edited_) {
    if (const auto problem = PinProblem(pin_box.text(), pin_confirmation_box.text())) {
      runtime().boxes.MsgBox(*problem, platform::MsgBoxIcon::Exclamation, kProgramTitle);
      return;
    }
  }
  // Anyone can claim a SIP address; only the PIN keeps a stranger off the home line.
  if (sip_.sip.service == RemoteService::Sip && !PinUsableAfterOk()) {
    runtime().boxes.MsgBox("SIPを使うには暗証番号が必要です。暗証番号を設定してください。",
                           platform::MsgBoxIcon::Exclamation, kProgramTitle);
    return;
  }
  if (!SavePinIfEdited() || !SaveSipPasswordIfEdited())
    return;
  bool written = settings_.WriteSetting("Skype", "CallTo", Text2.text());
  running_.call_to = Text2.text();
  for (int position = 1; position <= kMaxAcceptedCallers; ++position) {
    const std::string name =
        position <= List1.ListCount() ? List1.items()[static_cast<std::size_t>(position - 1)] : "";
    written = settings_.WriteSetting("Skype", AcceptFromKey(position), name) && written;
    running_.accepted_callers[static_cast<std::size_t>(position)] = name;
  }
  const bool on = Check1.checked();
  written = settings_.WriteSetting("Startup", "WithWindows", on ? "1" : "0") && written;
  // A Skype set-up whose SIP settings were never touched keeps a file without the section.
  if (sip_.sip != loaded_sip_)
    written = WriteSipSettings(settings_, sip_.sip) && written;
  // Otherwise the next start would silently find the old settings, or none.
  if (!written) {
    runtime().boxes.MsgBox("設定ファイルに書き込めませんでした。\r\n" + settings_.SettingsPath(),
                           platform::MsgBoxIcon::Exclamation, kProgramTitle);
  }
  auto_start_.ApplyAutoStart(on);
  // The remote side is chosen once, at start-up; a switch the file did not take is none.
  if (written && sip_.sip.service != loaded_sip_.service) {
    runtime().boxes.MsgBox(
        "SkypeとSIPの切り替えは、次にTavorophoneを起動したときから有効になります。",
        platform::MsgBoxIcon::Information, kProgramTitle);
  }
  Unload();
}

void frmSetting::cmdCancel_Click() {
  Unload();
}

}  // namespace tavoro::settings
