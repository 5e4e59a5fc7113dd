#include "app/window_parts.h"

#include <cstddef>

#include "app/zun_dictionary.h"
#include "runtime/values/code_page.h"

namespace zuna::app {

window::ControlDefinition Control(int32_t type, const char* label, const char* text, int32_t x,
                                  int32_t y, int32_t width, int32_t height, int32_t parent,
                                  const char* picture) {
  window::ControlDefinition control;
  control.type = type;
  control.label = label;
  control.text = values::W(text);
  control.x = x;
  control.y = y;
  control.width = width;
  control.height = height;
  control.parent = parent;
  control.picture = picture;
  return control;
}

values::VariableRef FioOf(std::span<char> record) {
  return values::RefString(record.data() + offsetof(ZUN_Record, FIO), kZunFioSize);
}

values::VariableRef DataOf(std::span<char> record) {
  return values::RefLong(*reinterpret_cast<int32_t*>(record.data() + offsetof(ZUN_Record, DATA)));
}

}  // namespace zuna::app
