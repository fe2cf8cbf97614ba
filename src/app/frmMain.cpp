#include "app/frmMain.h"

#include "app/modSoftphone.h"
#include "app/run_time_error.h"
#include "app/softphone_queue.h"
#include "platform/clock.h"
#include "product/identity.h"
#include "settings/frmSetting.h"
#include "settings/modIniEdit.h"
#include "ui/frmAbout.h"
#include "ui/frmWait.h"
#include "ui/modHTMLHelp.h"

namespace tavoro::app {
namespace {

using forms::Bounds;
using platform::MsgBoxIcon;

constexpr std::string_view kStandby = "待機中";
constexpr std::string_view kSettingsSection = "Skype";
constexpr std::string_view kAskForSettings = "初期設定をしてください";
constexpr std::string_view kStartingSkype = "Skypeを起動します:";
constexpr std::string_view kTalkingToSkype = "Skypeと通信を試みています";
constexpr std::string_view kWaitingForSkype = "Skypeの応答待ちです:";
constexpr std::int32_t kSkypeProtocol = 5;
constexpr std::int64_t kCountdownSeconds = 15;
constexpr std::uint32_t kFlashMs = 500;
constexpr std::uint32_t kTimer1Ms = 10;

constexpr std::string_view kAttachmentRefused =
    "Skypeがこのアプリケーションと連携できるように設定してください。\r\n"
    "\r\n"
    "一旦このアプリケーションを終了しますので、再度このアプリケーションを起動してください。\r\n"
    "アプリケーションを再起動すると、Skypeが 'tavoro.exeがSkypeと連携しようとしています' "
    "というメッセージを表示します。\r\n"
    "メッセージが表示されたら連携を許可する操作をしてください。";

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
      Label3(*this, "Label3", RowLabel(120), "Skypeの状態"),
      Text4(*this, "Text4", RowText(120)),
      Label11(*this, "Label11", RowLabel(480), "Skype呼び出し元"),
      Text7(*this, "Text7", RowText(480)),
      Label12(*this, "Label12", RowLabel(840), "プッシュトーン検出"),
      Text3(*this, "Text3", RowText(840)),
      Label2(*this, "Label2", RowLabel(1440), "X-Liteの状態"),
      Text8(*this, "Text8", RowText(1440)),
      Label13(*this, "Label13", RowLabel(1800), "X-Lite音声検出"),
      ProgressBar1(*this, "ProgressBar1", {1680, 1800, 2415, 255}, 0, 261),
      Frame1(*this, "Frame1", {7080, 3360, 2535, 1335}, "ベル音検出"),
      Label5(*this, "Label5", {120, 240, 1095, 255}, "現在のレベル", &Frame1),
      Label7(*this, "Label7", {1320, 240, 975, 255}, "", &Frame1),
      Label6(*this, "Label6", {120, 600, 1095, 255}, "平均値", &Frame1),
      Label8(*this, "Label8", {1320, 600, 975, 255}, "", &Frame1),
      Label9(*this, "Label9", {120, 960, 1095, 255}, "Detect", &Frame1),
      Label10(*this, "Label10", {7200, 2640, 2415, 255}, "SkypeAudioDevice"),
      Text6(*this, "Text6", {7200, 2940, 2415, 270}),
      Timer1(*this, "Timer1", kTimer1Ms),
      timColor1(*this, "timColor1", kFlashMs),
      timColor2(*this, "timColor2", kFlashMs),
      timColor3(*this, "timColor3", kFlashMs),
      timColor4(*this, "timColor4", kFlashMs),
      MSettei("MSettei", "設定(&S)"),
      MHelp("MHelp", "ヘルプ(&H)"),
      MHelpMain(MHelp.Add("MHelpMain", "目次とキーワード(&C)")),
      MBar2(MHelp.Add("MBar2", forms::MenuItem::kSeparator)),
      MVersionInfo(MHelp.Add("MVersionInfo", "バージョン情報(&A)")),
      peers_(std::move(peers)),
      windows_(windows),
      softphone_(std::make_unique<modSoftphone>(runtime, peers_.softphone_window)),
      queue_(std::make_unique<SoftphoneQueue>(*softphone_)) {
  Label9.set_back_color(kDetectIdleColor);
  Register(MSettei);
  Register(MHelp);

  Text4.Change = [this] { Entry([this] { Text4_Change(); }); };
  Text7.Change = [this] { Entry([this] { Text7_Change(); }); };
  Text3.Change = [this] { Entry([this] { Text3_Change(); }); };
  Text8.Change = [this] { Entry([this] { Text8_Change(); }); };
  timColor1.Tick = [this] { Entry([this] { timColor1_Timer(); }); };
  timColor2.Tick = [this] { Entry([this] { timColor2_Timer(); }); };
  timColor3.Tick = [this] { Entry([this] { timColor3_Timer(); }); };
  timColor4.Tick = [this] { Entry([this] { timColor4_Timer(); }); };
  Timer1.Tick = [this] { Entry([this] { Timer1_Timer(); }); };
  MSettei.Click = [this] { Entry([this] { MSettei_Click(); }); };
  MHelpMain.Click = [this] { Entry([this] { MHelpMain_Click(); }); };
  MVersionInfo.Click = [this] { Entry([this] { MVersionInfo_Click(); }); };
}

frmMain::~frmMain() {
  if (oSkype_)
    oSkype_->SetEventSink(nullptr);
}

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

void frmMain::AttachmentStatus(std::int32_t status) {
  Entry([&] { oSkype_AttachmentStatus(status); });
}
void frmMain::CallStatus(std::shared_ptr<platform::SkypeCall> call, std::int32_t status) {
  Entry([&] { oSkype_CallStatus(std::move(call), status); });
}
void frmMain::CallDtmfReceived(std::shared_ptr<platform::SkypeCall> call, std::string code) {
  Entry([&] { oSkype_CallDtmfReceived(std::move(call), std::move(code)); });
}

// Status display. A change inside the half second starts it again, so the last change is
// always shown lit for the whole half second.
void frmMain::Flash(forms::TextBox& box, forms::Timer& timer) {
  box.set_back_color(kFlashColor);
  timer.set_enabled(false);
  timer.set_enabled(true);
}
void frmMain::Rest(forms::TextBox& box, forms::Timer& timer) {
  timer.set_enabled(false);
  box.set_back_color(forms::kWindowColor);
}
void frmMain::Text4_Change() {
  Flash(Text4, timColor1);
}
void frmMain::Text7_Change() {
  Flash(Text7, timColor2);
}
void frmMain::Text3_Change() {
  Flash(Text3, timColor3);
}
void frmMain::Text8_Change() {
  Flash(Text8, timColor4);
}
void frmMain::timColor1_Timer() {
  Rest(Text4, timColor1);
}
void frmMain::timColor2_Timer() {
  Rest(Text7, timColor2);
}
void frmMain::timColor3_Timer() {
  Rest(Text3, timColor3);
}
void frmMain::timColor4_Timer() {
  Rest(Text8, timColor4);
}

// Menu.
void frmMain::MSettei_Click() {
  if (settings_dialog()) {
    setting_dialog_->Show();
    return;
  }
  // A closed dialog is gone; a new one reads the file afresh.
  setting_dialog_ = std::make_unique<settings::frmSetting>(runtime(), windows_, peers_.ini,
                                                           peers_.auto_start, settings_);
  setting_dialog_->Show();
}

void frmMain::MHelpMain_Click() {
  ui::ShowHelp(peers_.help_viewer, peers_.window_handle(),
               ui::HelpFilePath(runtime().process.AppPath()));
}

void frmMain::MVersionInfo_Click() {
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
  peers_.meter.CloseMeter();
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

  Show();
  LoadCallSettings();

  oSkype_ = peers_.create_skype();
  oSkype_->SetEventSink(this);
  if (!oSkype_->ClientIsRunning()) {
    ShowWait();
    SetWaitCaption(std::string(kStartingSkype) + std::to_string(kCountdownSeconds));
    CountDown(kStartingSkype);
    UnloadWait();
    rt.loop.DoEvents();
    oSkype_->ClientStart(false, false);
  }

  // From here on start-up passes over every failing step, each on its own, and looks only
  // where it must: a wait window that cannot be shown must not cut the countdown short.
  PassOver([&] { ShowWait(); });
  PassOver([&] { SetWaitCaption(kTalkingToSkype); });
  PassOver([&] { rt.loop.DoEvents(); });
  bool attached = TryAttach();
  PassOver([&] { UnloadWait(); });
  if (!attached) {
    PassOver([&] { ShowWait(); });
    PassOver(
        [&] { SetWaitCaption(std::string(kWaitingForSkype) + std::to_string(kCountdownSeconds)); });
    PassOver([&] { CountDown(kWaitingForSkype); });
    PassOver([&] { UnloadWait(); });
    if (!TryAttach()) {
      rt.boxes.MsgBox(kAttachmentRefused, MsgBoxIcon::Exclamation, kProgramTitle);
      rt.process.End();
    }
  }
  PassOver([&] { Text4.set_text(kStandby); });

  if (!softphone_->ActivateSoftphoneOnce()) {
    rt.boxes.MsgBox(kSoftphoneMissingAtStartUpText, MsgBoxIcon::Exclamation, kProgramTitle);
    rt.process.End();
  }
  PassOver([&] { Text8.set_text(kStandby); });
  PassOver([&] {
    const std::string device = GetSkypeAudioDevice();
    peers_.meter.WantedDeviceName = device;
    Text6.set_text(device);
  });
  PassOver([&] { RestartRingDetection(); });
}

bool frmMain::TryAttach() {
  try {
    oSkype_->Attach(kSkypeProtocol, true);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void frmMain::AskForSettings() {
  runtime().boxes.MsgBox(kAskForSettings, MsgBoxIcon::Information, kProgramTitle);
  settings::frmSetting dialog(runtime(), windows_, peers_.ini, peers_.auto_start, settings_);
  dialog.Show(forms::ShowMode::Modal);
}

void frmMain::LoadCallSettings() {
  settings_.call_to = peers_.ini.ReadSetting(kSettingsSection, "CallTo");
  // Every position is read: a gap is an unused position, not the end of the list.
  for (int position = 1; position <= settings::kMaxAcceptedCallers; ++position)
    settings_.accepted_callers[position] =
        peers_.ini.ReadSetting(kSettingsSection, "AcceptFrom-" + std::to_string(position));
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

void frmMain::oSkype_AttachmentStatus(std::int32_t status) {
  if (status == oSkype_->TextToAttachmentStatus("AVAILABLE"))
    oSkype_->Attach(kSkypeProtocol, true);
}

}  // namespace tavoro::app
