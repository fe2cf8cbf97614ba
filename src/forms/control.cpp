#include "forms/control.h"

#include "forms/form.h"

namespace tavoro::forms {

Control::Control(Form& form, ControlKind kind, std::string name, Bounds bounds, Control* container)
    : form_(form), kind_(kind), name_(std::move(name)), bounds_(bounds), container_(container) {
  form_.Register(*this);
}

Control::~Control() {
  form_.Unregister(*this);
}

void Control::set_enabled(bool enabled) {
  if (enabled_ == enabled)
    return;
  enabled_ = enabled;
  Notify(Property::Enabled);
}

void Control::set_visible(bool visible) {
  if (visible_ == visible)
    return;
  visible_ = visible;
  Notify(Property::Visible);
}

void Control::set_tooltip(std::string_view tip) {
  if (tooltip == tip)
    return;
  tooltip = tip;
  Notify(Property::Tooltip);
}

void Control::Notify(Property property) {
  form_.ControlChanged(*this, property);
}

}  // namespace tavoro::forms
