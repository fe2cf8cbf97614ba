#include "win32/form_menu.h"

#include <system_error>

#include "win32/form_ids.h"
#include "win32/wide_text.h"

namespace tavoro::platform::win32 {
namespace {

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

OwnedMenu NewMenu(bool popup) {
  OwnedMenu menu(popup ? ::CreatePopupMenu() : ::CreateMenu());
  if (!menu)
    ThrowLastError(popup ? "CreatePopupMenu" : "CreateMenu");
  return menu;
}

// Appends `entries` to `menu`, numbering each one (and, depth-first, what it holds).
void AppendEntries(HMENU menu, const std::vector<forms::MenuItem*>& entries,
                   std::vector<forms::MenuItem*>& numbered) {
  for (forms::MenuItem* entry : entries) {
    const UINT_PTR id = static_cast<UINT_PTR>(kFirstMenuId) + numbered.size();
    numbered.push_back(entry);
    BOOL appended = FALSE;
    if (entry->is_separator()) {
      appended = ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else if (entry->items().empty()) {
      appended = ::AppendMenuW(menu, MF_STRING, id, Widen(entry->caption()).c_str());
    } else {
      OwnedMenu drop_down = NewMenu(true);
      std::vector<forms::MenuItem*> items;
      for (const auto& item : entry->items())
        items.push_back(item.get());
      AppendEntries(drop_down.get(), items, numbered);
      appended = ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(drop_down.get()),
                               Widen(entry->caption()).c_str());
      // The menu it was appended to destroys it from now on.
      if (appended)
        drop_down.release();
    }
    if (!appended)
      ThrowLastError("AppendMenuW");
  }
}

}  // namespace

forms::MenuItem* MenuBar::ItemOf(int command_id) const {
  const int index = command_id - kFirstMenuId;
  if (index < 0 || index >= static_cast<int>(items.size()))
    return nullptr;
  return items[static_cast<std::size_t>(index)];
}

MenuBar BuildMenuBar(const std::vector<forms::MenuItem*>& bar) {
  MenuBar result;
  if (bar.empty())
    return result;
  result.menu = NewMenu(false);
  AppendEntries(result.menu.get(), bar, result.items);
  return result;
}

}  // namespace tavoro::platform::win32
