#include "ui/frmAbout.h"

#include <string>

#include "product/identity.h"

namespace tavoro::ui {

frmAbout::frmAbout(platform::Runtime runtime, forms::WindowSystem& windows,
                   platform::ShellOpen& shell)
    : Form(runtime, windows, "frmAbout", std::string(kProgramTitle), {0, 0, 5730, 3540},
           forms::BorderStyle::FixedDialog),
      picIcon(*this, "picIcon", {240, 240, 540, 540}, "IDI_TAVORO"),
      lblTitle(*this, "lblTitle", {1050, 240, 4455, 480}, std::string(kProgramTitle)),
      lblVersion(*this, "lblVersion", {1050, 780, 4455, 225}, "Version 1.00"),
      Line1_0(*this, "Line1(0)", {240, 1140, 5250, 0}),
      Line1_1(*this, "Line1(1)", {240, 2460, 5250, 0}),
      lblDisclaimer(*this, "lblDisclaimer", {240, 1260, 5250, 300},
                    "本ソフトウェアは無保証です。ご利用はお客様の責任でお願いします。"),
      Label1(*this, "Label1", {240, 1740, 5250, 255}, "このプログラムに関する最新情報は"),
      Label2(*this, "Label2", {240, 2010, 3420, 255}, std::string(kMakerSite)),
      Label4(*this, "Label4", {3720, 2010, 1770, 255}, "を参照ください。"),
      cmdOK(*this, "cmdOK", {4320, 2820, 1170, 375}, "OK"),
      shell_(shell) {
  Label2.set_fore_color(kLinkColor);
  cmdOK.is_default = true;
  cmdOK.is_cancel = true;
  cmdOK.tab_index = 0;

  cmdOK.Click = [this] { cmdOK_Click(); };
  Label2.Click = [this] { Label2_Click(); };
  Label2.MouseMove = [this] { Label2_MouseMove(); };
  const forms::Event leave_link = [this] { Form_MouseMove(); };
  MouseMove = leave_link;
  Label1.MouseMove = leave_link;
  Label4.MouseMove = leave_link;
  lblDisclaimer.MouseMove = leave_link;
  picIcon.MouseMove = leave_link;
}

void frmAbout::cmdOK_Click() {
  Unload();
}

void frmAbout::Label2_Click() {
  shell_.Open(std::string(kMakerSite) + std::string(kMakerPagePath));
}

void frmAbout::Label2_MouseMove() {
  Label2.set_fore_color(kLinkHoverColor);
}

void frmAbout::Form_MouseMove() {
  Label2.set_fore_color(kLinkColor);
}

}  // namespace tavoro::ui
