// The photographer's player (scripts/screenshots.sh runs it under Wine, in a virtual desktop):
// shows every window and message of Tavoro.exe, with the stand-ins of sim/, and asks for a
// picture of the whole desktop at each, through SHOTS\NAME.request, waiting for SHOTS\NAME.png.
//
//   screenshots.exe SHOTS
//
// Environment: as for the end-to-end checkers (TAVORO_E2E_BIN, TAVORO_E2E_SIM). Progress and
// each failure go to the standard output. Exit code 0 when every picture was taken.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/peers.h"
#include "desktop/tavoro_windows.h"
#include "win32/wide_text.h"

namespace tavoro::e2e {
namespace {

constexpr milliseconds kPatience{15000};
constexpr const char* kUsualSettings =
    "[Skype]\r\nCallTo=home.user\r\nAcceptFrom-1=alice\r\nAcceptFrom-2=bob\r\n";

class Photographer {
 public:
  explicit Photographer(fs::path shots) : shots_(std::move(shots)) {}

  // A fresh copy of the program in a folder of its own, so each run starts as a first one.
  fs::path Install(const wchar_t* name, const char* settings) {
    const fs::path folder = fs::temp_directory_path() / L"tavoro-screenshots" / name;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    for (const wchar_t* file : {L"Tavoro.exe", L"Tavoro.chm", L"sd.avi"})
      fs::copy_file(fs::path(Environment(L"TAVORO_E2E_BIN")) / file, folder / file);
    if (settings != nullptr)
      std::ofstream(folder / L"setting.ini", std::ios::binary) << settings;
    return folder;
  }

  // Notes a step that did not come; false then, so the caller can give up on the run.
  bool Expect(bool happened, const std::string& what) {
    if (!happened) {
      std::printf("screenshots: FAILED: %s\n", what.c_str());
      std::fflush(stdout);
      failures_.push_back(what);
    }
    return happened;
  }

  // Asks for a picture and waits until it is taken, the program pumping meanwhile.
  void Snap(const std::string& name) {
    const fs::path picture = shots_ / (name + ".png");
    std::error_code ignored;
    fs::remove(picture, ignored);
    std::ofstream(shots_ / (name + ".request")).put('\n');
    if (Expect(WaitUntil([&] { return fs::exists(picture); }, milliseconds(20000)), name))
      std::printf("screenshots: %s\n", name.c_str());
    std::fflush(stdout);
  }

  // Photographs the program's next message box, then closes it.
  void SnapMessageBox(const Program& tavoro, const std::string& name, milliseconds limit) {
    if (!Expect(WaitForWindow(tavoro.id(), L"#32770", std::nullopt, limit) != nullptr,
                "no message box for " + name))
      return;
    Snap(name);
    Expect(AnswerMessageBox(tavoro.id(), kPatience).has_value(), "cannot close " + name);
  }

  int failures() const { return static_cast<int>(failures_.size()); }

