// Window definitions shared by the window engine's tests: a main frame with
// a menu, and a child window with one control of each kind the register
// uses.
#ifndef ZUNA_TESTS_RUNTIME_WINDOW_WINDOW_FIXTURES_H_
#define ZUNA_TESTS_RUNTIME_WINDOW_WINDOW_FIXTURES_H_

#include <string>
#include <vector>

#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"

namespace zuna::window::testing {

using values::W;

// Menu −1 "&Файл" holding −2 "Открыть" and −3 "Выход" (closes the frame).
inline WindowDefinition FrameDefinition() {
  WindowDefinition frame;
  frame.name = "FRAME_RSC";
  frame.kind = WindowKind::kApplication;
  frame.title = W("Дни рождения");
  frame.width = 327;
  frame.height = 266;
  frame.menus = {
      MenuDefinition{.parent = 0, .is_menu = true, .text = W("&Файл"), .label = "?File"},
      MenuDefinition{.parent = -1, .text = W("Открыть"), .label = "?Open"},
      MenuDefinition{.parent = -1, .text = W("Выход"), .label = "?Exit",
                     .action = MenuAction::kClose},
  };
  return frame;
}

// Controls: 1 list, 2 sheet, 3 tab, 4 prompt, 5 entry (@s20), 6 entry
// (@D6), 7 display string, 8 button "Закрыть", 9 button "OK" (default).
inline WindowDefinition ChildDefinition(WindowKind kind = WindowKind::kMdiChild) {
  WindowDefinition child;
  child.name = "CHILD_RSC";
  child.kind = kind;
  child.title = W("Список");
  child.width = 216;
  child.height = 188;
  child.controls = {
      ControlDefinition{.type = ControlType::List, .label = "?Browse:1", .x = 4, .y = 20,
                        .width = 200, .height = 88,
                        .format = W("127L|M~ФИО~@s30@15R(1)|M~День рождения~C(0)@D6@"),
                        .msg = "Browsing Records", .imm = true, .vscroll = true},
      ControlDefinition{.type = ControlType::Sheet, .label = "?CurrentTab", .x = 2, .y = 2,
                        .width = 210, .height = 150},
      ControlDefinition{.type = ControlType::Tab, .label = "?Tab:2", .text = W("Список"),
                        .parent = 2},
      ControlDefinition{.type = ControlType::Prompt, .label = "?String1",
                        .text = W("Поиск по фамилии:"), .x = 4, .y = 112, .width = 60,
                        .height = 10, .parent = 3},
      ControlDefinition{.type = ControlType::Entry, .label = "?FFF", .x = 70, .y = 112,
                        .width = 80, .height = 10, .parent = 3, .use = "FFF",
                        .picture = "@s20"},
      ControlDefinition{.type = ControlType::Entry, .label = "?ZUN:DATA", .x = 70, .y = 126,
                        .width = 40, .height = 10, .use = "ZUN:DATA", .picture = "@D6"},
      ControlDefinition{.type = ControlType::String, .label = "?TOT", .x = 150, .y = 160,
                        .width = 30, .height = 10, .use = "TOT", .picture = "@n_6"},
      ControlDefinition{.type = ControlType::Button, .label = "?Close",
                        .text = W("Закрыть"), .x = 160, .y = 170, .width = 45, .height = 14},
      ControlDefinition{.type = ControlType::Button, .label = "?OK", .text = "OK",
                        .x = 110, .y = 170, .width = 45, .height = 14, .is_default = true},
  };
  return child;
}

// A list source over a vector of (name, date serial) rows.
class PeopleRows final : public ListSource {
 public:
  struct Person {
    std::string name;  // program's code page
    int32_t date;
  };
  std::vector<Person> people;

  int32_t Records() const override { return static_cast<int32_t>(people.size()); }
  std::string CellText(int32_t row, size_t column,
                       const values::Picture& picture) const override {
    const Person& person = people[static_cast<size_t>(row - 1)];
    std::string name = person.name;
    int32_t date = person.date;
    values::VariableRef ref = column == 0
                                  ? values::RefString(name.data(),
                                                      static_cast<uint32_t>(name.size()))
                                  : values::RefLong(date);
    return FormatVariable(ref, picture);
  }
};

}  // namespace zuna::window::testing

#endif  // ZUNA_TESTS_RUNTIME_WINDOW_WINDOW_FIXTURES_H_
