#pragma once
// A form's menu bar as a system menu: top entries with their drop-downs, separators for "-",
// captions with their '&' access keys.

#include <windows.h>

#include <vector>

#include "forms/menu.h"
#include "win32/owned_handles.h"

namespace tavoro::platform::win32 {

struct MenuBar {
  // Nothing when the form has no menu.
  OwnedMenu menu;
  // items[n] carries the command id kFirstMenuId + n (form_ids.h).
  std::vector<forms::MenuItem*> items;

  // The item a WM_COMMAND names, or nothing.
  forms::MenuItem* ItemOf(int command_id) const;
};

// Throws std::system_error when the system refuses a menu.
MenuBar BuildMenuBar(const std::vector<forms::MenuItem*>& bar);

}  // namespace tavoro::platform::win32
