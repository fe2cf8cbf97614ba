#pragma once
// The About box: the program's name and version, and where to find news of it, as a link
// that turns red under the pointer and opens the maker's page in the user's browser.

#include <string_view>

#include "forms/controls.h"
#include "forms/form.h"
#include "platform/shell_open.h"

namespace tavoro::ui {

// The maker's Japanese page, opened by the link.
inline constexpr std::string_view kMakerSite = "https://www.tavorophone.example.jp";
inline constexpr std::string_view kMakerPagePath = "/default_jp.htm";

inline constexpr forms::Color kLinkColor = 0xFF0000;       // blue
inline constexpr forms::Color kLinkHoverColor = 0x0000FF;  // red

class frmAbout final : public forms::Form {
 public:
  frmAbout(platform::Runtime runtime, forms::WindowSystem& windows, platform::ShellOpen& shell);

  forms::Picture picIcon;
  forms::Label lblTitle;
  forms::Label lblVersion;
  // The two rules that frame the title.
  forms::Line Line1_0;
  forms::Line Line1_1;
  forms::Label lblDisclaimer;
  forms::Label Label1;
  forms::Label Label2;
  forms::Label Label4;
  forms::Button cmdOK;

  void cmdOK_Click();
  void Label2_Click();
  void Label2_MouseMove();
  // The pointer left the link for the window or one of its other captions.
  void Form_MouseMove();

 private:
  platform::ShellOpen& shell_;
};

}  // namespace tavoro::ui
