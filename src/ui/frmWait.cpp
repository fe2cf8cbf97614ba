#include "ui/frmWait.h"

#include "platform/paths.h"

namespace tavoro::ui {

frmWait::frmWait(platform::Runtime runtime, forms::WindowSystem& windows)
    : Form(runtime, windows, "frmWait", "処理中", {0, 0, 4695, 1575},
           forms::BorderStyle::FixedDialog),
      Animation1(*this, "Animation1", {120, 120, 4455, 735}),
      Label1(*this, "Label1", {120, 1020, 4455, 375}, "Skypeを起動します．．．") {}

void frmWait::Form_Load() {
  Animation1.Open(platform::JoinPath(runtime().process.AppPath(), "sd.avi"));
}

}  // namespace tavoro::ui
