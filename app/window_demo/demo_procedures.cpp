#include "app/window_demo/demo_procedures.h"

#include "app/window_demo/people_window.h"

#include <cstring>
#include <mutex>

#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"

namespace zuna::app::demo {
namespace {

using values::W;
using namespace zuna::window;

std::mutex answers_mu;
std::vector<Answer>& AnswerLog() {
  static std::vector<Answer> log;
  return log;
}

// Frame menus.
constexpr int32_t kNewWindow = -2;
constexpr int32_t kPeopleWindow = -3;

WindowDefinition FrameWindow() {
  WindowDefinition frame;
  frame.name = "DEMO_RSC";
  frame.kind = WindowKind::kApplication;
  frame.title = W(kFrameTitle);
  frame.width = 540;
  frame.height = 380;
  frame.menus = {
      MenuDefinition{.is_menu = true, .text = W("&Файл"), .label = "?File"},
      MenuDefinition{.parent = -1, .text = W(kNewWindowItem), .label = "?New",
                     .msg = W("Открыть окно в новом потоке")},
      MenuDefinition{.parent = -1, .text = W(kPeopleItem), .label = "?People",
                     .msg = W("Список людей с изменяемым размером")},
      MenuDefinition{.parent = -1, .separator = true},
      MenuDefinition{.parent = -1, .text = W(kExitItem), .label = "?Exit",
                     .action = MenuAction::kClose},
      MenuDefinition{.is_menu = true, .text = W("&Окна"), .label = "?WINDOWMENU",
                     .action = MenuAction::kWindowList},
  };
  return frame;
}

// Child controls.
constexpr int32_t kAsk = 6;
constexpr int32_t kAnswerText = 7;
constexpr int32_t kClose = 8;

WindowDefinition ChildWindow(int32_t thread) {
  WindowDefinition child;
  child.name = "DEMO001_RSC";
  child.kind = WindowKind::kMdiChild;
  child.title = W(ChildTitle(thread));
  child.width = 200;
  child.height = 130;
  child.controls = {
      ControlDefinition{.type = ControlType::Sheet, .label = "?CurrentTab", .x = 4, .y = 4,
                        .width = 192, .height = 100},
      ControlDefinition{.type = ControlType::Tab, .label = "?Tab:1", .text = W("Ответы"),
                        .parent = 1},
      ControlDefinition{.type = ControlType::List, .label = "?List", .x = 10, .y = 20,
                        .width = 180, .height = 50, .parent = 2,
                        .format = W("60L|M~Поток~@n3@60L|M~Ответ~@s10@"), .vscroll = true},
      ControlDefinition{.type = ControlType::Prompt, .label = "?Prompt", .text = W("&Заметка:"),
                        .x = 10, .y = 78, .width = 40, .height = 10, .parent = 2},
      ControlDefinition{.type = ControlType::Entry, .label = "?Note", .x = 52, .y = 76,
                        .width = 136, .height = 12, .parent = 2, .use = "Note",
                        .picture = "@s30"},
      ControlDefinition{.type = ControlType::Button, .label = "?Ask", .text = W("&Спросить"),
                        .x = 4, .y = 110, .width = 50, .height = 14, .is_default = true},
      ControlDefinition{.type = ControlType::String, .label = "?Answer", .x = 60, .y = 113,
                        .width = 80, .height = 10, .use = "AnswerText"},
      ControlDefinition{.type = ControlType::Button, .label = "?Close", .text = W(kCloseButton),
                        .x = 146, .y = 110, .width = 50, .height = 14},
  };
  return child;
}

// The answers this window's thread received, as list rows.
class AnswerRows final : public ListSource {
 public:
  std::vector<Answer> rows;
  int32_t Records() const override { return static_cast<int32_t>(rows.size()); }
  std::string CellText(int32_t row, size_t column,
                       const values::Picture& picture) const override {
    const Answer& answer = rows[static_cast<size_t>(row - 1)];
    if (column == 0) {
      int32_t thread = answer.received_on;
      return FormatVariable(values::RefLong(thread), picture);
    }
    return answer.button == BUTTON::Yes ? W("Да") : W("Нет");
  }
};

}  // namespace

std::string ChildTitle(int32_t thread) { return "Окно потока " + std::to_string(thread); }

std::vector<Answer> Answers() {
  std::lock_guard lock(answers_mu);
  return AnswerLog();
}

void DemoMain() {
  Window frame(FrameWindow());
  if (!frame.Open()) return;
  while (ACCEPT(frame)) {
    if (ACCEPTED() == kNewWindow) START(DemoChild, 25000);
    if (ACCEPTED() == kPeopleWindow) START(DemoPeople, 25000);
  }
}

void DemoChild() {
  int32_t thread = THREAD();
  char answer_text[20];
  std::memset(answer_text, ' ', sizeof answer_text);
  char note[30];
  std::memset(note, ' ', sizeof note);
  AnswerRows rows;

  Window window(ChildWindow(thread));
  window.Bind(5, values::RefString(note, sizeof note));
  window.Bind(kAnswerText, values::RefString(answer_text, sizeof answer_text));
  window.BindList(3, &rows);
  if (!window.Open()) return;
  while (ACCEPT(window)) {
    if (ACCEPTED() == kClose) POST(EVENT::CloseWindow);
    if (ACCEPTED() != kAsk) continue;
    // Blocks this thread only: the frame and the other children go on.
    int32_t button = MESSAGE(W(kQuestion), W("Вопрос окна ") + std::to_string(thread),
                             ICON::Question, BUTTON::Yes + BUTTON::No, BUTTON::Yes);
    Answer answer{thread, THREAD(), button};
    {
      std::lock_guard lock(answers_mu);
      AnswerLog().push_back(answer);
    }
    rows.rows.push_back(answer);
    values::WriteString(values::RefString(answer_text, sizeof answer_text),
                        W(button == BUTTON::Yes ? kAnswerYes : kAnswerNo));
    window.Display();
  }
}

}  // namespace zuna::app::demo
