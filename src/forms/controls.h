#pragma once
// The controls the program's windows are made of. Each raises its events through plain
// function members that the owning form sets to its handlers (`caller_box.Change = [this] {
// OnCallerChanged(); }`). Events fire for changes made by the program and by the user alike,
// as the windows they stand for do.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/control.h"

namespace tavoro::forms {

using Event = std::function<void()>;

class TextBox final : public Control {
 public:
  TextBox(Form& form, std::string name, Bounds bounds, Control* container = nullptr)
      : Control(form, ControlKind::TextBox, std::move(name), bounds, container) {}

  const std::string& text() const { return text_; }
  // Setting the text it already holds is no change and raises nothing.
  void set_text(std::string_view text);
  // What the user's typing does: the same change, raised the same way.
  void UserEdits(std::string_view text) { set_text(text); }

  Color back_color() const { return back_color_; }
  void set_back_color(Color color);

  // Shows a mark for each character typed instead of the text, as for a PIN.
  bool masked = false;

  Event Change;

 private:
  std::string text_;
  Color back_color_ = kWindowColor;
};

class Label final : public Control {
 public:
  Label(Form& form, std::string name, Bounds bounds, std::string caption,
        Control* container = nullptr)
      : Control(form, ControlKind::Label, std::move(name), bounds, container),
        caption_(std::move(caption)) {}

  const std::string& caption() const { return caption_; }
  void set_caption(std::string_view caption);
  Color fore_color() const { return fore_color_; }
  void set_fore_color(Color color);
  // The button face unless a window sets its own, as labels are painted by default.
  Color back_color() const { return back_color_; }
  void set_back_color(Color color);

  Event Click;
  Event MouseMove;

 private:
  std::string caption_;
  Color fore_color_ = kWindowTextColor;
  Color back_color_ = kButtonFaceColor;
};

class Button final : public Control {
 public:
  Button(Form& form, std::string name, Bounds bounds, std::string caption,
         Control* container = nullptr)
      : Control(form, ControlKind::Button, std::move(name), bounds, container),
        caption_(std::move(caption)) {}

  const std::string& caption() const { return caption_; }
  // Enter presses the default button; Escape the cancel button.
  bool is_default = false;
  bool is_cancel = false;

  // A press by the user (or the harness): nothing happens while the button is disabled.
  void Press() {
    if (enabled() && Click)
      Click();
  }
  Event Click;

 private:
  std::string caption_;
};

class CheckBox final : public Control {
 public:
  CheckBox(Form& form, std::string name, Bounds bounds, std::string caption,
           Control* container = nullptr)
      : Control(form, ControlKind::CheckBox, std::move(name), bounds, container),
        caption_(std::move(caption)) {}

  const std::string& caption() const { return caption_; }
  bool checked() const { return checked_; }
  void set_checked(bool checked);

 private:
  std::string caption_;
  bool checked_ = false;
};

// Entries with at most one selected: what a list box and a drop-down list share.
class ItemList : public Control {
 public:
  static constexpr int kNoSelection = -1;

  const std::vector<std::string>& items() const { return items_; }
  int ListCount() const { return static_cast<int>(items_.size()); }
  void AddItem(std::string_view item);
  // Removing the selected entry leaves nothing selected; indices above it move up.
  void RemoveItem(int index);

  int list_index() const { return selected_; }
  // Any index outside the list selects nothing.
  void set_list_index(int index);

 protected:
  using Control::Control;

 private:
  std::vector<std::string> items_;
  int selected_ = kNoSelection;
};

class ListBox final : public ItemList {
 public:
  ListBox(Form& form, std::string name, Bounds bounds, Control* container = nullptr)
      : ItemList(form, ControlKind::ListBox, std::move(name), bounds, container) {}
};

// A drop-down list: the user chooses one of its entries and types nothing. The bounds are
// those of the closed box; the list opens below it.
class ComboBox final : public ItemList {
 public:
  ComboBox(Form& form, std::string name, Bounds bounds, Control* container = nullptr)
      : ItemList(form, ControlKind::ComboBox, std::move(name), bounds, container) {}
};

class ProgressBar final : public Control {
 public:
  ProgressBar(Form& form, std::string name, Bounds bounds, int min = 0, int max = 100,
              Control* container = nullptr)
      : Control(form, ControlKind::ProgressBar, std::move(name), bounds, container),
        min_(min),
        max_(max) {}

  int min() const { return min_; }
  int max() const { return max_; }
  int value() const { return value_; }
  // The bar shows values within its range; others are held at its ends.
  void set_value(int value);

 private:
  int min_;
  int max_;
  int value_ = 0;
};

class Frame final : public Control {
 public:
  Frame(Form& form, std::string name, Bounds bounds, std::string caption,
        Control* container = nullptr)
      : Control(form, ControlKind::Frame, std::move(name), bounds, container),
        caption_(std::move(caption)) {}
  const std::string& caption() const { return caption_; }
  void set_caption(std::string_view caption);

 private:
  std::string caption_;
};

// A picture from the program's resources (the program icon).
class Picture final : public Control {
 public:
  Picture(Form& form, std::string name, Bounds bounds, std::string resource,
          Control* container = nullptr)
      : Control(form, ControlKind::Picture, std::move(name), bounds, container),
        resource_(std::move(resource)) {}
  const std::string& resource() const { return resource_; }
  Event MouseMove;

 private:
  std::string resource_;
};

// A straight rule from the top-left to the bottom-right corner of its bounds.
class Line final : public Control {
 public:
  Line(Form& form, std::string name, Bounds bounds, Control* container = nullptr)
      : Control(form, ControlKind::Line, std::move(name), bounds, container) {}
};

// Plays a silent clip. The backend loads the clip when the form is shown; a clip that cannot
// be played leaves the control empty and stops nothing.
class Animation final : public Control {
 public:
  Animation(Form& form, std::string name, Bounds bounds, Control* container = nullptr)
      : Control(form, ControlKind::Animation, std::move(name), bounds, container) {}
  const std::string& clip() const { return clip_; }
  void Open(std::string_view path);

 private:
  std::string clip_;
};

}  // namespace tavoro::forms
