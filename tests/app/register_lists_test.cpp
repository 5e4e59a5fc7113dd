// The whole register program on the headless screen, over real register
// files made by zunatool: the upcoming-birthdays list against zunatool's
// `upcoming` on every day from 18 December to 8 January and around
// 29 February, two lists at once, the register list's search, count and
// form, and "Выход" with lists open.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/record_form.h"
#include "app/register_list.h"
#include "app/register_program.h"
#include "app/upcoming_list.h"
#include "framework/window/engine_host.h"
#include "runtime/values/clock.h"
#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/error_state.h"
#include "runtime/window/headless.h"
#include "tests/support/run_program.h"
#include "tests/support/shipped_locale.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

using values::W;
using zuna::testing::RunProgram;
namespace PROP = window::PROP;

// The clock the program reads today from; the test moves it.
class TestClock final : public values::Clock {
 public:
  values::LocalDateTime Now() const override { return now; }
  values::LocalDateTime now{2026, 3, 10, 0};
};

std::string Trim(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::string Yyyymmdd(const values::LocalDateTime& d) {
  char text[9];
  std::snprintf(text, sizeof text, "%04d%02d%02d", d.year, d.month, d.day);
  return text;
}

class RegisterListsTest : public ::testing::Test {
 protected:
  RegisterListsTest() : host_([](int, std::string_view) {}), installed_(host_) {
    ::setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    zuna::testing::InstallShippedLocale();
    values::ClearError();
    values::SetClock(&clock_);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  ~RegisterListsTest() override {
    EXPECT_EQ(::chdir(previous_dir_), 0);
    values::SetClock(nullptr);
    ::unsetenv("XDG_CONFIG_HOME");
    GlobalErrors.Kill();
    values::ClearError();
  }

  // The register, made by zunatool from "name;dd/mm/yyyy" lines.
  void MakeRegister(const std::vector<std::string>& lines) {
    std::ofstream csv(dir_.File("people.csv"));
    for (const std::string& line : lines) csv << line << "\n";
    csv.close();
    ASSERT_EQ(RunProgram(zuna::testing::BinPath("zunatool"), {"create", Zun()}).exit_code, 0);
    if (!lines.empty()) {
      auto imported =
          RunProgram(zuna::testing::BinPath("zunatool"), {"import", Zun(), dir_.File("people.csv")});
      ASSERT_EQ(imported.exit_code, 0) << imported.err;
    }
  }
  std::string Zun() const { return dir_.File("ZUN"); }

  void StartProgram() {
    InstallThreadHooks(screen_.engine());
    ASSERT_TRUE(screen_.RunMain([] {
      ProgramMain(ProgramOptions{.lists = {.upcoming = tab1, .register_list = tab2}});
    }));
    ASSERT_TRUE(screen_.Settle());
    frame_ = screen_.FindWindow(W("Дни рождения"));
    ASSERT_NE(frame_, 0);
  }

  // Chooses a menu item and returns the window it opened.
  int32_t Open(int32_t item, const char* title) {
    screen_.ChooseMenu(frame_, item);
    EXPECT_TRUE(screen_.Settle());
    return screen_.FindWindow(W(title));
  }

  std::vector<std::string> Names(int32_t window, int32_t list) const {
    std::vector<std::string> names;
    for (const auto& row : screen_.Rows(window, list)) names.push_back(Trim(row.at(0)));
    return names;
  }

  // zunatool's `upcoming` on the same register, today fixed the same way.
  std::vector<std::string> ZunatoolUpcoming() const {
    auto result = RunProgram(zuna::testing::BinPath("zunatool"),
                             {"--today", Yyyymmdd(clock_.now), "upcoming", Zun()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::vector<std::string> names;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
      const size_t bar = line.find('|');
      if (bar != std::string::npos) names.push_back(values::Utf8ToCp1251(line.substr(0, bar)));
    }
    return names;
  }

  void Do(const std::function<void()>& act) {
    act();
    ASSERT_TRUE(screen_.Settle());
  }

  TestClock clock_;
  framework::EngineHost host_;
  framework::ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
  int32_t frame_ = 0;
  window::HeadlessEngine screen_;
};

// Today 10 March 2026: today and seven days ahead are listed, eight days
// ahead and yesterday are not; the list is by full date of birth.
TEST_F(RegisterListsTest, UpcomingListsTheComingWeekAndCountsIt) {
  MakeRegister({"Today;10/03/1990", "Week;17/03/1950", "Eight;18/03/1980",
                "Yesterday;09/03/1985", "Midweek;13/03/1970"});
  StartProgram();
  const int32_t first = Open(kItemUpcoming, "День рождения в ближайшие 7 дней");
  ASSERT_NE(first, 0);
  EXPECT_EQ(Names(first, kUpcomingList), (std::vector<std::string>{"Week", "Midweek", "Today"}));
  EXPECT_EQ(Trim(screen_.Text(first, kUpcomingTotal)), "3");
  EXPECT_EQ(Trim(screen_.Text(first, kUpcomingToday)), "10/03/2026");
  EXPECT_EQ(screen_.Rows(first, kUpcomingList).at(0).at(1), "17/03/1950");

  // A second list is a window of its own on a thread of its own.
  const int32_t second = Open(kItemUpcoming, "День рождения в ближайшие 7 дней");
  ASSERT_NE(second, first);
  EXPECT_NE(screen_.View(first)->thread, screen_.View(second)->thread);
  EXPECT_EQ(Names(second, kUpcomingList), Names(first, kUpcomingList));

  // Left open over midnight: coming back to the list shows the new day's
  // week, and says which day that is.
  clock_.now = {2026, 3, 11, 0};
  screen_.Activate(first);
  ASSERT_TRUE(screen_.Settle());
  EXPECT_EQ(Names(first, kUpcomingList), (std::vector<std::string>{"Week", "Midweek", "Eight"}));
  EXPECT_EQ(Trim(screen_.Text(first, kUpcomingTotal)), "3");
  EXPECT_EQ(Trim(screen_.Text(first, kUpcomingToday)), "11/03/2026");

  // "Выход" with both open ends the program.
  screen_.ChooseMenu(frame_, kItemExit);
  ASSERT_TRUE(screen_.Finish());
  EXPECT_TRUE(screen_.Windows().empty());
}

TEST_F(RegisterListsTest, AnEmptyRegisterShowsNoOneAndZero) {
  MakeRegister({});
  StartProgram();
  const int32_t upcoming = Open(kItemUpcoming, "День рождения в ближайшие 7 дней");
  const int32_t list = Open(kItemRegister, "Ввод-просмотр-корректировка");
  EXPECT_TRUE(screen_.Rows(upcoming, kUpcomingList).empty());
  EXPECT_EQ(Trim(screen_.Text(upcoming, kUpcomingTotal)), "0");
  EXPECT_TRUE(screen_.Rows(list, kRegisterList).empty());
  EXPECT_EQ(Trim(screen_.Text(list, kRegisterTotal)), "0");
  screen_.ChooseMenu(frame_, kItemExit);
  ASSERT_TRUE(screen_.Finish());
}

// Every day of a leap year has one person born on it; on each day around
// the year's end and around 29 February (in a common and a leap year) the
// list names exactly whom `zunatool upcoming` names.
TEST_F(RegisterListsTest, UpcomingAgreesWithZunatoolAtYearEndAndAroundLeapDays) {
  std::vector<std::string> people;
  for (int32_t day = values::DATE(1, 1, 1980); day <= values::DATE(12, 31, 1980); ++day) {
    char line[32];
    std::snprintf(line, sizeof line, "P%02d%02d;%02d/%02d/1980", values::MONTH(day),
                  values::DAY(day), values::DAY(day), values::MONTH(day));
    people.push_back(line);
  }
  ASSERT_EQ(people.size(), 366u);
  MakeRegister(people);
  StartProgram();

  std::vector<values::LocalDateTime> days;
  for (int day = 18; day <= 31; ++day) days.push_back({2026, 12, day, 0});
  for (int day = 1; day <= 8; ++day) days.push_back({2027, 1, day, 0});
  for (int year : {2027, 2028}) {
    for (auto [month, day] : {std::pair{2, 21}, {2, 22}, {2, 28}, {3, 1}}) {
      days.push_back({year, month, day, 0});
    }
  }
  days.push_back({2028, 2, 29, 0});
  for (const values::LocalDateTime& today : days) {
    SCOPED_TRACE(Yyyymmdd(today));
    clock_.now = today;
    const int32_t window = Open(kItemUpcoming, "День рождения в ближайшие 7 дней");
    ASSERT_NE(window, 0);
    const std::vector<std::string> listed = Names(window, kUpcomingList);
    EXPECT_EQ(listed, ZunatoolUpcoming());
    EXPECT_GE(listed.size(), 7u) << "seven or eight birthdays are always coming";
    EXPECT_EQ(Trim(screen_.Text(window, kUpcomingTotal)), std::to_string(listed.size()));
    Do([&] { screen_.Click(window, kUpcomingClose); });
  }
  screen_.ChooseMenu(frame_, kItemExit);
  ASSERT_TRUE(screen_.Finish());
}

// The register list: typing the beginning of a surname, in whatever case,
// moves the highlight; the count follows inserts; a cancelled form and a
// change that alters nothing leave the list as it was.
TEST_F(RegisterListsTest, RegisterListSearchCountAndForm) {
  MakeRegister({"Алексеев Алексей;10/12/1950", "Волков Всеволод;16/12/1980",
                "Белова Анна;24/01/1957"});
  StartProgram();
  const int32_t list = Open(kItemRegister, "Ввод-просмотр-корректировка");
  ASSERT_NE(list, 0);
  EXPECT_EQ(Names(list, kRegisterList),
            (std::vector<std::string>{W("Алексеев Алексей"), W("Белова Анна"),
                                      W("Волков Всеволод")}));
  EXPECT_EQ(Trim(screen_.Text(list, kRegisterTotal)), "3");

  Do([&] { screen_.TypeKeys(list, kRegisterSearch, W("вол")); });
  EXPECT_EQ(screen_.PropLong(list, kRegisterList, PROP::Selected), 3);

  // Insert through the form: the count follows.
  Do([&] { screen_.Click(list, kRegisterInsert); });
  int32_t form = screen_.FindWindow(W("Добавить ???"));
  ASSERT_NE(form, 0);
  Do([&] { screen_.Type(form, kFormName, W("Гусева Глафира")); });
  Do([&] { screen_.Type(form, kFormDate, "25/03/1987"); });
  Do([&] { screen_.Click(form, kFormOk); });
  EXPECT_EQ(Trim(screen_.Text(list, kRegisterTotal)), "4");
  EXPECT_EQ(Names(list, kRegisterList).size(), 4u);

  // A cancelled insert and an unchanged change leave everything as it was.
  const auto before = screen_.Rows(list, kRegisterList);
  Do([&] { screen_.Click(list, kRegisterInsert); });
  form = screen_.FindWindow(W("Добавить ???"));
  ASSERT_NE(form, 0);
  Do([&] { screen_.Click(form, kFormCancel); });
  EXPECT_TRUE(screen_.Questions().empty());
  Do([&] { screen_.Click(list, kRegisterChange); });
  form = screen_.FindWindow(W("Изменить ???"));
  ASSERT_NE(form, 0);
  Do([&] { screen_.Click(form, kFormOk); });
  EXPECT_EQ(screen_.Rows(list, kRegisterList), before);
  EXPECT_EQ(Trim(screen_.Text(list, kRegisterTotal)), "4");

  screen_.ChooseMenu(frame_, kItemExit);
  ASSERT_TRUE(screen_.Finish());
  auto check = RunProgram(zuna::testing::BinPath("zunatool"), {"check", Zun()});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
}

}  // namespace
}  // namespace zuna::app
