// The text of a popup menu, as POPUP() takes it:
//
//   "~&Добавить|+&Изменить|-|Сортировка{По имени|По дате}Закрыть"
//
// Entries are joined by '|'; '{' after an entry makes it the header of a
// submenu holding the entries up to the matching '}'.  Each entry may start
// with '~' (disabled), then '+' (checked) or '-' followed by text
// (unchecked mark), then a bracketed block of display attributes
// ("[icon]"); a lone "-" is a separator line.  '&' marks the access key.
//
// Lines are what POPUP() returns: the selectable entries (neither
// separators nor submenu headers) counted 1, 2, … in order.
// Plain values: safe to share between threads once made.
#ifndef ZUNA_RUNTIME_WINDOW_POPUP_MENU_H_
#define ZUNA_RUNTIME_WINDOW_POPUP_MENU_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::window {

struct PopupEntry {
  int32_t depth = 1;          // 1 = top level
  std::string text;           // without the marks; program's code page
  std::string attributes;     // the bracketed block without brackets
  bool disabled = false;
  int32_t check = 0;          // 0 none, 1 checked, 2 unchecked mark
  bool separator = false;
  bool submenu = false;       // a header: the next deeper entries are its items
  int32_t line = 0;           // 1-based line number; 0 for separators and headers
};

std::vector<PopupEntry> ParsePopupMenu(std::string_view menu_text);

// The entry holding line `line`, or nullptr.
const PopupEntry* FindPopupLine(const std::vector<PopupEntry>& entries,
                                int32_t line);

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_POPUP_MENU_H_
