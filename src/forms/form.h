#pragma once
// A window of the program: a class with its controls as members and one handler per event.
// The life of a form: Load (window made hidden, Form_Load runs) → Show → Hide/Unload. An
// unloaded form is gone for good: its owner creates a new one for the next showing, which is
// how each showing starts from the form's design again.

#include <string>
#include <string_view>
#include <vector>

#include "forms/control.h"
#include "forms/menu.h"
#include "platform/runtime.h"
#include "platform/window_system.h"

namespace tavoro::forms {

class Timer;

enum class BorderStyle { FixedSingle, FixedDialog };

// Why a form is asked to close.
enum class CloseReason { User, Code };

class Form {
 public:
  Form(platform::Runtime runtime, WindowSystem& windows, std::string name, std::string caption,
       Bounds client, BorderStyle border);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }
  const std::string& caption() const { return caption_; }
  void set_caption(std::string_view caption);
  const Bounds& client() const { return client_; }
  BorderStyle border() const { return border_; }
  bool loaded() const { return loaded_; }
  bool visible() const { return visible_; }

  // Loads the form once: its window is made (hidden) and Form_Load runs.
  void Load();
  // Loads it if needed and shows it. A form already shown is brought forward again; modal
  // returns once the form is hidden or unloaded.
  void Show(ShowMode mode = ShowMode::Modeless);
  void Hide();
  // Closes the form from the program: Form_QueryUnload (which may cancel) and Form_Unload run,
  // timers stop and the window goes. Returns false when a handler cancelled.
  bool Unload() { return Close(CloseReason::Code); }
  // The close box.
  bool RequestClose() { return Close(CloseReason::User); }

  const platform::Runtime& runtime() const { return runtime_; }
  // What shows this form, and so the dialogs it opens.
  WindowSystem& windows() const { return windows_; }
  const std::vector<Control*>& controls() const { return controls_; }
  const std::vector<MenuItem*>& menu_bar() const { return menu_bar_; }
  // The control of that name, or nothing.
  Control* Find(std::string_view name) const;

  // Called by the controls and timers this form holds.
  void Register(Control& control) { controls_.push_back(&control); }
  void Unregister(Control& control);
  void Register(Timer& timer) { timers_.push_back(&timer); }
  void Unregister(Timer& timer);
  void Register(MenuItem& entry) { menu_bar_.push_back(&entry); }
  void ControlChanged(Control& control, Property property);

  Event MouseMove;

 protected:
  virtual void Form_Load() {}
  virtual void Form_QueryUnload(bool& cancel, CloseReason reason) {
    (void)cancel;
    (void)reason;
  }
  virtual void Form_Unload() {}

 private:
  bool Close(CloseReason reason);

  platform::Runtime runtime_;
  WindowSystem& windows_;
  std::string name_;
  std::string caption_;
  Bounds client_;
  BorderStyle border_;
  bool loaded_ = false;
  bool visible_ = false;
  std::vector<Control*> controls_;
  std::vector<Timer*> timers_;
  std::vector<MenuItem*> menu_bar_;
};

}  // namespace tavoro::forms
