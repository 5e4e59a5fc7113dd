// Small pieces the register's windows share: a control of a window
// definition written on one line, and the ZUN record's fields as
// variables over a record buffer.
#ifndef ZUNA_APP_WINDOW_PARTS_H_
#define ZUNA_APP_WINDOW_PARTS_H_

#include <cstdint>
#include <span>

#include "app/zun_dictionary.h"
#include "framework/window/browse_class.h"
#include "runtime/values/variable.h"
#include "runtime/window/engine.h"

namespace zuna::app {

// `text` in UTF-8 (converted to the program's code page).
window::ControlDefinition Control(int32_t type, const char* label, const char* text, int32_t x,
                                  int32_t y, int32_t width, int32_t height, int32_t parent = 0,
                                  const char* picture = "");

// A child window of the frame as the register's procedures declare them
// ("QuickWindow", CHILD.ICO); `title` in UTF-8.
window::WindowDefinition ChildWindow(const char* title, int32_t width, int32_t height);

// A list box of rows in `format` (UTF-8), its scroll keys reported at once,
// with a scroll bar and the status text the register's lists show.
window::ControlDefinition BrowseList(const char* format, int32_t x, int32_t y, int32_t width,
                                     int32_t height, int32_t parent);

// The row the register's lists show: the name and the birth date.
struct NameDateRow {
  char fio[kZunFioSize];
  int32_t data;

  std::span<char> bytes() { return {reinterpret_cast<char*>(this), sizeof *this}; }
  // Its two columns in `queue`, and the record's fields that fill them.
  void AddColumns(framework::ListQueue& queue);
  void AddFields(framework::BrowseClass& browse, std::span<char> record);
};

// ZUN:FIO and ZUN:DATA of the record in `record` (38 bytes).
values::VariableRef FioOf(std::span<char> record);
values::VariableRef DataOf(std::span<char> record);

}  // namespace zuna::app

#endif  // ZUNA_APP_WINDOW_PARTS_H_
