#pragma once
// Menu bar entries and their drop-down items. Captions carry their access key after '&'.

#include <memory>
#include <string>
#include <vector>

#include "forms/controls.h"

namespace tavoro::forms {

class MenuItem {
 public:
  MenuItem(std::string name, std::string caption)
      : name_(std::move(name)), caption_(std::move(caption)) {}

  static constexpr const char* kSeparator = "-";

  const std::string& name() const { return name_; }
  const std::string& caption() const { return caption_; }
  bool is_separator() const { return caption_ == kSeparator; }

  // Adds an item to this entry's drop-down and returns it.
  MenuItem& Add(std::string name, std::string caption) {
    return *items_.emplace_back(std::make_unique<MenuItem>(std::move(name), std::move(caption)));
  }
  const std::vector<std::unique_ptr<MenuItem>>& items() const { return items_; }

  // The user chooses the item: an entry with a drop-down only opens it.
  void Choose() {
    if (items_.empty() && !is_separator() && Click)
      Click();
  }
  Event Click;

 private:
  std::string name_;
  std::string caption_;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

}  // namespace tavoro::forms
