// The upcoming-birthdays filter, evaluated as the register's list does:
// against the bound date variables and the record's ZUN:DATA, with today
// fixed by a FixedClock.  Expected answers come from std::chrono calendar
// arithmetic, not from the runtime's own date code.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/values/clock.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"
#include "tests/support/birthday_calendar.h"

namespace zuna::values {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr char kFilter[] =
    "(((deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())>=0 and "
    "(deformat(ms & sub(format(zun:data,@d12),5,4),@d12)-today())<=7) or "
    "(int(sub(format(zun:data,@d12),5,4))>=d and d>=1228))";

struct Date {
  int y;
  unsigned m;
  unsigned d;
};

year_month_day Ymd(Date date) {
  return year_month_day{year{date.y}, month{date.m}, day{date.d}};
}

int32_t Serial(Date date) { return zuna::testing::DateSerial(Ymd(date)); }

// Listed iff the birthday in today's year (29 February read as 1 March in a
// common year) is 0 to 7 days ahead, or it is 28 December or later and the
// birth month-day is not before today's.
bool Expected(Date today, Date birth) {
  const auto ahead =
      (sys_days{zuna::testing::BirthdayIn(today.y, birth.m, birth.d)} -
       sys_days{Ymd(today)})
          .count();
  const unsigned today_mmdd = today.m * 100 + today.d;
  const unsigned birth_mmdd = birth.m * 100 + birth.d;
  return (ahead >= 0 && ahead <= 7) ||
         (today_mmdd >= 1228 && birth_mmdd >= today_mmdd);
}

std::string Describe(Date today, Date birth) {
  return zuna::testing::DescribeTodayAndBirth(Ymd(today), Ymd(birth));
}

class BirthdayFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PUSHBIND();
    std::memset(ms_, ' ', sizeof ms_);
    std::memset(dd_, ' ', sizeof dd_);
    std::memset(ds_, ' ', sizeof ds_);
    BIND("ms", RefString(ms_, sizeof ms_));
    BIND("d", RefShort(d_));
    BIND("dd", RefString(dd_, sizeof dd_));
    BIND("m", RefShort(m_));
    BIND("ds", RefString(ds_, sizeof ds_));
    // The view makes the record's field visible under its label.
    const NamedField fields[] = {{"ZUN:DATA", "", RefLong(zun_data_)}};
    BindFields(fields);
    ClearError();
    filter_ = Expression::Compile(kFilter);
    ASSERT_NE(filter_, nullptr) << ERROR();
  }

  void TearDown() override {
    filter_.reset();
    POPBIND();
    SetClock(nullptr);
  }

  // The clock and the date refresh: ms the year as four characters, d the
  // number MMDD, m the year, ds the four characters MMDD.
  void SetToday(Date today) {
    clock_ = std::make_unique<FixedClock>(LocalDateTime{
        today.y, static_cast<int>(today.m), static_cast<int>(today.d), 0});
    SetClock(clock_.get());
    char text[16];
    std::snprintf(text, sizeof text, "%04d", today.y);
    std::memcpy(ms_, text, 4);
    std::snprintf(text, sizeof text, "%02u%02u", today.m, today.d);
    std::memcpy(ds_, text, 4);
    std::snprintf(text, sizeof text, "%2u/%02u/%04d", today.d, today.m,
                  today.y);
    std::memcpy(dd_, text, 10);
    d_ = static_cast<int16_t>(today.m * 100 + today.d);
    m_ = static_cast<int16_t>(today.y);
  }

  bool Listed(Date birth) {
    zun_data_ = Serial(birth);
    return filter_->EvaluateBool();
  }

  char ms_[4];
  int16_t d_ = 0;
  char dd_[10];
  int16_t m_ = 0;
  char ds_[4];
  int32_t zun_data_ = 0;
  std::unique_ptr<FixedClock> clock_;
  std::unique_ptr<Expression> filter_;
};

TEST_F(BirthdayFilterTest, FilterTextIs191Characters) {
  EXPECT_EQ(std::strlen(kFilter), 191u);
  EXPECT_EQ(filter_->type(), ExprType::kBool);
}

TEST_F(BirthdayFilterTest, SevenDayWindow) {
  SetToday({2009, 3, 5});
  struct Row {
    Date birth;
    bool listed;
  } rows[] = {
      {{1970, 3, 5}, true},    // today
      {{1970, 3, 12}, true},   // seven days ahead
      {{1970, 3, 13}, false},  // eight days ahead
      {{1970, 3, 4}, false},   // yesterday
      {{1980, 1, 10}, false},  // earlier in the year
      {{2000, 3, 9}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Describe({2009, 3, 5}, row.birth));
    EXPECT_EQ(Listed(row.birth), row.listed);
  }
  EXPECT_EQ(ERRORCODE(), 0);
}

