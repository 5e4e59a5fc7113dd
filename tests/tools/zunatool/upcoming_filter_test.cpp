// The register's upcoming-birthdays filter and its date variables
// (app/upcoming_filter.h), evaluated in process for every birth day of a
// leap and a common year against a calendar computed with std::chrono, for
// todays around the year's end and the end of February.  zunatool's
// `upcoming` runs the same text over a real file (upcoming_command_test.cpp).
#include "app/upcoming_filter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"

namespace zuna::app {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

struct Date {
  int y;
  unsigned m;
  unsigned d;
};

// Serial 4 is 1 January 1801.
int32_t Serial(year_month_day date) {
  return static_cast<int32_t>(
             (sys_days{date} - sys_days{year{1801} / 1 / 1}).count()) +
         4;
}

// The birthday of someone born on m/d in year y: 29 February is 1 March in
// a common year, as DEFORMAT reads year & "0229".
year_month_day BirthdayIn(int y, unsigned m, unsigned d) {
  if (m == 2 && d == 29 && !year{y}.is_leap()) return year{y} / 3 / 1;
  return year{y} / month{m} / day{d};
}

// Listed: this year's birthday, or next year's once this year's has passed,
// is 0 to 7 days ahead.
bool Upcoming(year_month_day today, year_month_day birth) {
  const int y = static_cast<int>(today.year());
  const unsigned m = static_cast<unsigned>(birth.month());
  const unsigned d = static_cast<unsigned>(birth.day());
  sys_days next{BirthdayIn(y, m, d)};
  if (next < sys_days{today}) next = sys_days{BirthdayIn(y + 1, m, d)};
  return (next - sys_days{today}).count() <= 7;
}

std::string Describe(year_month_day today, year_month_day birth) {
  char text[64];
  std::snprintf(
      text, sizeof text, "today %04d-%02u-%02u, born %04d-%02u-%02u",
      static_cast<int>(today.year()), static_cast<unsigned>(today.month()),
      static_cast<unsigned>(today.day()), static_cast<int>(birth.year()),
      static_cast<unsigned>(birth.month()), static_cast<unsigned>(birth.day()));
  return text;
}

class UpcomingFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    values::PUSHBIND(true);
    BindUpcomingDates(dates_);
    const values::NamedField fields[] = {
        {"ZUN:DATA", "", values::RefLong(zun_data_)}};
    values::BindFields(fields);
    values::ClearError();
    filter_ = values::Expression::Compile(kUpcomingFilter);
    ASSERT_NE(filter_, nullptr) << values::ERROR();
  }
  void TearDown() override {
    filter_.reset();
    values::POPBIND();
    values::SetClock(nullptr);
  }

  // The clock and the date refresh, as the list does them.
  void SetToday(year_month_day today) {
    clock_ = std::make_unique<values::FixedClock>(values::LocalDateTime{
        static_cast<int>(today.year()),
        static_cast<int>(static_cast<unsigned>(today.month())),
        static_cast<int>(static_cast<unsigned>(today.day())), 0});
    values::SetClock(clock_.get());
    RefreshUpcomingDates(values::TODAY(), &dates_);
  }

  bool Listed(year_month_day birth) {
    zun_data_ = Serial(birth);
    return filter_->EvaluateBool();
  }

  UpcomingDates dates_{};
  int32_t zun_data_ = 0;
  std::unique_ptr<values::FixedClock> clock_;
  std::unique_ptr<values::Expression> filter_;
};

TEST_F(UpcomingFilterTest, TextIsTheRegistersWithTheYearEndAt1225) {
  const std::string original =
      "(((deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())>=0 and "
      "(deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())<=7) or "
      "(int(sub(format(zun:data,@d12),5,4))>=d and d>=1228))";
  ASSERT_EQ(kUpcomingFilter.size(), original.size());
  size_t differences = 0;
  for (size_t i = 0; i < original.size(); ++i)
    differences += original[i] != kUpcomingFilter[i];
  EXPECT_EQ(differences, 1u);
  EXPECT_NE(kUpcomingFilter.find("d>=1225"), std::string_view::npos);
  EXPECT_EQ(filter_->type(), values::ExprType::kBool);
}

