// The register program's main frame on the headless screen: its menu bar
// as the user sees it, lists started on threads of their own (two of the
// same kind at once), and "Выход" ending the program with lists still open.
#include "app/main_frame.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/register_program.h"
#include "framework/window/engine_host.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/window/headless.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

using values::W;

// A list stand-in: a child window titled after its kind and thread.
std::function<void()> FakeList(const char* kind, std::atomic<int>* ended) {
  return [kind, ended] {
    window::WindowDefinition definition;
    definition.title = std::string(kind) + " " + std::to_string(window::THREAD());
    window::Window list(definition);
    if (list.Open()) {
      while (window::ACCEPT(list)) {
      }
    }
    ++*ended;
  };
}

class MainFrameTest : public ::testing::Test {
 protected:
  MainFrameTest() : host_([](int, std::string_view) {}), installed_(host_) {
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    values::ClearError();
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  ~MainFrameTest() override {
    EXPECT_EQ(::chdir(previous_dir_), 0);
    ::unsetenv("XDG_CONFIG_HOME");
    GlobalErrors.Kill();
    values::ClearError();
  }

  framework::EngineHost host_;
  framework::ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  std::atomic<int> ended_{0};
  ProgramOptions options_{.lists = {.upcoming = FakeList("upcoming", &ended_),
                                    .register_list = FakeList("register", &ended_)}};
  window::HeadlessEngine screen_;
};

TEST_F(MainFrameTest, MenuListsAndExit) {
  InstallThreadHooks(screen_.engine());
  ASSERT_TRUE(screen_.RunMain([this] { ProgramMain(options_); }));
  ASSERT_TRUE(screen_.Settle());
  const int32_t frame = screen_.FindWindow(W("Дни рождения"));
  ASSERT_NE(frame, 0);

  auto view = screen_.View(frame);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->kind, window::WindowKind::kApplication);
  struct Expected {
    int32_t parent;
    const char* text;
    const char* msg;
    window::MenuAction action;
  };
  const Expected menus[] = {
      {0, "&День рождения в ближайшие  7 дней", "", window::MenuAction::kNone},
      {-1, "Просмотр", "Remove item to Windows Clipboard", window::MenuAction::kNone},
      {-1, "Выход", "", window::MenuAction::kClose},
      {0, "          &Ввод-редактирование", "Create and Arrange windows",
       window::MenuAction::kWindowList},
      {-4, "Ввод-просмотр-редактирование", "Make all open windows visible",
       window::MenuAction::kNone},
  };
  ASSERT_EQ(view->menus.size(), std::size(menus));
  for (size_t i = 0; i < std::size(menus); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(view->menus[i].parent, menus[i].parent);
    EXPECT_EQ(view->menus[i].text, W(menus[i].text));
    EXPECT_EQ(view->menus[i].msg, W(menus[i].msg));
    EXPECT_EQ(view->menus[i].action, menus[i].action);
  }

  // Two upcoming lists and a register list, each on a thread of its own.
  for (int32_t item : {kItemUpcoming, kItemUpcoming, kItemRegister}) {
    screen_.ChooseMenu(frame, item);
    ASSERT_TRUE(screen_.Settle());
  }
  std::vector<std::string> titles;
  std::vector<int32_t> threads;
  for (int32_t id : screen_.Windows()) {
    if (id == frame) continue;
    titles.push_back(screen_.Title(id));
    threads.push_back(screen_.View(id)->thread);
  }
  ASSERT_EQ(titles.size(), 3u);
  EXPECT_EQ(titles[0].substr(0, 8), "upcoming");
  EXPECT_EQ(titles[1].substr(0, 8), "upcoming");
  EXPECT_EQ(titles[2].substr(0, 8), "register");
  EXPECT_NE(threads[0], threads[1]);
  EXPECT_NE(threads[1], threads[2]);

  // "Выход" with the lists open ends every thread and the program.
  screen_.ChooseMenu(frame, kItemExit);
  ASSERT_TRUE(screen_.Finish());
  EXPECT_EQ(ended_.load(), 3);
  EXPECT_TRUE(screen_.Windows().empty());
  EXPECT_EQ(FuzzyMatcher.no_case(), 1);
  EXPECT_EQ(FuzzyMatcher.word_only(), 0);
}

}  // namespace
}  // namespace zuna::app
