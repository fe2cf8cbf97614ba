#pragma once
// The main window: the display of the call bridge, its menu, and the start-up that brings the
// Skype client, the softphone and ring detection up; the program lives exactly as long as this
// window. Every entry point of its own (load, menu, the flash timers) hands a failure nobody
// caught to the run-time error message, as the bridge's do.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/call_bridge.h"
#include "audio/SoundMeter.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/menu.h"
#include "forms/timer.h"
#include "platform/call_client.h"
#include "platform/credential_store.h"
#include "platform/help_viewer.h"
#include "platform/shell_open.h"
#include "platform/softphone_window.h"
#include "platform/sound_devices.h"
#include "settings/call_settings.h"
#include "settings/sip_settings.h"

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

// The light green of a status box that has just changed.
inline constexpr forms::Color kFlashColor = forms::Rgb(192, 255, 192);
inline constexpr forms::Color kDetectIdleColor = 0xFFFFFF;
inline constexpr forms::Color kDetectRingColor = 0x0000FF;

// What the main window works with besides the runtime and the window system.
struct MainWindowPeers {
  settings::modIniEdit& ini;
  settings::modRegAutoStart& auto_start;
  // Where the PIN is kept.
  platform::CredentialStore& credentials;
  platform::CallClientFactory create_skype;
  platform::SoftphoneWindow& softphone_window;
  audio::SoundMeter& meter;
  platform::HelpViewer& help_viewer;
  platform::ShellOpen& shell;
  // The main window as the system knows it, the owner of the help viewer; none when headless.
  std::function<platform::WindowHandle()> window_handle = [] { return platform::WindowHandle{}; };
  // The SIP account's client, made instead of the Skype one when the settings choose SIP.
  platform::CallClientFactory create_sip{};
  // What the SIP settings offer to choose from, and how they try an account.
  platform::SoundDevices* sound_devices = nullptr;
  settings::RegistrationCheck check_registration{};
};

class frmMain final : public forms::Form, private BridgeDisplay {
 public:
  frmMain(platform::Runtime runtime, forms::WindowSystem& windows, MainWindowPeers peers);
  ~frmMain() override;

  // The visible rows. The control names are those the window system and the end-to-end
  // checks find the controls by.
  forms::Label skype_state_label;
  forms::TextBox skype_state_box;
  forms::Label caller_label;
  forms::TextBox caller_box;
  forms::Label keypad_codes_label;
  forms::TextBox keypad_codes_box;
  forms::Label softphone_state_label;
  forms::TextBox softphone_state_box;
  forms::Label level_bar_label;
  forms::ProgressBar level_bar;
  // Outside the client area at the window's fixed size: diagnostics of ring detection and the
  // device the meter listens to.
  forms::Frame detection_frame;
  forms::Label level_caption;
  forms::Label level_label;
  forms::Label average_caption;
  forms::Label average_label;
  forms::Label detection_light;
  forms::Label device_caption;
  forms::TextBox device_box;

  // Each status box is lit for half a second after its last change.
  forms::Timer skype_state_flash;
  forms::Timer caller_flash;
  forms::Timer keypad_codes_flash;
  forms::Timer softphone_state_flash;

  forms::MenuItem settings_menu;
  forms::MenuItem help_menu;
  forms::MenuItem& help_contents_menu;
  forms::MenuItem& help_separator;
  forms::MenuItem& version_info_menu;

  void OnSettingsChosen();
  void OnHelpContentsChosen();
  void OnVersionInfoChosen();

  // The in-memory settings, which the settings dialog's OK replaces.
  const std::string& CallTo() const { return settings_.call_to; }
  const std::array<std::string, settings::kMaxAcceptedCallers + 1>& AcceptedCallers() const {
    return settings_.accepted_callers;
  }
  const CallBridge& bridge() const { return bridge_; }
  // The windows this one opened, while they are open.
  settings::frmSetting* settings_dialog() const;
  ui::frmAbout* about_box() const;
  ui::frmWait* wait_window() const;

 protected:
  void Form_Load() override;
  void Form_QueryUnload(bool& cancel, forms::CloseReason reason) override;

 private:
  void ShowSkypeState(std::string_view text) override;
  void ShowCaller(std::string_view handle) override;
  void ShowKeypadCodes(std::string_view codes) override;
  std::string KeypadCodes() const override;
  void ShowSoftphoneState(std::string_view text) override;
  void ShowLevel(std::int32_t level) override;
  void ShowAverage(std::int32_t average) override;
  void ShowRingHeard(bool heard) override;

  // Entry points run through here: a failure nobody caught ends the program.
  void Entry(const std::function<void()>& handler);

  void StartUp();
  void AskForSettings();
  void LoadCallSettings();
  void ShowWait();
  void SetWaitCaption(std::string_view caption);
  void UnloadWait();
  void CountDown(std::string_view prefix);
  // Lights `box` on each change and lets it rest when `flash` ticks.
  void FlashOnChange(forms::TextBox& box, forms::Timer& flash);

  // Names the service in the captions that named Skype, once the settings chose it.
  void NameTheService();
  std::string ServiceText(std::string_view skype_text) const;

  MainWindowPeers peers_;
  forms::WindowSystem& windows_;
  settings::RemoteService service_ = settings::RemoteService::Skype;
  settings::CallSettings settings_;
  CallBridge bridge_;
  std::unique_ptr<settings::frmSetting> setting_dialog_;
  std::unique_ptr<ui::frmAbout> about_box_;
  std::unique_ptr<ui::frmWait> wait_;
};

}  // namespace tavoro::app
