#pragma once
// The base of every control a form holds. A control keeps its own state; a backend that shows
// the form mirrors it and is told of each change through the form's observer.

#include <string>
#include <string_view>

#include "forms/geometry.h"

namespace tavoro::forms {

class Form;

enum class ControlKind {
  TextBox,
  Label,
  Button,
  CheckBox,
  ListBox,
  ComboBox,
  ProgressBar,
  Frame,
  Picture,
  Line,
  Animation,
};

// What changed, so a backend updates only that.
enum class Property {
  Text,
  BackColor,
  ForeColor,
  Enabled,
  Visible,
  Value,
  Items,
  Selection,
  Clip,
  Tooltip,
};

class Control {
 public:
  Control(Form& form, ControlKind kind, std::string name, Bounds bounds, Control* container);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control();

  Form& form() const { return form_; }
  ControlKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  const Bounds& bounds() const { return bounds_; }
  // The frame that holds it, or nothing when it sits on the form itself.
  Control* container() const { return container_; }

  // Keyboard order within the form; -1 for controls the keyboard never reaches.
  int tab_index = -1;
  std::string tooltip;
  // A new tip for a control already on screen.
  void set_tooltip(std::string_view tip);

  bool enabled() const { return enabled_; }
  void set_enabled(bool enabled);
  bool visible() const { return visible_; }
  void set_visible(bool visible);

 protected:
  void Notify(Property property);

 private:
  Form& form_;
  ControlKind kind_;
  std::string name_;
  Bounds bounds_;
  Control* container_;
  bool enabled_ = true;
  bool visible_ = true;
};

}  // namespace tavoro::forms
