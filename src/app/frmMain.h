#pragma once
// The main window: the program's status display and the call bridge behind it. It runs the
// start-up, handles the Skype client's events, listens for the home line's ring and drives the
// softphone; the program lives exactly as long as this window.
//
// Everything runs on the window thread and every wait pumps, so handlers run inside each
// other's waits. Two rules keep that sound: the softphone is driven only through one serial
// queue, and every entry point (load, events, ticks, menu) hands a failure nobody caught to
// the run-time error message.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/ring_statistics.h"
#include "audio/SoundMeter.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/menu.h"
#include "forms/timer.h"
#include "platform/help_viewer.h"
#include "platform/shell_open.h"
#include "platform/skype_client.h"
#include "platform/softphone_window.h"
#include "settings/call_settings.h"

namespace tavoro::settings {
class frmSetting;
class modIniEdit;
class modRegAutoStart;
}  // namespace tavoro::settings
namespace tavoro::ui {
class frmAbout;
class frmWait;
}  // namespace tavoro::ui

namespace tavoro::app {

class modSoftphone;
class SoftphoneQueue;

// The light green of a status box that has just changed.
inline constexpr forms::Color kFlashColor = forms::Rgb(192, 255, 192);
inline constexpr forms::Color kDetectIdleColor = 0xFFFFFF;
inline constexpr forms::Color kDetectRingColor = 0x0000FF;

// What the main window works with besides the runtime and the window system.
struct MainWindowPeers {
  settings::modIniEdit& ini;
  settings::modRegAutoStart& auto_start;
  platform::SkypeClientFactory create_skype;
  platform::SoftphoneWindow& softphone_window;
  audio::SoundMeter& meter;
  platform::HelpViewer& help_viewer;
  platform::ShellOpen& shell;
  // The main window as the system knows it, the owner of the help viewer; none when headless.
  std::function<platform::WindowHandle()> window_handle = [] { return platform::WindowHandle{}; };
};

class frmMain final : public forms::Form, private platform::SkypeEvents {
 public:
  frmMain(platform::Runtime runtime, forms::WindowSystem& windows, MainWindowPeers peers);
  ~frmMain() override;

  // The visible rows.
  forms::Label Label3;
  forms::TextBox Text4;
  forms::Label Label11;
  forms::TextBox Text7;
  forms::Label Label12;
  forms::TextBox Text3;
  forms::Label Label2;
  forms::TextBox Text8;
  forms::Label Label13;
  forms::ProgressBar ProgressBar1;
  // Outside the client area at the window's fixed size: diagnostics of ring detection and the
  // device the meter listens to.
  forms::Frame Frame1;
  forms::Label Label5;
  forms::Label Label7;
  forms::Label Label6;
  forms::Label Label8;
  forms::Label Label9;
  forms::Label Label10;
  forms::TextBox Text6;

  forms::Timer Timer1;
  forms::Timer timColor1;
  forms::Timer timColor2;
  forms::Timer timColor3;
  forms::Timer timColor4;

  forms::MenuItem MSettei;
  forms::MenuItem MHelp;
  forms::MenuItem& MHelpMain;
  forms::MenuItem& MBar2;
  forms::MenuItem& MVersionInfo;

  void MSettei_Click();
  void MHelpMain_Click();
  void MVersionInfo_Click();

  void oSkype_AttachmentStatus(std::int32_t status);
  void oSkype_CallStatus(std::shared_ptr<platform::SkypeCall> call, std::int32_t status);
  void oSkype_CallDtmfReceived(std::shared_ptr<platform::SkypeCall> call, std::string code);

  void Timer1_Timer();
  void RestartRingDetection();
  void StopRingDetection();
  void ForwardRingToSkype();
  std::string GetSkypeAudioDevice();

  void Text4_Change();
  void Text7_Change();
  void Text3_Change();
  void Text8_Change();
  void timColor1_Timer();
  void timColor2_Timer();
  void timColor3_Timer();
  void timColor4_Timer();

  // The call flags.
  bool NumberDialled = false;
  bool SkypeCallAnswered = false;
  bool SkypeCallRefused = false;

  // The in-memory settings, which the settings dialog's OK replaces.
  const std::string& CallTo() const { return settings_.call_to; }
  const std::array<std::string, settings::kMaxAcceptedCallers + 1>& AcceptedCallers() const {
    return settings_.accepted_callers;
  }
  const RingStatistics& ring_statistics() const { return ring_; }
  const SoftphoneQueue& softphone_queue() const { return *queue_; }
  // The windows this one opened, while they are open.
  settings::frmSetting* settings_dialog() const;
  ui::frmAbout* about_box() const;
  ui::frmWait* wait_window() const;

 protected:
  void Form_Load() override;
  void Form_QueryUnload(bool& cancel, forms::CloseReason reason) override;

 private:
  void AttachmentStatus(std::int32_t status) override;
  void CallStatus(std::shared_ptr<platform::SkypeCall> call, std::int32_t status) override;
  void CallDtmfReceived(std::shared_ptr<platform::SkypeCall> call, std::string code) override;

  // Entry points run through here: a failure nobody caught ends the program.
  void Entry(const std::function<void()>& handler);

  void StartUp();
  bool HaveCallSettings();
  void AskForSettings();
  void LoadCallSettings();
  void ShowWait();
  void SetWaitCaption(std::string_view caption);
  void UnloadWait();
  void CountDown(std::string_view prefix);
  bool TryAttach();
  // Sleeps 10 ms and pumps, `passes` times.
  void PumpFor(int passes);
  bool OpenCapture();
  bool IsAcceptedCaller(const std::string& partner) const;
  void RelayKeypadCode(const std::string& code);
  void Flash(forms::TextBox& box, forms::Timer& timer);
  void Rest(forms::TextBox& box, forms::Timer& timer);

  // A ring was detected while a softphone sequence ran; its forward follows that sequence.
  bool forward_waiting_ = false;
  MainWindowPeers peers_;
  forms::WindowSystem& windows_;
  settings::CallSettings settings_;
  RingStatistics ring_;
  std::shared_ptr<platform::SkypeClient> oSkype_;
  std::unique_ptr<modSoftphone> softphone_;
  std::unique_ptr<SoftphoneQueue> queue_;
  std::unique_ptr<settings::frmSetting> setting_dialog_;
  std::unique_ptr<ui::frmAbout> about_box_;
  std::unique_ptr<ui::frmWait> wait_;
};

}  // namespace tavoro::app
