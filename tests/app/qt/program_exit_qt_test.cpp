// The whole program on the Qt screen ending while it is busy: both lists
// open, the record form open over the register list and its question
// («Сохранение записи») on screen.  The session ends at once, the question
// answered with its default, the form cancelled, nothing written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/globals.h"
#include "app/record_form.h"
#include "app/register_list.h"
#include "app/register_program.h"
#include "app/upcoming_list.h"
#include "framework/window/engine_host.h"
#include "runtime/values/error_state.h"
#include "runtime/window/qt/qt_session.h"
#include "tests/support/run_program.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWait = 10000;  // ms

TEST(ProgramExitQt, EndsAtOnceWithListsAFormAndAQuestionOpen) {
  setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
  zuna::testing::TempDir dir;
  ::setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  char previous[4096];
  ASSERT_EQ(::getcwd(previous, sizeof previous), previous);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  zuna::testing::InstallShippedLocale();
  values::ClearError();
  framework::EngineHost host([](int, std::string_view) {});

  int argc = 1;
  char name[] = "app_qt_tests";
  char* argv[] = {name, nullptr};
  auto session = std::make_unique<window::qt::QtSession>(argc, argv);
  {
    framework::ScopedHost installed(host);
    InstallThreadHooks(session->engine());
    ASSERT_TRUE(session->Start([] {
      ProgramMain(ProgramOptions{.lists = {.upcoming = tab1, .register_list = tab2},
                                 .create_register = true});
    }));
    auto settled = [&] { return session->engine().WaitIdle(std::chrono::milliseconds(0)); };
    auto pump = [&](const std::function<bool()>& done) {
      return session->PumpUntil(done, kWait);
    };
    ASSERT_TRUE(pump([&] { return settled() && session->TriggerMenuItem("Просмотр"); }));
    ASSERT_TRUE(pump([&] {
      return settled() && session->TriggerMenuItem("Ввод-просмотр-редактирование");
    }));
    ASSERT_TRUE(pump([&] {
      return settled() && session->ClickButton("Ввод-просмотр-корректировка", "Добавить");
    }));
    ASSERT_TRUE(pump([&] {
      return settled() && session->TypeInto("Добавить ???", kFormName, "Никто", false);
    }));
    ASSERT_TRUE(pump([&] { return settled() && session->ClickButton("Добавить ???", "Выход"); }));
    ASSERT_TRUE(pump([&] { return session->MessageBoxCaption() == "Сохранение записи"; }));
    EXPECT_EQ(session->ChildTitles().size(), 3u);

    const auto start = Clock::now();
    session.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  }
  ASSERT_EQ(::chdir(previous), 0);
  GlobalErrors.Kill();
  auto listed = zuna::testing::RunProgram(zuna::testing::BinPath("zunatool"),
                                          {"list", dir.File("ZUN")});
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_EQ(listed.out.find("Никто"), std::string::npos) << "nothing written";
  auto check = zuna::testing::RunProgram(zuna::testing::BinPath("zunatool"),
                                         {"check", dir.File("ZUN")});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace zuna::app