 private:
  fs::path shots_;
  std::vector<std::string> failures_;
};

HWND WaitForForm(const Program& program, const wchar_t* form) {
  return WaitForWindow(program.id(), FormClass(form).c_str(), std::nullopt, kPatience);
}

void SetText(HWND window, int id, const wchar_t* text) {
  ::SendMessageW(Control(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void Click(HWND window, int id) {
  ::SendMessageW(Control(window, id), BM_CLICK, 0, 0);
}

// Ticks or clears a check box and tells its window, as a click would, whatever it showed.
void SetCheck(HWND window, int id, bool checked) {
  const HWND box = Control(window, id);
  ::SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(box));
}

// A click whose handler shows a message box or a modal dialog: posted, so this program is not
// held until it is closed. Posted as the notification the button sends its dialog: a posted
// BM_CLICK is a mouse press and release, and was seen to go missing under Wine.
void PostClick(HWND window, int id) {
  ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(window, id)));
}

void Pause(milliseconds length) {
  WaitUntil([] { return false; }, length);
}

// The SIP settings over the settings dialog: filled in, a port refused, and the settings
// dialog naming SIP once it is chosen. The caller cancels the settings dialog afterwards.
void SipSettings(Photographer& shots, const Program& tavoro, HWND settings) {
  PostClick(settings, frmSetting::sip_button);
  HWND sip = WaitForForm(tavoro, L"frmSipSetting");
  if (!shots.Expect(sip != nullptr, "no SIP settings dialog"))
    return;
  SetCheck(sip, frmSipSetting::service_check, true);
  SetText(sip, frmSipSetting::address_box, L"taro@sip.example.jp");
  SetText(sip, frmSipSetting::registrar_box, L"sip.example.jp:5060");
  SetText(sip, frmSipSetting::user_box, L"0312345678");
  SetText(sip, frmSipSetting::password_box, L"secret");
  SetText(sip, frmSipSetting::port_box, L"70000");
  PostClick(sip, frmSipSetting::ok_button);
  shots.SnapMessageBox(tavoro, "05-sip-port-refused", kPatience);
  SetText(sip, frmSipSetting::port_box, L"5060");
  shots.Snap("05-sip-settings");
  // The registration test's answer, where the program has a test to run (the button is
  // disabled otherwise); nothing here answers as a registrar, so the wait runs out.
  if (::IsWindowEnabled(Control(sip, frmSipSetting::test_button))) {
    PostClick(sip, frmSipSetting::test_button);
    shots.SnapMessageBox(tavoro, "05-sip-test-result", milliseconds(30000));
  }
  PostClick(sip, frmSipSetting::ok_button);
  // Gone, so the picture shows the settings dialog as it names SIP.
  if (!shots.Expect(WaitUntil([&] { return !::IsWindow(sip); }, kPatience),
                    "the SIP settings dialog stays open"))
    return;
  Pause(milliseconds(300));
  shots.Snap("05-settings-dialog-naming-sip");
}

void FromTheFirstStartToTheAboutBox(Photographer& shots) {
  const fs::path folder = shots.Install(L"first-start", nullptr);
  SkypeLibrary skype("client stopped; start up 500", folder / L"skype.log");
  XLite xlite(folder / L"xlite.log");
  Program tavoro(folder / L"Tavoro.exe");
  if (!shots.Expect(skype.registered() && tavoro.running(), "cannot start Tavoro.exe"))
    return;
  shots.SnapMessageBox(tavoro, "01-ask-for-settings", kPatience);

  const HWND settings = WaitForForm(tavoro, L"frmSetting");
  if (!shots.Expect(settings != nullptr, "no settings dialog"))
    return;
  for (const wchar_t* name : {L"alice", L"bob.smith", L"+81312345678"}) {
    SetText(settings, frmSetting::Text1, name);
    Click(settings, frmSetting::cmdAddUser);
  }
  SetText(settings, frmSetting::Text1, L"carol");
  // Clicking an entry: the list selects it and tells its window, as a click would.
  const HWND list = Control(settings, frmSetting::List1);
  ::SendMessageW(list, LB_SETCURSEL, 1, 0);
  ::SendMessageW(settings, WM_COMMAND, MAKEWPARAM(frmSetting::List1, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  SetText(settings, frmSetting::Text2, L"home.user");
  Click(settings, frmSetting::Check1);
  // A PIN whose confirmation differs is refused with a message; the dialog stays open.
  SetText(settings, frmSetting::pin_box, L"2468");
  SetText(settings, frmSetting::pin_confirmation_box, L"2486");
  PostClick(settings, frmSetting::cmdOK);
  shots.SnapMessageBox(tavoro, "02-pin-refused", kPatience);
  SetText(settings, frmSetting::pin_confirmation_box, L"2468");
  shots.Snap("02-settings-dialog");
  Click(settings, frmSetting::cmdOK);

  const HWND main = WaitForForm(tavoro, L"frmMain");
  if (!shots.Expect(main != nullptr, "no main window"))
    return;
  if (shots.Expect(WaitUntil(
                       [&] {
                         const auto waits = WindowsOf(tavoro.id(), FormClass(L"frmWait").c_str());
                         return !waits.empty() &&
                                TextOf(Control(waits.front(), frmWait::Label1)).ends_with(":12");
                       },
                       kPatience),
                   "no countdown"))
    shots.Snap("03-wait-countdown");
  if (!shots.Expect(WaitUntil([&] { return TextOf(Control(main, frmMain::Text8)) == "待機中"; },
                              milliseconds(40000)),
                    "the main window never came to rest"))
    return;
  Pause(milliseconds(1000));  // long enough for the start-up's flashes to end
  shots.Snap("04-main-window-at-rest");
  SetText(main, frmMain::Text7, L"alice");
  shots.Snap("05-main-window-lit");

  // The SIP settings, from the settings dialog opened on the running program; cancelled, so
  // nothing of them is kept.
  ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(frmMain::MSettei, 0), 0);
  const HWND again = WaitForForm(tavoro, L"frmSetting");
  if (!shots.Expect(again != nullptr, "no settings dialog from the menu"))
    return;
  SipSettings(shots, tavoro, again);
  PostClick(again, frmSetting::cmdCancel);
  shots.Expect(WaitUntil([&] { return !::IsWindow(again); }, kPatience),
               "the settings dialog stays open");

  ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(frmMain::MVersionInfo, 0), 0);
  const HWND about = WaitForForm(tavoro, L"frmAbout");
  if (!shots.Expect(about != nullptr, "no About box"))
    return;
  Pause(milliseconds(300));
  shots.Snap("06-about-box");
  ::SendMessageW(Control(about, frmAbout::Label2), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  Pause(milliseconds(300));
  shots.Snap("07-about-box-link-under-the-pointer");
}

void MessagesThatEndTheStart(Photographer& shots) {
  const struct {
    const wchar_t* folder;
    const char* skype;  // no library at all when null
    const char* picture;
    milliseconds limit;  // the refused attachments count down first
  } kEndings[] = {
      {L"no-skype", nullptr, "08-no-skype-library", kPatience},
      {L"no-x-lite", "client running", "09-no-x-lite", kPatience},
      {L"refused", "client running; attach refuse; attach refuse", "10-attachment-refused",
       milliseconds(30000)},
  };
  for (const auto& ending : kEndings) {
    const fs::path folder = shots.Install(ending.folder, kUsualSettings);
    std::optional<SkypeLibrary> skype;
    if (ending.skype != nullptr)
      skype.emplace(ending.skype, folder / L"skype.log");
    Program tavoro(folder / L"Tavoro.exe");
    shots.SnapMessageBox(tavoro, ending.picture, ending.limit);
    tavoro.WaitForEnd(kPatience);
  }
}

}  // namespace
}  // namespace tavoro::e2e

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshots SHOTS\n");
    return 2;
  }
  tavoro::e2e::Photographer shots(argv[1]);
  tavoro::e2e::FromTheFirstStartToTheAboutBox(shots);
  tavoro::e2e::MessagesThatEndTheStart(shots);
  return shots.failures() == 0 ? 0 : 1;
}
