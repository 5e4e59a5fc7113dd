// upcoming --days N: who has a birthday within N days, for every N from 0
// to 366 and every today of a leap and a common year, over a register that
// holds a person born on each day of a leap year.  The expected answer is
// walked out on a calendar computed with std::chrono alone: from today,
// day by day, the first day each person celebrates (29 February on 1 March
// in a common year).  The register is read once, through the same reader
// the command uses; the selection is then asked in process, 268,000 times.
// A few whole runs of the binary close the loop.  For N = 7 the selection
// is also held against the program's own filter text (app/upcoming_filter.h).
#include "tools/zunatool/upcoming_days.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/upcoming_filter.h"
#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/variable.h"
#include "tests/support/birthday_calendar.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/zunatool/upcoming_people.h"

namespace zuna::tool {
namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;
using testing::DateSerial;
using testing::DaysFrom;
using testing::DescribeTodayAndBirth;
using testing::ProgramResult;

constexpr int kBirthYear = 1972;  // leap: the register holds 29 February

unsigned Month(year_month_day d) { return static_cast<unsigned>(d.month()); }
unsigned Day(year_month_day d) { return static_cast<unsigned>(d.day()); }
int Year(year_month_day d) { return static_cast<int>(d.year()); }

std::string Yyyymmdd(year_month_day d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02u%02u", Year(d), Month(d), Day(d));
  return text;
}

std::string Iso(year_month_day d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", Year(d), Month(d), Day(d));
  return text;
}

// Days from `today` to the first day, walking forward, on which someone
// born on each month/day celebrates: [month][day].  A day of the walk is
// the birthday of those born on its month and day, and 1 March in a common
// year is also that of those born on 29 February.
using DaysToBirthday = std::array<std::array<int, 32>, 13>;
DaysToBirthday WalkTheCalendar(year_month_day today) {
  DaysToBirthday first;
  for (auto& m : first) m.fill(-1);
  for (int n = 0; n <= kMaxUpcomingDays; ++n) {
    const year_month_day d{sys_days{today} + days{n}};
    if (first[Month(d)][Day(d)] < 0) first[Month(d)][Day(d)] = n;
    if (Month(d) == 3 && Day(d) == 1 && !d.year().is_leap() && first[2][29] < 0) {
      first[2][29] = n;
    }
  }
  return first;
}

class UpcomingDaysTest : public ::testing::Test {
 protected:
  // One register for the suite: a person born on each day of kBirthYear,
  // added in an order other than the dates', so the key's order shows.
  static void SetUpTestSuite() {
    dir_ = new testing::TempDir;
    std::string csv;
    std::vector<year_month_day> births =
        DaysFrom(year{kBirthYear} / 1 / 1, year{kBirthYear} / 12 / 31);
    for (size_t i = 0; i < births.size(); ++i) {
      const year_month_day b = births[(i * 7) % births.size()];  // 7 and 366 are coprime
      char line[64];
      std::snprintf(line, sizeof line, "Родился %s;%02u/%02u/%04d\n", Iso(b).c_str(), Day(b),
                    Month(b), Year(b));
      csv += line;
    }
    std::ofstream(dir_->File("people.csv"), std::ios::binary) << csv;
    ASSERT_EQ(Zunatool({"create", Zun()}).exit_code, 0);
    const ProgramResult r = Zunatool({"import", Zun(), dir_->File("people.csv")});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static std::string Zun() { return dir_->File("ZUN"); }

  static ProgramResult Zunatool(const std::vector<std::string>& args) {
    return testing::RunProgram(testing::BinPath("zunatool"), args);
  }

  // Everyone, in the order upcoming lists them: nobody is further than 365
  // days from a birthday.
  static std::vector<UpcomingPerson> Everyone(year_month_day today) {
    std::vector<UpcomingPerson> people;
    EXPECT_EQ(ReadUpcomingPeople(Zun(), DateSerial(today), kMaxUpcomingDays, &people), 0);
    return people;
  }

  static testing::TempDir* dir_;
};

testing::TempDir* UpcomingDaysTest::dir_ = nullptr;

year_month_day Born(const UpcomingPerson& person) {
  return year_month_day{sys_days{year{1801} / 1 / 1} + days{person.born - 4}};
}

TEST_F(UpcomingDaysTest, TheRegisterIsReadWholeInDateOrder) {
  const std::vector<UpcomingPerson> people = Everyone(year{2011} / 6 / 15);
  ASSERT_EQ(people.size(), 366u);
  for (size_t i = 0; i < people.size(); ++i) {
    const year_month_day expected{sys_days{year{kBirthYear} / 1 / 1} + days{i}};
    EXPECT_EQ(people[i].born, DateSerial(expected)) << i;
    EXPECT_EQ(people[i].fio, "\xD0\xEE\xE4\xE8\xEB\xF1\xFF " + Iso(expected));  // 1251
  }
}

TEST_F(UpcomingDaysTest, EveryDaysCountOnEveryTodayOfALeapAndACommonYear) {
  const std::vector<UpcomingPerson> people = Everyone(year{2011} / 1 / 1);
  ASSERT_EQ(people.size(), 366u);
  std::vector<year_month_day> births;
  for (const UpcomingPerson& p : people) births.push_back(Born(p));

  int queries = 0;
  int failures = 0;
  long listed = 0;
  for (int y : {2011, 2012}) {
    for (year_month_day today : DaysFrom(year{y} / 1 / 1, year{y} / 12 / 31)) {
      const DaysToBirthday walk = WalkTheCalendar(today);
      const int32_t today_serial = DateSerial(today);
      for (int n = 0; n <= kMaxUpcomingDays; ++n, ++queries) {
        for (const year_month_day& born : births) {
          const int expected = walk[Month(born)][Day(born)];
          const std::optional<NextBirthday> got =
              UpcomingBirthday(today_serial, DateSerial(born), n);
          bool right = got.has_value() == (expected <= n);
          if (got) {
            const year_month_day birthday{sys_days{today} + days{expected}};
            right = right && got->days_until == expected &&
                    got->date == DateSerial(birthday) &&
                    got->turns == Year(birthday) - kBirthYear;
            ++listed;
          }
          if (!right && ++failures <= 20) {
            ADD_FAILURE() << DescribeTodayAndBirth(today, born) << ", N " << n
                          << ": calendar says " << expected << " days, got "
                          << (got ? std::to_string(got->days_until) : "not listed");
          }
        }
      }
    }
  }
  EXPECT_EQ(queries, (365 + 366) * 367);
  EXPECT_GT(listed, 0);
  EXPECT_EQ(failures, 0);
}

// The reader asks the view only for candidates (a filter on the birth
// month and day, judged on the key): on every today of both years, and for
// windows that stay within the year, cross its end, reach 29 February or
// span nearly all of it, it must name exactly whom the rule names.
TEST_F(UpcomingDaysTest, TheReadersCandidatesLeaveNoOneOut) {
  const std::vector<UpcomingPerson> everyone = Everyone(year{2011} / 1 / 1);
  int failures = 0;
  for (int y : {2011, 2012}) {
    for (year_month_day today : DaysFrom(year{y} / 1 / 1, year{y} / 12 / 31)) {
      const int32_t today_serial = DateSerial(today);
      for (int n : {0, 7, 58, 364}) {
        std::vector<std::string> expected;
        for (const UpcomingPerson& p : everyone) {
          if (UpcomingBirthday(today_serial, p.born, n)) expected.push_back(p.fio);
        }
        std::vector<UpcomingPerson> read;
        ASSERT_EQ(ReadUpcomingPeople(Zun(), today_serial, n, &read), 0);
        std::vector<std::string> got;
        for (const UpcomingPerson& p : read) got.push_back(p.fio);
        if (got != expected && ++failures <= 10) {
          ADD_FAILURE() << Yyyymmdd(today) << ", N " << n << ": read " << got.size()
                        << " people, the rule names " << expected.size();
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

// The program's list evaluates its filter text per record; for a week the
// rule here must pick the same people on every day of the two years.
TEST_F(UpcomingDaysTest, AWeekIsExactlyTheProgramsList) {
  app::UpcomingDates dates{};
  int32_t zun_data = 0;
  values::PUSHBIND(true);
  app::BindUpcomingDates(dates);
  const values::NamedField fields[] = {{"ZUN:DATA", "", values::RefLong(zun_data)}};
  values::BindFields(fields);
  values::ClearError();
  std::unique_ptr<values::Expression> filter = values::Expression::Compile(app::kUpcomingFilter);
  ASSERT_NE(filter, nullptr) << values::ERROR();

  const std::vector<UpcomingPerson> people = Everyone(year{2012} / 1 / 1);
  int listed = 0;
  int failures = 0;
  for (int y : {2011, 2012}) {
    for (year_month_day today : DaysFrom(year{y} / 1 / 1, year{y} / 12 / 31)) {
      const int32_t today_serial = DateSerial(today);
      values::FixedDateClock clock(values::LocalDateTime{y, static_cast<int>(Month(today)),
                                                         static_cast<int>(Day(today)), 0});
      values::SetClock(&clock);
      app::RefreshUpcomingDates(values::TODAY(), &dates);
      for (const UpcomingPerson& p : people) {
        zun_data = p.born;
        const bool by_filter = filter->EvaluateBool();
        const bool by_days =
            UpcomingBirthday(today_serial, p.born, kDefaultUpcomingDays).has_value();
        listed += by_days;
        if (by_filter != by_days && ++failures <= 20) {
          ADD_FAILURE() << DescribeTodayAndBirth(today, Born(p)) << ": filter "
                        << by_filter << ", --days 7 " << by_days;
        }
      }
      // With no date (DATA 0) a record is listed by neither.
      zun_data = 0;
      EXPECT_FALSE(filter->EvaluateBool());
      EXPECT_FALSE(UpcomingBirthday(today_serial, 0, kDefaultUpcomingDays));
      values::SetClock(nullptr);
    }
  }
  filter.reset();
  values::POPBIND();
  // Eight days' birthdays on every today; in the common year those born on
  // 29 February and 1 March share a day, for the 8 todays 22 February to
  // 1 March that reach it.
  EXPECT_EQ(listed, (365 + 366) * 8 + 8);
  EXPECT_EQ(failures, 0);
}

// The binary, for a few todays and counts: the JSON and the text lines
// name the calendar's people, in the register's date order.
TEST_F(UpcomingDaysTest, TheCommandPrintsTheCalendarsPeople) {
  struct Row {
    year_month_day today;
    int n;
  } rows[] = {
      {year{2011} / 12 / 20, 20}, {year{2012} / 2 / 28, 1},   {year{2011} / 2 / 28, 0},
      {year{2011} / 2 / 28, 1},   {year{2012} / 3 / 1, 366}, {year{2011} / 12 / 31, 7},
      {year{2012} / 6 / 15, 45},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Yyyymmdd(row.today) + " --days " + std::to_string(row.n));
    const DaysToBirthday walk = WalkTheCalendar(row.today);
    nlohmann::json expected = nlohmann::json::array();
    std::string text;
    for (year_month_day born : DaysFrom(year{kBirthYear} / 1 / 1, year{kBirthYear} / 12 / 31)) {
      const int n = walk[Month(born)][Day(born)];
      if (n > row.n) continue;
      const year_month_day birthday{sys_days{row.today} + days{n}};
      expected.push_back({{"name", "Родился " + Iso(born)},
                          {"birth_date", Iso(born)},
                          {"turns", Year(birthday) - kBirthYear},
                          {"days_until", n}});
      char date[16];
      std::snprintf(date, sizeof date, "%u/%02u/%04d", Day(born), Month(born), Year(born));
      text += "Родился " + Iso(born) + "|" + date + "\n";
    }
    text += "Всего: " + std::to_string(expected.size()) + "\n";
    const std::string days_text = std::to_string(row.n);
    ProgramResult r = Zunatool(
        {"--today", Yyyymmdd(row.today), "upcoming", Zun(), "--days", days_text, "--json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out), expected);
    r = Zunatool({"--today", Yyyymmdd(row.today), "upcoming", "--days", days_text, Zun()});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, text);
    if (row.n == kDefaultUpcomingDays) {
      EXPECT_EQ(Zunatool({"--today", Yyyymmdd(row.today), "upcoming", Zun()}).out, text);
    }
  }
}

TEST(UpcomingDaysByHandTest, NextBirthdays) {
  struct Row {
    year_month_day today;
    year_month_day born;
    std::optional<NextBirthday> next;  // date given as a serial below
    year_month_day on;
  } rows[] = {
      // 29 February: 1 March in a common year, 29 February in a leap one.
      {year{2011} / 2 / 28, year{1972} / 2 / 29, NextBirthday{0, 1, 39}, year{2011} / 3 / 1},
      {year{2011} / 3 / 1, year{1972} / 2 / 29, NextBirthday{0, 0, 39}, year{2011} / 3 / 1},
      {year{2012} / 2 / 28, year{1972} / 2 / 29, NextBirthday{0, 1, 40}, year{2012} / 2 / 29},
      {year{2012} / 3 / 1, year{1972} / 2 / 29, NextBirthday{0, 365, 41}, year{2013} / 3 / 1},
      {year{2012} / 3 / 1, year{1972} / 3 / 1, NextBirthday{0, 0, 40}, year{2012} / 3 / 1},
      // Across the year's end, and today itself.
      {year{2011} / 12 / 31, year{1990} / 1 / 1, NextBirthday{0, 1, 22}, year{2012} / 1 / 1},
      {year{2011} / 1 / 1, year{1990} / 12 / 31, NextBirthday{0, 364, 21}, year{2011} / 12 / 31},
      {year{2011} / 5 / 5, year{2011} / 5 / 5, NextBirthday{0, 0, 0}, year{2011} / 5 / 5},
      // Born after today: listed all the same (as the program lists them).
      {year{2011} / 5 / 5, year{2020} / 5 / 9, NextBirthday{0, 4, -9}, year{2011} / 5 / 9},
      // No birthday after 9999.
      {year{9999} / 12 / 31, year{1990} / 1 / 1, std::nullopt, year{9999} / 1 / 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(DescribeTodayAndBirth(row.today, row.born));
    const std::optional<NextBirthday> got =
        NextBirthdayAfter(DateSerial(row.today), DateSerial(row.born));
    ASSERT_EQ(got.has_value(), row.next.has_value());
    if (!got) continue;
    EXPECT_EQ(got->date, DateSerial(row.on));
    EXPECT_EQ(got->days_until, row.next->days_until);
    EXPECT_EQ(got->turns, row.next->turns);
  }
  // A record without a date, and serials that are no date.
  for (int32_t invalid : {0, 3, -1, 2994627}) {
    EXPECT_FALSE(NextBirthdayAfter(DateSerial(year{2011} / 5 / 5), invalid)) << invalid;
    EXPECT_FALSE(NextBirthdayAfter(invalid, DateSerial(year{2011} / 5 / 5))) << invalid;
  }
}

TEST(UpcomingDaysByHandTest, DaysOptionTakesDigitsFrom0To366) {
  const struct {
    const char* text;
    std::optional<int> days;
  } rows[] = {{"0", 0},          {"7", 7},          {"007", 7},
              {"366", 366},      {"367", std::nullopt}, {"1000", std::nullopt},
              {"-1", std::nullopt}, {"-0", std::nullopt}, {"+5", std::nullopt},
              {"", std::nullopt},   {"5d", std::nullopt}, {" 5", std::nullopt}};
  for (const auto& row : rows) {
    EXPECT_EQ(ParseUpcomingDays(row.text), row.days) << row.text;
  }
}

TEST(UpcomingDaysByHandTest, TheCommandRefusesABadCount) {
  testing::TempDir dir;
  const std::string zun = dir.File("ZUN");
  ASSERT_EQ(testing::RunProgram(testing::BinPath("zunatool"), {"create", zun}).exit_code, 0);
  ProgramResult r =
      testing::RunProgram(testing::BinPath("zunatool"), {"upcoming", zun, "--days", "367"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "zunatool: после --days нужно число дней от 0 до 366, а написано \"367\"\n");
  r = testing::RunProgram(testing::BinPath("zunatool"), {"upcoming", zun, "--days"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "вызов: zunatool upcoming FILE [--days N] [--json]\n");
  r = testing::RunProgram(testing::BinPath("zunatool"),
                          {"--today", "20111226", "upcoming", zun, "--json"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::array());
}

}  // namespace
}  // namespace zuna::tool