TEST_F(UpcomingFilterTest, DateRefreshTakesNextYearFrom25December) {
  struct Row {
    year_month_day today;
    const char* ms;
    int16_t m;
    int16_t d;
    const char* ds;
    const char* dd;
  } rows[] = {
      {year{2009} / 3 / 5, "2009", 2009, 305, "0305", " 5/03/2009"},
      {year{2009} / 12 / 24, "2009", 2009, 1224, "1224", "24/12/2009"},
      {year{2009} / 12 / 25, "2010", 2010, 1225, "1225", "25/12/2009"},
      {year{2009} / 12 / 31, "2010", 2010, 1231, "1231", "31/12/2009"},
      {year{2010} / 1 / 1, "2010", 2010, 101, "0101", " 1/01/2010"},
  };
  for (const Row& row : rows) {
    SetToday(row.today);
    EXPECT_EQ(std::string(dates_.ms, 4), row.ms);
    EXPECT_EQ(dates_.m, row.m);
    EXPECT_EQ(dates_.d, row.d);
    EXPECT_EQ(std::string(dates_.ds, 4), row.ds);
    EXPECT_EQ(std::string(dates_.dd, 10), row.dd);
  }
}

TEST_F(UpcomingFilterTest, EarlyJanuaryIsListedFrom25December) {
  SetToday(year{2009} / 12 / 25);
  EXPECT_TRUE(Listed(year{1980} / 1 / 1));    // 7 days ahead
  EXPECT_FALSE(Listed(year{1980} / 1 / 2));   // 8
  EXPECT_TRUE(Listed(year{1980} / 12 / 31));  // 6, this year
  EXPECT_TRUE(Listed(year{1980} / 12 / 25));  // today
  EXPECT_FALSE(Listed(year{1980} / 12 / 24));
  SetToday(year{2009} / 12 / 27);
  EXPECT_TRUE(Listed(year{1980} / 1 / 3));
  EXPECT_FALSE(Listed(year{1980} / 1 / 4));
  SetToday(year{2009} / 12 / 24);
  EXPECT_TRUE(Listed(year{1980} / 12 / 31));
  EXPECT_FALSE(Listed(year{1980} / 1 / 1));  // 8 days ahead
}

TEST_F(UpcomingFilterTest, AgreesWithTheCalendarForEveryBirthDay) {
  std::vector<year_month_day> todays;
  for (int y : {2008, 2009, 2011, 2012, 2099, 2100}) {
    for (sys_days t = sys_days{year{y} / 12 / 18};
         t <= sys_days{year{y} / 12 / 31}; t += std::chrono::days{1}) {
      todays.push_back(year_month_day{t});
    }
    for (sys_days t = sys_days{year{y} / 1 / 1}; t <= sys_days{year{y} / 1 / 8};
         t += std::chrono::days{1}) {
      todays.push_back(year_month_day{t});
    }
    for (sys_days t = sys_days{year{y} / 2 / 20};
         t <= sys_days{year{y} / 3 / 2}; t += std::chrono::days{1}) {
      todays.push_back(year_month_day{t});
    }
    todays.push_back(year{y} / 6 / 15);
  }
  std::vector<year_month_day> births;
  for (int birth_year : {1960, 1999}) {  // a leap year and a common one
    for (sys_days t = sys_days{year{birth_year} / 1 / 1};
         t <= sys_days{year{birth_year} / 12 / 31}; t += std::chrono::days{1}) {
      births.push_back(year_month_day{t});
    }
  }
  int listed = 0;
  for (year_month_day today : todays) {
    SetToday(today);
    for (year_month_day birth : births) {
      const bool expected = Upcoming(today, birth);
      listed += expected;
      if (Listed(birth) != expected) {
        ADD_FAILURE() << Describe(today, birth) << ": expected "
                      << (expected ? "listed" : "not listed");
      }
    }
  }
  EXPECT_GT(listed, 1000);
  EXPECT_EQ(values::ERRORCODE(), 0);
}

}  // namespace
}  // namespace zuna::app
