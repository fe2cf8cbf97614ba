#pragma once
// The window start-up shows while it waits for the Skype client: a moving clip and one line
// that start-up rewrites with what it is waiting for.

#include "forms/controls.h"
#include "forms/form.h"

namespace tavoro::ui {

class frmWait final : public forms::Form {
 public:
  frmWait(platform::Runtime runtime, forms::WindowSystem& windows);

  forms::Animation Animation1;
  forms::Label Label1;

 protected:
  void Form_Load() override;
};

}  // namespace tavoro::ui
