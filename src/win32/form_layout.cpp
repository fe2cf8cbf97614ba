#include "win32/form_layout.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace tavoro::platform::win32 {
namespace {

int NestingDepth(const forms::Control& control) {
  int depth = 0;
  for (const forms::Control* outer = control.container(); outer; outer = outer->container())
    ++depth;
  return depth;
}

}  // namespace

forms::Bounds FormBounds(const forms::Control& control) {
  forms::Bounds bounds = control.bounds();
  for (const forms::Control* outer = control.container(); outer; outer = outer->container()) {
    bounds.left += outer->bounds().left;
    bounds.top += outer->bounds().top;
  }
  return bounds;
}

bool TakesFocus(forms::ControlKind kind) {
  switch (kind) {
    case forms::ControlKind::TextBox:
    case forms::ControlKind::Button:
    case forms::ControlKind::CheckBox:
    case forms::ControlKind::ListBox:
    case forms::ControlKind::ComboBox:
      return true;
    default:
      return false;
  }
}

std::vector<std::size_t> CreationOrder(const std::vector<forms::Control*>& controls) {
  enum Group { kTabStop, kOther, kFrame };
  const auto key = [&controls](std::size_t index) {
    const forms::Control& control = *controls[index];
    if (control.kind() == forms::ControlKind::Frame)
      return std::make_tuple(kFrame, -NestingDepth(control), index);
    if (TakesFocus(control.kind()) && control.tab_index >= 0)
      return std::make_tuple(kTabStop, control.tab_index, index);
    return std::make_tuple(kOther, 0, index);
  };
  std::vector<std::size_t> order(controls.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&key](std::size_t a, std::size_t b) { return key(a) < key(b); });
  return order;
}

}  // namespace tavoro::platform::win32
