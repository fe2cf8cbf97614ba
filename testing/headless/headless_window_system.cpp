#include "headless/headless_window_system.h"

#include <algorithm>
#include <stdexcept>

namespace tavoro::platform::headless {

void HeadlessWindowSystem::Create(forms::Form& form) {
  open_.push_back(&form);
}

void HeadlessWindowSystem::Destroy(forms::Form& form) {
  std::erase(open_, &form);
}

void HeadlessWindowSystem::Show(forms::Form& form, forms::ShowMode mode) {
  if (std::find(failing_shows_.begin(), failing_shows_.end(), form.name()) != failing_shows_.end())
    throw std::runtime_error("the window of " + form.name() + " cannot be made");
  shows_.push_back({form.name(), mode});
  if (mode != forms::ShowMode::Modal)
    return;
  if (!modal_responder)
    throw std::logic_error("no one answers the modal " + form.name());
  // The responder may unload and so destroy the form: only its name is used afterwards.
  const std::string name = form.name();
  modal_responder(form);
  if (forms::Form* still = OpenForm(name); still == &form && form.visible()) {
    throw std::logic_error("the modal " + name + " was left open");
  }
}

forms::Form* HeadlessWindowSystem::OpenForm(const std::string& name) const {
  const auto found = std::find_if(open_.begin(), open_.end(), [&name](const forms::Form* form) {
    return form->name() == name;
  });
  return found == open_.end() ? nullptr : *found;
}

}  // namespace tavoro::platform::headless
