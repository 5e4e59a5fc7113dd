// zuna_program_station: the whole register program on the headless screen,
// in a process of its own, driven through its windows as a user would, so
// a test can run two programs on one register and order their steps.
//
//   zuna_program_station DIRECTORY
//
// Opens the register in DIRECTORY, starts the program (its frame), opens
// the register list and the upcoming-birthdays list, prints "ready", then
// reads one command per line and answers each with one line:
//   insert NAME DATE   "Добавить" in the register list, the form filled, OK
//   change NAME NEW    the row NAME highlighted, "Изменить", the name
//                      replaced by NEW, OK
//   delete NAME        the row NAME highlighted, "Удалить", OK
//   top                the list to its first page (Home): a refill
//   count              "0 TOTAL ROWS": the list's "Итого:" and its rows
//   refocus            the upcoming list made the active window, then the
//                      register list again
//   quit               "Выход"; answers "0" once the program has ended
// Names are one word, in UTF-8.  Answers: "0 ..." on success, "1 WHY" when
// the step could not be taken (a question on screen answers it with its
// default and says so).
#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/main_frame.h"
#include "app/record_form.h"
#include "app/register_list.h"
#include "app/register_program.h"
#include "app/upcoming_list.h"
#include "framework/window/engine_host.h"
#include "runtime/values/code_page.h"
#include "runtime/window/headless.h"
#include "runtime/window/keycodes.h"
#include "tests/support/shipped_locale.h"

namespace {

using namespace zuna;
using values::W;

class Station {
 public:
  bool Start() {
    app::InstallThreadHooks(screen_.engine());
    if (!screen_.RunMain([] {
          app::ProgramMain(app::ProgramOptions{
              .lists = {.upcoming = app::tab1, .register_list = app::tab2},
              .create_register = true});
        })) {
      return false;
    }
    if (!Settled()) return false;
    frame_ = screen_.FindWindow(W("Дни рождения"));
    screen_.ChooseMenu(frame_, app::kItemUpcoming);
    if (!Settled()) return false;
    screen_.ChooseMenu(frame_, app::kItemRegister);
    if (!Settled()) return false;
    list_ = screen_.FindWindow(W("Ввод-просмотр-корректировка"));
    return frame_ != 0 && list_ != 0;
  }

  std::string Do(const std::string& line) {
    std::istringstream words(line);
    std::string command, a, b;
    words >> command >> a >> b;
    a = values::Utf8ToCp1251(a);
    b = values::Utf8ToCp1251(b);
    if (command == "insert") return Form(app::kRegisterInsert, W("Добавить ???"), a, b);
    if (command == "change") {
      if (!Highlight(a)) return "1 no row " + line;
      return Form(app::kRegisterChange, W("Изменить ???"), b, "");
    }
    if (command == "delete") {
      if (!Highlight(a)) return "1 no row " + line;
      return Form(app::kRegisterDelete, W("Удалить ???"), "", "");
    }
    if (command == "top") {
      screen_.PressKey(list_, app::kRegisterList, window::KEY::Home);
      return Settled() ? "0" : "1 unsettled";
    }
    if (command == "refocus") {
      screen_.Activate(screen_.FindWindow(W("День рождения в ближайшие 7 дней")));
      if (!Settled()) return "1 unsettled";
      screen_.Activate(list_);
      return Settled() ? "0" : "1 unsettled";
    }
    if (command == "count") {
      return "0 " + Trim(screen_.Text(list_, app::kRegisterTotal)) + " " +
             std::to_string(screen_.Rows(list_, app::kRegisterList).size());
    }
    return "1 unknown " + line;
  }

  bool Quit() {
    screen_.ChooseMenu(frame_, app::kItemExit);
    return screen_.Finish();
  }

 private:
  static std::string Trim(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
  }

  bool Settled() { return screen_.Settle(std::chrono::seconds(30)); }

  // The row showing `name` highlighted, from the first page on.
  bool Highlight(const std::string& name) {
    screen_.PressKey(list_, app::kRegisterList, window::KEY::Home);
    if (!Settled()) return false;
    for (int page = 0; page < 100; ++page) {
      const auto rows = screen_.Rows(list_, app::kRegisterList);
      for (size_t i = 0; i < rows.size(); ++i) {
        if (Trim(rows[i].at(0)) == name) {
          screen_.SelectRow(list_, app::kRegisterList, static_cast<int32_t>(i) + 1);
          return Settled();
        }
      }
      screen_.PressKey(list_, app::kRegisterList, window::KEY::PgDn);
      if (!Settled() || screen_.Rows(list_, app::kRegisterList) == rows) return false;
    }
    return false;
  }

  // Presses `button`, fills the form titled `title` (empty texts left as
  // they are) and presses OK.
  std::string Form(int32_t button, const std::string& title, const std::string& name,
                   const std::string& date) {
    screen_.Click(list_, button);
    if (!Settled()) return "1 unsettled";
    const int32_t form = screen_.FindWindow(title);
    if (form == 0) return "1 no form";
    if (!name.empty()) screen_.Type(form, app::kFormName, name);
    if (!Settled()) return "1 unsettled";
    if (!date.empty()) screen_.Type(form, app::kFormDate, date);
    if (!Settled()) return "1 unsettled";
    screen_.Click(form, app::kFormOk);
    if (!Settled()) return "1 unsettled";
    std::string asked;
    while (!screen_.Questions().empty()) {
      asked += " " + values::Cp1251ToUtf8(screen_.Questions().front().caption);
      screen_.Answer(screen_.Questions().front().default_button);
      if (!Settled()) return "1 unsettled";
    }
    if (screen_.FindWindow(title) != 0) {
      screen_.Click(form, app::kFormCancel);
      Settled();
      while (!screen_.Questions().empty()) {
        screen_.Answer(window::BUTTON::No);
        Settled();
      }
      return "1 refused" + asked;
    }
    return asked.empty() ? "0" : "1 asked" + asked;
  }

  framework::EngineHost host_;
  framework::ScopedHost installed_{host_};
  window::HeadlessEngine screen_;
  int32_t frame_ = 0;
  int32_t list_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || ::chdir(argv[1]) != 0) {
    std::cerr << "usage: zuna_program_station DIRECTORY\n";
    return 2;
  }
  zuna::testing::InstallShippedLocale();  // the keys zunatool checks against
  Station station;
  if (!station.Start()) {
    std::cout << "1 cannot start" << std::endl;
    return 1;
  }
  std::cout << "ready" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "quit") {
      std::cout << (station.Quit() ? "0" : "1 did not end") << std::endl;
      return 0;
    }
    std::cout << station.Do(line) << std::endl;
  }
  station.Quit();
  return 0;
}
