#pragma once
// What shows forms to the user. The win32 backend makes real windows of them; the headless one
// records what would be on screen and lets tests play the user of a modal dialog.

namespace tavoro::forms {

class Form;
class Control;
enum class Property;

enum class ShowMode { Modeless, Modal };

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // The form is being loaded: make its window and controls, hidden.
  virtual void Create(Form& form) = 0;
  // Modal: returns once the form is hidden or unloaded, the thread pumping meanwhile.
  virtual void Show(Form& form, ShowMode mode) = 0;
  virtual void Hide(Form& form) = 0;
  // Also called from the form's destructor, when only its identity is left to use.
  virtual void Destroy(Form& form) = 0;
  // A control's or the form's own (control == nullptr) state changed.
  virtual void Changed(Form& form, Control* control, Property property) = 0;
};

}  // namespace tavoro::forms
