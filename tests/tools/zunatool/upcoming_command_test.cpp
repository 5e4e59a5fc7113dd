// zunatool upcoming, run as a real process over a register file: for fixed
// todays across the year's end and the end of February (leap and common
// years) it must list exactly the people a calendar computed here with
// std::chrono says have their birthday within 7 days, in ZUN:zun_key order
// (full birth date, then the order they were added), then "Всего: N".
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/birthday_calendar.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

ProgramResult Zunatool(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}) {
  return RunProgram(BinPath("zunatool"), args, env);
}

struct Person {
  std::string name;
  year_month_day born;
};

// "5/03/2009": @D6 without its leading blank.
std::string ListDate(year_month_day date) {
  char text[16];
  std::snprintf(
      text, sizeof text, "%u/%02u/%04d", static_cast<unsigned>(date.day()),
      static_cast<unsigned>(date.month()), static_cast<int>(date.year()));
  return text;
}

std::string Yyyymmdd(year_month_day date) {
  char text[16];
  std::snprintf(
      text, sizeof text, "%04d%02u%02u", static_cast<int>(date.year()),
      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

class ZunatoolUpcomingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Around the year's end, the end of February (29 February in leap
    // birth years) and a few elsewhere; equal days in different years.
    auto add = [&](int y, unsigned m, unsigned d) {
      people_.push_back({"Человек " + std::to_string(people_.size() + 1),
                         year{y} / month{m} / day{d}});
    };
    for (unsigned d = 17; d <= 31; ++d) add(1980, 12, d);
    for (unsigned d = 1; d <= 9; ++d) add(1975, 1, d);
    for (unsigned d = 20; d <= 29; ++d) add(1996, 2, d);
    for (unsigned d = 1; d <= 3; ++d) add(2001, 3, d);
    add(2004, 2, 29);
    add(1955, 12, 28);
    add(2000, 12, 28);
    add(1990, 1, 2);
    add(1990, 6, 15);
    std::string csv;
    for (const Person& p : people_) {
      char date[16];
      std::snprintf(date, sizeof date, "%02u/%02u/%04d",
                    static_cast<unsigned>(p.born.day()),
                    static_cast<unsigned>(p.born.month()),
                    static_cast<int>(p.born.year()));
      csv += p.name + ";" + date + "\n";
    }
    csv += "Без даты;\n";  // a person with no date is never listed
    const std::string path = dir_.File("people.csv");
    std::ofstream(path, std::ios::binary) << csv;
    ASSERT_EQ(Zunatool({"create", Zun()}).exit_code, 0);
    const ProgramResult r = Zunatool({"import", Zun(), path});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  std::string Zun() const { return dir_.File("ZUN"); }

  std::string Expected(year_month_day today) const {
    std::vector<const Person*> listed;
    for (const Person& p : people_) {
      if (UpcomingWithinWeek(today, p.born)) listed.push_back(&p);
    }
    std::stable_sort(listed.begin(), listed.end(),
                     [](const Person* a, const Person* b) {
                       return sys_days{a->born} < sys_days{b->born};
                     });
    std::string out;
    for (const Person* p : listed)
      out += p->name + "|" + ListDate(p->born) + "\n";
    return out + "Всего: " + std::to_string(listed.size()) + "\n";
  }

  TempDir dir_;
  std::vector<Person> people_;
};

TEST_F(ZunatoolUpcomingTest,
       ListsExactlyTheCalendarsPeopleAcrossYearEndsAndFebruary) {
  const year_month_day todays[] = {
      year{2009} / 12 / 20, year{2009} / 12 / 24, year{2009} / 12 / 25,
      year{2009} / 12 / 26, year{2009} / 12 / 27, year{2009} / 12 / 28,
      year{2009} / 12 / 29, year{2009} / 12 / 30, year{2009} / 12 / 31,
      year{2010} / 1 / 1,   year{2010} / 1 / 3,   year{2011} / 12 / 26,
      year{2012} / 2 / 22,  year{2012} / 2 / 29,  year{2012} / 3 / 1,
      year{2009} / 2 / 22,  year{2009} / 2 / 28,  year{2009} / 3 / 1,
      year{2100} / 2 / 22,  year{2000} / 2 / 23,  year{1990} / 6 / 10,
  };
  int nonempty = 0;
  for (year_month_day today : todays) {
    SCOPED_TRACE(Yyyymmdd(today));
    const ProgramResult r =
        Zunatool({"--today", Yyyymmdd(today), "upcoming", Zun()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, Expected(today));
    nonempty += r.out.find('|') != std::string::npos;
  }
  EXPECT_EQ(nonempty, static_cast<int>(std::size(todays)));
}

TEST_F(ZunatoolUpcomingTest, EarlyJanuaryAtTheEndOfDecemberByHand) {
  // 26 December 2009: 26-31 December of this year, 1-2 January of the next
  // (the register's filter taken literally missed those two days).
  const ProgramResult r = Zunatool({"--today", "20091226", "upcoming", Zun()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Человек 39|28/12/1955\n"
            "Человек 16|1/01/1975\n"
            "Человек 17|2/01/1975\n"
            "Человек 10|26/12/1980\n"
            "Человек 11|27/12/1980\n"
            "Человек 12|28/12/1980\n"
            "Человек 13|29/12/1980\n"
            "Человек 14|30/12/1980\n"
            "Человек 15|31/12/1980\n"
            "Человек 41|2/01/1990\n"
            "Человек 40|28/12/2000\n"
            "Всего: 11\n");
}

TEST_F(ZunatoolUpcomingTest, TodayComesFromTheEnvironmentToo) {
  const ProgramResult r =
      Zunatool({"upcoming", Zun()}, {"ZUNA_TODAY=20120227"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, Expected(year{2012} / 2 / 27));
}

TEST(ZunatoolUpcomingEdgesTest, EmptyRegisterMissingFileAndUsage) {
  TempDir dir;
  const std::string zun = dir.File("ZUN");
  ProgramResult r = Zunatool({"upcoming", zun});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(r.err.starts_with("zunatool: " + zun + ".DAT: файл не найден: 2 File Not Found ("))
      << r.err;
  ASSERT_EQ(Zunatool({"create", zun}).exit_code, 0);
  r = Zunatool({"--today", "20091226", "upcoming", zun});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Всего: 0\n");
  r = Zunatool({"upcoming"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "вызов: zunatool upcoming FILE [--days N] [--json]\n");
}

}  // namespace
}  // namespace zuna::testing
