// Small pieces the register's windows share: a control of a window
// definition written on one line, and the ZUN record's fields as
// variables over a record buffer.
#ifndef ZUNA_APP_WINDOW_PARTS_H_
#define ZUNA_APP_WINDOW_PARTS_H_

#include <cstdint>
#include <span>

#include "runtime/values/variable.h"
#include "runtime/window/engine.h"

namespace zuna::app {

// `text` in UTF-8 (converted to the program's code page).
window::ControlDefinition Control(int32_t type, const char* label, const char* text, int32_t x,
                                  int32_t y, int32_t width, int32_t height, int32_t parent = 0,
                                  const char* picture = "");

// ZUN:FIO and ZUN:DATA of the record in `record` (38 bytes).
values::VariableRef FioOf(std::span<char> record);
values::VariableRef DataOf(std::span<char> record);

}  // namespace zuna::app

#endif  // ZUNA_APP_WINDOW_PARTS_H_
