// The register's upcoming-birthdays filter and its date variables
// (app/upcoming_filter.h), evaluated in process for every birth day of a
// leap and a common year against a calendar computed with std::chrono, for
// todays around the year's end and the end of February.  zunatool's
// `upcoming` runs the same text over a real file (upcoming_command_test.cpp).
#include "app/upcoming_filter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"
#include "tests/support/birthday_calendar.h"

namespace zuna::app {
namespace {

using std::chrono::year;
using std::chrono::year_month_day;

using zuna::testing::DateSerial;
using zuna::testing::DaysFrom;
using zuna::testing::DescribeTodayAndBirth;
using zuna::testing::UpcomingWithinWeek;

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
    zun_data_ = DateSerial(birth);
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
  const auto add = [&todays](year_month_day first, year_month_day last) {
    for (year_month_day t : DaysFrom(first, last)) todays.push_back(t);
  };
  for (int y : {2008, 2009, 2011, 2012, 2099, 2100}) {
    add(year{y} / 12 / 18, year{y} / 12 / 31);
    add(year{y} / 1 / 1, year{y} / 1 / 8);
    add(year{y} / 2 / 20, year{y} / 3 / 2);
    todays.push_back(year{y} / 6 / 15);
  }
  std::vector<year_month_day> births;
  for (int birth_year : {1960, 1999}) {  // a leap year and a common one
    for (year_month_day t : DaysFrom(year{birth_year} / 1 / 1, year{birth_year} / 12 / 31)) {
      births.push_back(t);
    }
  }
  int listed = 0;
  for (year_month_day today : todays) {
    SetToday(today);
    for (year_month_day birth : births) {
      const bool expected = UpcomingWithinWeek(today, birth);
      listed += expected;
      if (Listed(birth) != expected) {
        ADD_FAILURE() << DescribeTodayAndBirth(today, birth) << ": expected "
                      << (expected ? "listed" : "not listed");
      }
    }
  }
  EXPECT_GT(listed, 1000);
  EXPECT_EQ(values::ERRORCODE(), 0);
}

}  // namespace
}  // namespace zuna::app
