#include "app/window_demo/people_window.h"

#include <iterator>
#include <string>
#include <vector>

#include "framework/window/popup.h"
#include "framework/window/window_resizer.h"
#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"

namespace zuna::app::demo {
namespace {

using values::W;
using namespace zuna::window;

// Strategy 2 of the resizer's table: buttons keep their size and stick to
// the nearer edges; the list keeps its left and top and stretches so that
// its right and bottom margins stay; the status line above the list keeps
// its top and scales across.
constexpr uint8_t kStrategy = 2;

WindowDefinition PeopleDefinition() {
  WindowDefinition window;
  window.name = "DEMO002_RSC";
  window.kind = WindowKind::kMdiChild;
  window.title = W(kPeopleTitle);
  window.width = kPeopleWidth;
  window.height = kPeopleHeight;
  auto button = [](const char* text, const char* label, int32_t y) {
    return ControlDefinition{.type = ControlType::Button, .label = label, .text = W(text),
                             .x = 198, .y = y, .width = 58, .height = 14};
  };
  window.controls = {
      ControlDefinition{.type = ControlType::List, .label = "?People", .x = 4, .y = 18,
                        .width = 188, .height = 110,
                        .format = W("110L|M~Фамилия, имя~@s30@60R|M~День рождения~@s10@"),
                        .vscroll = true},
      button("&Добавить", "?Insert", 4),
      button("&Изменить", "?Change", 22),
      button("&Удалить", "?Delete", 40),
      button("&Закрыть", "?Close", 132),
      ControlDefinition{.type = ControlType::String, .label = "?Status", .x = 4, .y = 5,
                        .width = 188, .height = 10, .use = "Status"},
  };
  window.controls[kDeleteButton - 1].disabled = true;
  return window;
}

struct Person {
  const char* name;  // UTF-8
  const char* birthday;
};
constexpr Person kPeople[] = {
    {"Иванова Анна", "12.03.1985"},   {"Петров Сергей", "01.11.1979"},
    {"Сидорова Мария", "28.02.1990"}, {"Кузнецов Дмитрий", "15.07.1968"},
    {"Смирнова Ольга", "09.09.1995"}, {"Фёдоров Андрей", "30.12.1972"},
    {"Эйдельман Юлия", "21.05.1988"}, {"Щербаков Илья", "04.04.2001"},
};

class PeopleRows final : public ListSource {
 public:
  int32_t Records() const override { return static_cast<int32_t>(std::size(kPeople)); }
  std::string CellText(int32_t row, size_t column, const values::Picture&) const override {
    const Person& person = kPeople[row - 1];
    return W(column == 0 ? person.name : person.birthday);
  }
};

}  // namespace

void DemoPeople() {
  char status[60];
  PeopleRows rows;
  values::WriteString(values::RefString(status, sizeof status),
                      W("Людей в списке: ") + std::to_string(rows.Records()));
  Window window(PeopleDefinition());
  window.Bind(kStatusLine, values::RefString(status, sizeof status));
  window.BindList(kPeopleList, &rows);
  if (!window.Open()) return;
  window.SetProp(kPeopleList, PROP::Selected, 1);

  framework::WindowResizeClass resizer;
  resizer.Init(kStrategy, 1, 0);  // no smaller than defined
  framework::PopupClass popup;
  popup.Init();
  // Each line shows its button's caption and follows its enabled state.
  popup.AddItemMimic(W("!&Добавить"), kInsertButton, "Insert");
  popup.AddItemMimic(W("!&Изменить"), kChangeButton, "Change");
  popup.AddItemMimic(W("!&Удалить"), kDeleteButton, "Delete");
  popup.AddItem("-");
  popup.AddItemMimic(W("!&Закрыть"), kCloseButton_, "Close");
  window.Alert(kPeopleList, KEY::MouseRightUp);

  while (ACCEPT(window)) {
    if (EVENT() == EVENT::Sized) POST(framework::kResizeEvent);
    if (EVENT() == EVENT::AlertKey && FIELD() == kPeopleList) popup.Ask();
    int32_t accepted = ACCEPTED();
    if (accepted == kCloseButton_) POST(EVENT::CloseWindow);
    if (accepted == kInsertButton || accepted == kChangeButton) {
      std::string caption = window.Prop(accepted, PROP::Text);
      values::WriteString(values::RefString(status, sizeof status),
                          W(kChosenPrefix) + framework::PopupClass::RemoveAmpersand(caption));
      window.Display(kStatusLine);
    }
  }
  popup.Kill();
  resizer.Kill();
}

}  // namespace zuna::app::demo
