#include "app/frmMain.h"

#include "app/run_time_error.h"
#include "platform/clock.h"
#include "product/identity.h"
#include "settings/frmSetting.h"
#include "settings/modIniEdit.h"
#include "settings/pin_setting.h"
#include "ui/frmAbout.h"
#include "ui/frmWait.h"
#include "ui/modHTMLHelp.h"

namespace tavoro::app {
namespace {

using forms::Bounds;
using platform::MsgBoxIcon;

constexpr std::string_view kSettingsSection = "Skype";
constexpr std::string_view kAskForSettings = "初期設定をしてください";
constexpr std::string_view kStartingSkype = "Skypeを起動します:";
constexpr std::string_view kTalkingToSkype = "Skypeと通信を試みています";
constexpr std::string_view kWaitingForSkype = "Skypeの応答待ちです:";
constexpr std::int64_t kCountdownSeconds = 15;
constexpr std::uint32_t kFlashMs = 500;

constexpr std::string_view kAttachmentRefused =
    "Skypeがこのアプリケーションと連携できるように設定してください。\r\n"
    "\r\n"
    "一旦このアプリケーションを終了しますので、再度このアプリケーションを起動してください。\r\n"
    "アプリケーションを再起動すると、Skypeが 'tavoro.exeがSkypeと連携しようとしています' "
    "というメッセージを表示します。\r\n"
    "メッセージが表示されたら連携を許可する操作をしてください。";

// A SIP account has nothing to allow: a refusal is the registrar's, so the user is sent to the
// account's settings instead.
constexpr std::string_view kRegistrationRefused =
    "SIPアカウントを登録できませんでした。\r\n"
    "\r\n"
    "一旦このアプリケーションを終了しますので、設定画面の「SIPの設定」で"
    "SIPアドレス、登録先、ユーザー名とパスワードを確かめてください。\r\n"
    "確かめたら、再度このアプリケーションを起動してください。";

Bounds RowLabel(int top) {
  return {120, top, 1455, 255};
}
Bounds RowText(int top) {
  return {1680, top, 2415, 270};
}

}  // namespace

frmMain::frmMain(platform::Runtime runtime, forms::WindowSystem& windows, MainWindowPeers peers)
    : Form(runtime, windows, "frmMain", std::string(kProgramTitle), Bounds{0, 0, 4245, 2295},
           forms::BorderStyle::FixedSingle),
      skype_state_label(*this, "Label3", RowLabel(120), "Skypeの状態"),
      skype_state_box(*this, "Text4", RowText(120)),
      caller_label(*this, "Label11", RowLabel(480), "Skype呼び出し元"),
      caller_box(*this, "Text7", RowText(480)),
      keypad_codes_label(*this, "Label12", RowLabel(840), "プッシュトーン検出"),
      keypad_codes_box(*this, "Text3", RowText(840)),
      softphone_state_label(*this, "Label2", RowLabel(1440), "X-Liteの状態"),
      softphone_state_box(*this, "Text8", RowText(1440)),
      level_bar_label(*this, "Label13", RowLabel(1800), "X-Lite音声検出"),
      level_bar(*this, "ProgressBar1", {1680, 1800, 2415, 255}, 0, 261),
      detection_frame(*this, "Frame1", {7080, 3360, 2535, 1335}, "ベル音検出"),
      level_caption(*this, "Label5", {120, 240, 1095, 255}, "現在のレベル", &detection_frame),
      level_label(*this, "Label7", {1320, 240, 975, 255}, "", &detection_frame),
      average_caption(*this, "Label6", {120, 600, 1095, 255}, "平均値", &detection_frame),
      average_label(*this, "Label8", {1320, 600, 975, 255}, "", &detection_frame),
      detection_light(*this, "Label9", {120, 960, 1095, 255}, "Detect", &detection_frame),
      device_caption(*this, "Label10", {7200, 2640, 2415, 255}, "SkypeAudioDevice"),
      device_box(*this, "Text6", {7200, 2940, 2415, 270}),
      skype_state_flash(*this, "timColor1", kFlashMs),
      caller_flash(*this, "timColor2", kFlashMs),
      keypad_codes_flash(*this, "timColor3", kFlashMs),
      softphone_state_flash(*this, "timColor4", kFlashMs),
      settings_menu("MSettei", "設定(&S)"),
      help_menu("MHelp", "ヘルプ(&H)"),
      help_contents_menu(help_menu.Add("MHelpMain", "目次とキーワード(&C)")),
      help_separator(help_menu.Add("MBar2", forms::MenuItem::kSeparator)),
      version_info_menu(help_menu.Add("MVersionInfo", "バージョン情報(&A)")),
      peers_(std::move(peers)),
      windows_(windows),
      bridge_(runtime,
              {[this] {
                 return service_ == settings::RemoteService::Sip ? peers_.create_sip()
                                                                 : peers_.create_skype();
               },
               peers_.softphone_window, peers_.meter},
              settings_, *this) {
  detection_light.set_back_color(kDetectIdleColor);
  Register(settings_menu);
  Register(help_menu);

  FlashOnChange(skype_state_box, skype_state_flash);
  FlashOnChange(caller_box, caller_flash);
  FlashOnChange(keypad_codes_box, keypad_codes_flash);
  FlashOnChange(softphone_state_box, softphone_state_flash);
  settings_menu.Click = [this] { Entry([this] { OnSettingsChosen(); }); };
  help_contents_menu.Click = [this] { Entry([this] { OnHelpContentsChosen(); }); };
  version_info_menu.Click = [this] { Entry([this] { OnVersionInfoChosen(); }); };
}

frmMain::~frmMain() = default;

settings::frmSetting* frmMain::settings_dialog() const {
  return setting_dialog_ && setting_dialog_->loaded() ? setting_dialog_.get() : nullptr;
}
ui::frmAbout* frmMain::about_box() const {
  return about_box_ && about_box_->loaded() ? about_box_.get() : nullptr;
}
ui::frmWait* frmMain::wait_window() const {
  return wait_ && wait_->loaded() ? wait_.get() : nullptr;
}

void frmMain::Entry(const std::function<void()>& handler) {
  CatchUncaught(runtime(), handler);
}

// Status display. A change inside the half second starts the flash again, so the last change
// is always shown lit for the whole half second.
void frmMain::FlashOnChange(forms::TextBox& box, forms::Timer& flash) {
  box.Change = [this, &box, &flash] {
    Entry([&] {
      box.set_back_color(kFlashColor);
      flash.set_enabled(false);
      flash.set_enabled(true);
    });
  };
  flash.Tick = [this, &box, &flash] {
    Entry([&] {
      flash.set_enabled(false);
      box.set_back_color(forms::kWindowColor);
    });
  };
}

// What the bridge shows.
void frmMain::ShowSkypeState(std::string_view text) {
  skype_state_box.set_text(text);
}
void frmMain::ShowCaller(std::string_view handle) {
  caller_box.set_text(handle);
}
void frmMain::ShowKeypadCodes(std::string_view codes) {
  keypad_codes_box.set_text(codes);
}
// What the box holds, also what the user typed into it.
std::string frmMain::KeypadCodes() const {
  return keypad_codes_box.text();
}
void frmMain::ShowSoftphoneState(std::string_view text) {
  softphone_state_box.set_text(text);
}
void frmMain::ShowLevel(std::int32_t level) {
  level_label.set_caption(std::to_string(level));
  level_bar.set_value(level);
}
void frmMain::ShowAverage(std::int32_t average) {
  average_label.set_caption(std::to_string(average));
}
void frmMain::ShowRingHeard(bool heard) {
  detection_light.set_back_color(heard ? kDetectRingColor : kDetectIdleColor);
}

// Menu.
void frmMain::OnSettingsChosen() {
  if (settings_dialog()) {
    setting_dialog_->Show();
    return;
  }
  // A closed dialog is gone; a new one reads the file afresh.
  setting_dialog_ = std::make_unique<settings::frmSetting>(
      runtime(), windows_, peers_.ini, peers_.auto_start, peers_.credentials, settings_,
      peers_.sound_devices, peers_.check_registration);
  setting_dialog_->Show();
}

void frmMain::OnHelpContentsChosen() {
  ui::ShowHelp(peers_.help_viewer, peers_.window_handle(),
               ui::HelpFilePath(runtime().process.AppPath()));
}

void frmMain::OnVersionInfoChosen() {
  if (about_box()) {
    about_box_->Show();
    return;
  }
  about_box_ = std::make_unique<ui::frmAbout>(runtime(), windows_, peers_.shell);
  about_box_->Show();
}

// Closing the window is the end of the program: nothing is saved, nothing else runs.
void frmMain::Form_QueryUnload(bool& cancel, forms::CloseReason reason) {
  (void)cancel;
  (void)reason;
  bridge_.CloseMeter();
  runtime().process.End();
}

void frmMain::Form_Load() {
  Entry([this] { StartUp(); });
}

void frmMain::StartUp() {
  const platform::Runtime rt = runtime();
  if (rt.process.PrevInstance())
    rt.process.End();
  if (peers_.ini.ReadSetting(kSettingsSection, "CallTo").empty())
    AskForSettings();
  // Only the first entry is asked for: a list that starts further down is rare, and the
  // program runs without any accepted caller.
  if (peers_.ini.ReadSetting(kSettingsSection, "AcceptFrom-1").empty())
    AskForSettings();
  if (peers_.ini.ReadSetting(kSettingsSection, "CallTo").empty())
    rt.process.End();
  service_ = settings::ReadSipSettings(peers_.ini).service;
  NameTheService();

  Show();
  LoadCallSettings();

  bridge_.CreateClient();
  if (!bridge_.ClientIsRunning()) {
    ShowWait();
    SetWaitCaption(ServiceText(kStartingSkype) + std::to_string(kCountdownSeconds));
    CountDown(ServiceText(kStartingSkype));
    UnloadWait();
    rt.loop.DoEvents();
    bridge_.StartClient();
  }

  // From here on start-up passes over every failing step, each on its own, and looks only
  // where it must: a wait window that cannot be shown must not cut the countdown short.
  PassOver([&] { ShowWait(); });
  PassOver([&] { SetWaitCaption(ServiceText(kTalkingToSkype)); });
  PassOver([&] { rt.loop.DoEvents(); });
  bool attached = bridge_.TryAttach();
  PassOver([&] { UnloadWait(); });
  if (!attached) {
    PassOver([&] { ShowWait(); });
    const std::string waiting = ServiceText(kWaitingForSkype);
    PassOver([&] { SetWaitCaption(waiting + std::to_string(kCountdownSeconds)); });
    PassOver([&] { CountDown(waiting); });
    PassOver([&] { UnloadWait(); });
    if (!bridge_.TryAttach()) {
      rt.boxes.MsgBox(
          service_ == settings::RemoteService::Sip ? kRegistrationRefused : kAttachmentRefused,
          MsgBoxIcon::Exclamation, kProgramTitle);
      rt.process.End();
    }
  }
  PassOver([&] { skype_state_box.set_text(kStandby); });

  if (!bridge_.SoftphoneRuns()) {
    rt.boxes.MsgBox(kSoftphoneMissingAtStartUpText, MsgBoxIcon::Exclamation, kProgramTitle);
    rt.process.End();
  }
  PassOver([&] { softphone_state_box.set_text(kStandby); });
  PassOver([&] {
    const std::string device = bridge_.GetSkypeAudioDevice();
    bridge_.ListenTo(device);
    device_box.set_text(device);
  });
  PassOver([&] { bridge_.RestartRingDetection(); });
}

void frmMain::AskForSettings() {
  runtime().boxes.MsgBox(kAskForSettings, MsgBoxIcon::Information, kProgramTitle);
  settings::frmSetting dialog(runtime(), windows_, peers_.ini, peers_.auto_start,
                              peers_.credentials, settings_, peers_.sound_devices,
                              peers_.check_registration);
  dialog.Show(forms::ShowMode::Modal);
}

void frmMain::LoadCallSettings() {
  settings_.call_to = peers_.ini.ReadSetting(kSettingsSection, "CallTo");
  // Every position is read: a gap is an unused position, not the end of the list.
  for (int position = 1; position <= settings::kMaxAcceptedCallers; ++position)
    settings_.accepted_callers[position] =
        peers_.ini.ReadSetting(kSettingsSection, "AcceptFrom-" + std::to_string(position));
  settings_.pin = settings::ReadPin(peers_.credentials);
  // Anyone can claim a SIP address, so a SIP set-up whose PIN went missing turns callers away
  // rather than give them the line; the settings dialog never saves SIP without a PIN.
  if (service_ == settings::RemoteService::Sip && settings_.pin.empty())
    settings_.pin = settings::kUnusablePin;
}

std::string frmMain::ServiceText(std::string_view skype_text) const {
  return settings::ServiceText(skype_text, service_);
}

void frmMain::NameTheService() {
  for (forms::Label* label : {&skype_state_label, &caller_label, &device_caption})
    label->set_caption(ServiceText(label->caption()));
}

void frmMain::ShowWait() {
  wait_ = std::make_unique<ui::frmWait>(runtime(), windows_);
  wait_->Show();
}

void frmMain::SetWaitCaption(std::string_view caption) {
  if (wait_)
    wait_->Label1.set_caption(caption);
}

void frmMain::UnloadWait() {
  if (wait_)
    wait_->Unload();
  wait_.reset();
}

// Counts calendar seconds, so the last number stands for a whole second as the others do
// and the wait lasts about sixteen seconds.
void frmMain::CountDown(std::string_view prefix) {
  const platform::Runtime rt = runtime();
  const platform::LocalTime start = rt.clock.Now();
  for (;;) {
    const std::int64_t elapsed = platform::SecondsBetween(start, rt.clock.Now());
    if (elapsed > kCountdownSeconds)
      break;
    SetWaitCaption(std::string(prefix) + std::to_string(kCountdownSeconds - elapsed));
    rt.loop.DoEvents();
    rt.loop.Sleep(1);
  }
}

}  // namespace tavoro::app
