#include "settings/frmSipSetting.h"

#include <algorithm>

#include "product/identity.h"
#include "settings/sip_setting_check.h"

namespace tavoro::settings {
namespace {

using forms::Bounds;
using platform::MsgBoxIcon;

// Rows inside the frames, twips from the frame's top.
constexpr int kRow1 = 300;
constexpr int kRow2 = 660;
constexpr int kRow3 = 1020;
constexpr int kRow4 = 1380;
constexpr int kLabelLeft = 240;
constexpr int kLabelWidth = 1815;
constexpr int kBoxLeft = 2100;
constexpr int kBoxWidth = 2895;

Bounds LabelAt(int row) {
  return {kLabelLeft, row + 30, kLabelWidth, 255};
}
Bounds BoxAt(int row, int width = kBoxWidth) {
  return {kBoxLeft, row, width, 270};
}

std::string Outcome(const RegistrationResult& result, const SipSettings& sip) {
  switch (result.outcome) {
    case RegistrationOutcome::Registered:
      if (sip.registrar.empty())
        return "ポートを開けました。登録先が空欄なので、登録はせずに着信を待ちます。";
      return "登録できました。";
    case RegistrationOutcome::Refused:
      return "登録を断られました。ユーザー名かパスワードが違います。\r\n（SIP応答 " +
             std::to_string(result.sip_status) + "）";
    case RegistrationOutcome::NoAnswer:
      return "登録先から15秒待っても応答がありませんでした。\r\n"
             "登録先とSIPアドレス、ネットワークの接続を確かめてください。";
    case RegistrationOutcome::Failed:
      break;
  }
  std::string text = "登録できませんでした。";
  // Without an answer of the registrar the stack's words are often bare ("unknown error"),
  // so the user is told first where to look.
  if (result.sip_status != 0)
    text += "\r\n（SIP応答 " + std::to_string(result.sip_status) + "）";
  else
    text +=
        "\r\n登録先に届きませんでした。登録先の名前、待ち受けポート、ネットワークの接続を"
        "確かめてください。";
  if (!result.detail.empty())
    text += "\r\n（詳細: " + result.detail + "）";
  return text;
}

}  // namespace

frmSipSetting::frmSipSetting(platform::Runtime runtime, forms::WindowSystem& windows,
                             platform::SoundDevices* devices, RegistrationCheck check,
                             SipChoice initial)
    : Form(runtime, windows, "frmSipSetting", "Tavorophone\u3000SIPの設定",
           Bounds{0, 0, 5400, 4620}, forms::BorderStyle::FixedDialog),
      service_check(*this, "service_check", {240, 150, 4935, 255},
                    "Skypeの代わりにSIPアカウントを使う"),
      account_frame(*this, "account_frame", {120, 540, 5160, 1815}, "SIPアカウント"),
      address_label(*this, "address_label", LabelAt(kRow1), "SIPアドレス", &account_frame),
      address_box(*this, "address_box", BoxAt(kRow1), &account_frame),
      registrar_label(*this, "registrar_label", LabelAt(kRow2), "登録先（サーバー）",
                      &account_frame),
      registrar_box(*this, "registrar_box", BoxAt(kRow2), &account_frame),
      user_label(*this, "user_label", LabelAt(kRow3), "ユーザー名", &account_frame),
      user_box(*this, "user_box", BoxAt(kRow3), &account_frame),
      password_label(*this, "password_label", LabelAt(kRow4), "パスワード", &account_frame),
      password_box(*this, "password_box", BoxAt(kRow4), &account_frame),
      call_frame(*this, "call_frame", {120, 2460, 5160, 1455}, "通話の設定"),
      port_label(*this, "port_label", LabelAt(kRow1), "待ち受けポート", &call_frame),
      port_box(*this, "port_box", BoxAt(kRow1, 975), &call_frame),
      capture_label(*this, "capture_label", LabelAt(kRow2), "録音デバイス", &call_frame),
      capture_list(*this, "capture_list", BoxAt(kRow2), &call_frame),
      playback_label(*this, "playback_label", LabelAt(kRow3), "再生デバイス", &call_frame),
      playback_list(*this, "playback_list", BoxAt(kRow3), &call_frame),
      test_button(*this, "test_button", {120, 4080, 1455, 375}, "登録テスト"),
      ok_button(*this, "ok_button", {2985, 4080, 1095, 375}, "OK"),
      cancel_button(*this, "cancel_button", {4185, 4080, 1095, 375}, "キャンセル"),
      devices_(devices),
      check_(std::move(check)),
      initial_(std::move(initial)) {
  int tab = 0;
  for (forms::Control* control : std::initializer_list<forms::Control*>{
           &service_check, &address_box, &registrar_box, &user_box, &password_box, &port_box,
           &capture_list, &playback_list, &test_button, &ok_button, &cancel_button})
    control->tab_index = tab++;
  password_box.masked = true;
  ok_button.is_default = true;
  cancel_button.is_cancel = true;
  address_box.tooltip = "例: taro@sip.example.jp（「sip:」は付けても付けなくてもかまいません）";
  registrar_box.tooltip = "サーバー名かサーバー名:ポート番号。空欄なら登録せず、着信を待つだけです";
  user_box.tooltip = "空欄ならSIPアドレスの「@」より前を使います";
  test_button.set_enabled(static_cast<bool>(check_));

  test_button.Click = [this] { test_button_Click(); };
  ok_button.Click = [this] { ok_button_Click(); };
  cancel_button.Click = [this] { Unload(); };
  password_box.Change = [this] { password_edited_ = true; };
}

void frmSipSetting::Form_Load() {
  const SipSettings& sip = initial_.sip;
  service_check.set_checked(sip.service == RemoteService::Sip);
  address_box.set_text(sip.address);
  registrar_box.set_text(sip.registrar);
  user_box.set_text(sip.user);
  password_box.set_text(initial_.password);
  port_box.set_text(std::to_string(sip.port));
  FillDevices(capture_list, capture_,
              devices_ ? devices_->CaptureDevices() : std::vector<std::string>{},
              sip.capture_device);
  FillDevices(playback_list, playback_,
              devices_ ? devices_->PlaybackDevices() : std::vector<std::string>{},
              sip.playback_device);
  password_edited_ = false;
}

void frmSipSetting::FillDevices(forms::ComboBox& list, DeviceEntries& entries,
                                std::vector<std::string> listed, const std::string& chosen) {
  entries.listed = std::move(listed);
  entries.names = {""};
  list.AddItem(kDefaultDevice);
  for (const std::string& name : entries.listed) {
    entries.names.push_back(name);
    list.AddItem(name);
  }
  // A device chosen earlier and since taken away stays chosen, marked, so nothing the user set
  // changes behind their back; OK then says which device is missing.
  auto at = std::find(entries.names.begin(), entries.names.end(), chosen);
  if (at == entries.names.end()) {
    entries.names.push_back(chosen);
    list.AddItem(chosen + "（見つかりません）");
    at = entries.names.end() - 1;
  }
  list.set_list_index(static_cast<int>(at - entries.names.begin()));
}

std::string frmSipSetting::ChosenDevice(const forms::ComboBox& list, const DeviceEntries& entries) {
  const int index = list.list_index();
  return index >= 0 && index < static_cast<int>(entries.names.size())
             ? entries.names[static_cast<std::size_t>(index)]
             : "";
}

TypedSipSettings frmSipSetting::Typed() const {
  TypedSipSettings typed;
  typed.sip = initial_.sip;
  typed.sip.service = service_check.checked() ? RemoteService::Sip : RemoteService::Skype;
  typed.sip.address = address_box.text();
  typed.sip.registrar = registrar_box.text();
  typed.sip.user = user_box.text();
  typed.sip.port = ParsePort(port_box.text()).value_or(initial_.sip.port);
  typed.sip.capture_device = ChosenDevice(capture_list, capture_);
  typed.sip.playback_device = ChosenDevice(playback_list, playback_);
  typed.port = port_box.text();
  typed.password = password_box.text();
  return typed;
}

void frmSipSetting::Warn(const std::string& text) const {
  runtime().boxes.MsgBox(text, MsgBoxIcon::Exclamation, kProgramTitle);
}

void frmSipSetting::test_button_Click() {
  // The test is of the account as typed, whether or not SIP is ticked yet.
  TypedSipSettings typed = Typed();
  typed.sip.service = RemoteService::Sip;
  if (const auto problem = SipSettingsProblem(typed, capture_.listed, playback_.listed)) {
    Warn(*problem);
    return;
  }
  const RegistrationResult result = check_(typed.sip, typed.password);
  if (result.outcome == RegistrationOutcome::Registered) {
    runtime().boxes.MsgBox(Outcome(result, typed.sip), MsgBoxIcon::Information, kProgramTitle);
  } else {
    Warn(Outcome(result, typed.sip));
  }
}

void frmSipSetting::ok_button_Click() {
  const TypedSipSettings typed = Typed();
  if (const auto problem = SipSettingsProblem(typed, capture_.listed, playback_.listed)) {
    Warn(*problem);
    return;
  }
  chosen_ = SipChoice{typed.sip, typed.password, initial_.password_edited || password_edited_};
  Unload();
}

}  // namespace tavoro::settings
