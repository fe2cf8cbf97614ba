#include "forms/form.h"

#include <algorithm>

#include "forms/timer.h"

namespace tavoro::forms {

Form::Form(platform::Runtime runtime, WindowSystem& windows, std::string name, std::string caption,
           Bounds client, BorderStyle border)
    : runtime_(runtime),
      windows_(windows),
      name_(std::move(name)),
      caption_(std::move(caption)),
      client_(client),
      border_(border) {}

Form::~Form() {
  // No handler runs here: the derived form is already gone. Timers stop with their members.
  if (loaded_)
    windows_.Destroy(*this);
}

void Form::set_caption(std::string_view caption) {
  if (caption_ == caption)
    return;
  caption_ = caption;
  if (loaded_)
    windows_.Changed(*this, nullptr, Property::Text);
}

void Form::Load() {
  if (loaded_)
    return;
  loaded_ = true;
  windows_.Create(*this);
  for (Timer* timer : timers_)
    timer->Sync();
  Form_Load();
}

void Form::Show(ShowMode mode) {
  Load();
  // Form_Load may have unloaded the form again.
  if (!loaded_)
    return;
  visible_ = true;
  windows_.Show(*this, mode);
}

void Form::Hide() {
  if (!visible_)
    return;
  visible_ = false;
  windows_.Hide(*this);
}

bool Form::Close(CloseReason reason) {
  if (!loaded_)
    return true;
  bool cancel = false;
  Form_QueryUnload(cancel, reason);
  if (cancel)
    return false;
  Form_Unload();
  visible_ = false;
  loaded_ = false;
  for (Timer* timer : timers_)
    timer->Sync();
  windows_.Destroy(*this);
  return true;
}

Control* Form::Find(std::string_view name) const {
  const auto found =
      std::find_if(controls_.begin(), controls_.end(),
                   [name](const Control* control) { return control->name() == name; });
  return found == controls_.end() ? nullptr : *found;
}

void Form::Unregister(Control& control) {
  std::erase(controls_, &control);
}
void Form::Unregister(Timer& timer) {
  std::erase(timers_, &timer);
}

void Form::ControlChanged(Control& control, Property property) {
  if (loaded_)
    windows_.Changed(*this, &control, property);
}

}  // namespace tavoro::forms
