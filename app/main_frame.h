// Main: the register's main frame, "Дни рождения", whose menu starts the
// two lists, each on a thread of its own, and whose closing ends the
// program.
//
//   Main(MainFrameLists{.upcoming = tab1, .register_list = tab2});
//
// The menu bar, in order (menu numbers count down from -1):
//   -1 "&День рождения в ближайшие  7 дней"
//      -2 "Просмотр"                      starts the upcoming-birthdays list
//      -3 "Выход"                         closes the frame: the program ends
//   -4 "          &Ввод-редактирование"  the open child windows are listed
//      -5 "Ввод-просмотр-редактирование" starts the register list
// Starting does not wait: any number of lists, of either kind, may be open.
//
// Threads: Main runs on thread 1, which must have its dictionary set up by
// the program (ZUNABC::DctInit) and GlobalErrors initialised.
#ifndef ZUNA_APP_MAIN_FRAME_H_
#define ZUNA_APP_MAIN_FRAME_H_

#include <cstdint>
#include <functional>

#include "runtime/window/engine.h"

namespace zuna::app {

inline constexpr int32_t kMenuUpcoming = -1;
inline constexpr int32_t kItemUpcoming = -2;
inline constexpr int32_t kItemExit = -3;
inline constexpr int32_t kMenuWindows = -4;
inline constexpr int32_t kItemRegister = -5;
// The stack the lists are started with; the system gives them more.
inline constexpr int32_t kListStackSize = 25000;

struct MainFrameLists {
  std::function<void()> upcoming;       // "Просмотр"
  std::function<void()> register_list;  // "Ввод-просмотр-редактирование"
};

// The frame's window, "AppFrame".  `backdrop` is the picture drawn behind
// the child windows (a file name; empty for none), `icon` the frame's.
window::WindowDefinition MainFrameDefinition(const std::string& backdrop = {},
                                             const std::string& icon = {});

// Runs the frame until it closes; GlobalResponse is what its window
// manager's Run returns.
void Main(const MainFrameLists& lists, const std::string& backdrop = {},
          const std::string& icon = {});

}  // namespace zuna::app

#endif  // ZUNA_APP_MAIN_FRAME_H_