TEST_F(BirthdayFilterTest, LeapDayBirthdays) {
  // In a common year 29 February is read as 1 March.
  SetToday({2009, 2, 22});
  EXPECT_TRUE(Listed({2000, 2, 29}));  // 1 March 2009 is 7 days ahead
  SetToday({2009, 2, 21});
  EXPECT_FALSE(Listed({2000, 2, 29}));  // 8 days ahead
  SetToday({2009, 3, 1});
  EXPECT_TRUE(Listed({1996, 2, 29}));
  SetToday({2009, 3, 2});
  EXPECT_FALSE(Listed({1996, 2, 29}));
  // In a leap year it stays 29 February.
  SetToday({2012, 2, 22});
  EXPECT_TRUE(Listed({2000, 2, 29}));
  SetToday({2012, 3, 1});
  EXPECT_FALSE(Listed({2000, 2, 29}));
  SetToday({2012, 2, 29});
  EXPECT_TRUE(Listed({2000, 2, 29}));
}

TEST_F(BirthdayFilterTest, LastDaysOfDecember) {
  // From 28 December the rest of December is listed by the second branch.
  for (unsigned today_day = 28; today_day <= 31; ++today_day) {
    const Date today{2009, 12, today_day};
    SetToday(today);
    for (unsigned birth_day = 20; birth_day <= 31; ++birth_day) {
      SCOPED_TRACE(Describe(today, {1975, 12, birth_day}));
      EXPECT_EQ(Listed({1975, 12, birth_day}), birth_day >= today_day);
    }
  }
}

// Taken literally, with ms holding this year, the filter cannot list the
// birthdays of early January at the end of December: their date in year ms
// lies in the past.  The list's year-end handling is mended elsewhere; the
// filter itself behaves like this.
TEST_F(BirthdayFilterTest, EarlyJanuaryIsMissedAtTheEndOfDecember) {
  SetToday({2009, 12, 26});
  EXPECT_FALSE(Listed({1980, 1, 2}));  // 7 days ahead, in the next year
  EXPECT_FALSE(Listed({1980, 1, 1}));
  EXPECT_TRUE(Listed({1980, 12, 31}));  // five days ahead
  SetToday({2009, 12, 28});
  EXPECT_FALSE(Listed({1980, 1, 1}));
  EXPECT_TRUE(Listed({1980, 12, 31}));
}

TEST_F(BirthdayFilterTest, AgreesWithCalendarArithmetic) {
  std::vector<Date> todays;
  for (int y : {2008, 2009, 2012, 2100}) {
    for (Date today : std::vector<Date>{{y, 1, 1},
                                        {y, 1, 2},
                                        {y, 2, 21},
                                        {y, 2, 22},
                                        {y, 2, 28},
                                        {y, 3, 1},
                                        {y, 6, 15},
                                        {y, 12, 20},
                                        {y, 12, 24},
                                        {y, 12, 25},
                                        {y, 12, 26},
                                        {y, 12, 27},
                                        {y, 12, 28},
                                        {y, 12, 29},
                                        {y, 12, 30},
                                        {y, 12, 31}}) {
      todays.push_back(today);
    }
    if (year{y}.is_leap()) todays.push_back({y, 2, 29});
  }
  // Every day of a leap year and of a common year as birth dates.
  std::vector<Date> births;
  for (int birth_year : {1960, 1999}) {
    for (const year_month_day ymd : zuna::testing::DaysFrom(
             year{birth_year} / 1 / 1, year{birth_year} / 12 / 31)) {
      births.push_back({static_cast<int>(ymd.year()),
                        static_cast<unsigned>(ymd.month()),
                        static_cast<unsigned>(ymd.day())});
    }
  }
  int listed = 0;
  for (Date today : todays) {
    SetToday(today);
    for (Date birth : births) {
      const bool expected = Expected(today, birth);
      listed += expected;
      if (Listed(birth) != expected) {
        ADD_FAILURE() << Describe(today, birth) << ": expected "
                      << (expected ? "listed" : "not listed");
      }
    }
  }
  EXPECT_GT(listed, 0);
  EXPECT_EQ(ERRORCODE(), 0);
}

}  // namespace
}  // namespace zuna::values
