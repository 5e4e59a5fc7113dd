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

window::WindowDefinition ChildWindow(const char* title, int32_t width, int32_t height) {
  window::WindowDefinition child;
  child.name = "QuickWindow";
  child.kind = window::WindowKind::kMdiChild;
  child.title = values::W(title);
  child.icon = "CHILD.ICO";
  child.width = width;
  child.height = height;
  return child;
}

window::ControlDefinition BrowseList(const char* format, int32_t x, int32_t y, int32_t width,
                                     int32_t height, int32_t parent) {
  window::ControlDefinition list =
      Control(window::ControlType::List, "?Browse:1", "", x, y, width, height, parent);
  list.format = values::W(format);
  list.msg = "Browsing Records";
  list.imm = true;
  list.vscroll = true;
  return list;
}

void NameDateRow::AddColumns(framework::ListQueue& queue) {
  queue.AddColumn(values::RefString(fio, kZunFioSize), "ZUN:FIO");
  queue.AddColumn(values::RefLong(data), "ZUN:DATA");
}

void NameDateRow::AddFields(framework::BrowseClass& browse, std::span<char> record) {
  browse.AddField(FioOf(record), values::RefString(fio, kZunFioSize));
  browse.AddField(DataOf(record), values::RefLong(data));
}

values::VariableRef FioOf(std::span<char> record) {
  return values::RefString(record.data() + offsetof(ZUN_Record, FIO), kZunFioSize);
}

values::VariableRef DataOf(std::span<char> record) {
  return values::RefLong(*reinterpret_cast<int32_t*>(record.data() + offsetof(ZUN_Record, DATA)));
}

}  // namespace zuna::app
