#include "forms/controls.h"

#include <algorithm>

namespace tavoro::forms {

void TextBox::set_text(std::string_view text) {
  if (text_ == text)
    return;
  text_ = text;
  Notify(Property::Text);
  if (Change)
    Change();
}

void TextBox::set_back_color(Color color) {
  if (back_color_ == color)
    return;
  back_color_ = color;
  Notify(Property::BackColor);
}

void Label::set_caption(std::string_view caption) {
  if (caption_ == caption)
    return;
  caption_ = caption;
  Notify(Property::Text);
}

void Label::set_fore_color(Color color) {
  if (fore_color_ == color)
    return;
  fore_color_ = color;
  Notify(Property::ForeColor);
}

void Label::set_back_color(Color color) {
  if (back_color_ == color)
    return;
  back_color_ = color;
  Notify(Property::BackColor);
}

void CheckBox::set_checked(bool checked) {
  if (checked_ == checked)
    return;
  checked_ = checked;
  Notify(Property::Value);
}

void ItemList::AddItem(std::string_view item) {
  items_.emplace_back(item);
  Notify(Property::Items);
}

void ItemList::RemoveItem(int index) {
  if (index < 0 || index >= ListCount())
    return;
  items_.erase(items_.begin() + index);
  if (selected_ == index) {
    selected_ = kNoSelection;
  } else if (selected_ > index) {
    --selected_;
  }
  Notify(Property::Items);
}

void ItemList::set_list_index(int index) {
  const int selected = (index >= 0 && index < ListCount()) ? index : kNoSelection;
  if (selected_ == selected)
    return;
  selected_ = selected;
  Notify(Property::Selection);
}

void Frame::set_caption(std::string_view caption) {
  if (caption_ == caption)
    return;
  caption_ = caption;
  Notify(Property::Text);
}

void ProgressBar::set_value(int value) {
  value = std::clamp(value, min_, max_);
  if (value_ == value)
    return;
  value_ = value;
  Notify(Property::Value);
}

void Animation::Open(std::string_view path) {
  clip_ = path;
  Notify(Property::Clip);
}

}  // namespace tavoro::forms
