#include "runtime/values/date_serial.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "runtime/values/clock.h"

namespace zuna::values {
namespace {

constexpr int32_t kMaxLong = std::numeric_limits<int32_t>::max();
constexpr int32_t kMinLong = std::numeric_limits<int32_t>::min();

// Serials counted by hand from 1 January 1801 = 4: 199 years with 48 leap
// days to 1 January 2000, nine years with three leap days on to 1 January
// 2009, and so on.
struct KnownDate {
  int32_t serial;
  int year, month, day;
};
constexpr KnownDate kKnownDates[] = {
    {4, 1801, 1, 1},     {2994626, 9999, 12, 31}, {76038, 2009, 3, 5},
    {75975, 2009, 1, 1}, {76034, 2009, 3, 1},     {76339, 2009, 12, 31},
    {76340, 2010, 1, 1}, {72687, 2000, 1, 1},     {72746, 2000, 2, 29},
    {72747, 2000, 3, 1}, {36163, 1900, 1, 1},     {36221, 1900, 2, 28},
    {36222, 1900, 3, 1}, {46755, 1929, 1, 1},     {82914, 2028, 1, 1},
    {72322, 1999, 1, 1},
};

// Installs a clock fixed at 5 March 2009 for the test and restores the
// system clock afterwards (the current year is cached until SetClock).
class DateWithClockTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClock(&clock_); }
  void TearDown() override { SetClock(nullptr); }

 private:
  FixedClock clock_{LocalDateTime{2009, 3, 5, 0}};
};

TEST(DateSerialTest, KnownDatesBothWays) {
  for (const KnownDate& known : kKnownDates) {
    SCOPED_TRACE(known.serial);
    EXPECT_EQ(SerialFromCivil(known.year, known.month, known.day),
              known.serial);
    EXPECT_EQ(CivilFromSerial(known.serial),
              (CivilDate{known.year, known.month, known.day}));
    EXPECT_EQ(DAY(known.serial), known.day);
    EXPECT_EQ(MONTH(known.serial), known.month);
    EXPECT_EQ(YEAR(known.serial), known.year);
  }
}

TEST(DateSerialTest, InvalidSerialsGiveZeroParts) {
  for (int32_t serial : {0, 1, 3, -1, 2994627, kMaxLong, kMinLong}) {
    SCOPED_TRACE(serial);
    EXPECT_FALSE(IsValidDateSerial(serial));
    EXPECT_EQ(CivilFromSerial(serial), (CivilDate{0, 0, 0}));
    EXPECT_EQ(DAY(serial), 0);
    EXPECT_EQ(MONTH(serial), 0);
    EXPECT_EQ(YEAR(serial), 0);
  }
  EXPECT_TRUE(IsValidDateSerial(4));
  EXPECT_TRUE(IsValidDateSerial(2994626));
}

TEST(DateSerialTest, InvalidCalendarDatesGiveMinusOne) {
  const CivilDate invalid[] = {
      {2100, 2, 29}, {1900, 2, 29}, {2009, 2, 29}, {1800, 12, 31},
      {10000, 1, 1}, {2009, 13, 1}, {2009, 0, 1},  {2009, 4, 31},
      {2009, 1, 0},  {2009, 1, 32}, {0, 1, 1},     {-5, 1, 1},
  };
  for (const CivilDate& date : invalid) {
    SCOPED_TRACE(testing::Message()
                 << date.year << "-" << date.month << "-" << date.day);
    EXPECT_EQ(SerialFromCivil(date.year, date.month, date.day), -1);
  }
}

TEST(DateSerialTest, LeapYears) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2004));
  EXPECT_TRUE(IsLeapYear(2400));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_FALSE(IsLeapYear(2009));
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2009, 4), 30);
  EXPECT_EQ(DaysInMonth(2009, 12), 31);
  EXPECT_EQ(DaysInMonth(2009, 0), 0);
  EXPECT_EQ(DaysInMonth(2009, 13), 0);
  EXPECT_GT(SerialFromCivil(2096, 2, 29), 0);
  EXPECT_EQ(SerialFromCivil(2100, 2, 29), -1);
}

// Consistency over the whole range: every serial maps to a valid date one
// day after the previous serial's, and back to itself.
TEST(DateSerialTest, RoundTripOverTheWholeRange) {
  CivilDate previous = CivilFromSerial(kFirstDateSerial);
  ASSERT_EQ(previous, (CivilDate{1801, 1, 1}));
  for (int32_t serial = kFirstDateSerial + 1; serial <= kLastDateSerial;
       ++serial) {
    const CivilDate date = CivilFromSerial(serial);
    const bool next_day_same_month = date.year == previous.year &&
                                     date.month == previous.month &&
                                     date.day == previous.day + 1;
    const bool first_of_next_month =
        date.day == 1 &&
        previous.day == DaysInMonth(previous.year, previous.month) &&
        ((date.year == previous.year && date.month == previous.month + 1) ||
         (date.year == previous.year + 1 && date.month == 1 &&
          previous.month == 12));
    if (!(next_day_same_month || first_of_next_month) ||
        SerialFromCivil(date.year, date.month, date.day) != serial) {
      FAIL() << "serial " << serial << " gives " << date.year << "-"
             << date.month << "-" << date.day;
    }
    previous = date;
  }
  EXPECT_EQ(previous, (CivilDate{9999, 12, 31}));
}

TEST(DateSerialTest, TimeSerials) {
  struct Row {
    int32_t serial;
    TimeOfDay time;
  };
  const Row rows[] = {
      {1, {0, 0, 0, 0}},        {8640000, {23, 59, 59, 99}},
      {372346, {1, 2, 3, 45}},   // 1:02:03.45
      {4722901, {13, 7, 9, 0}},  // 13:07:09
      {0, {0, 0, 0, 0}},         // no time
      {8640001, {0, 0, 0, 0}},   // beyond one day
      {-5, {0, 0, 0, 0}},       {kMaxLong, {0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.serial);
    const TimeOfDay time = TimeFromSerial(row.serial);
    EXPECT_EQ(time.hour, row.time.hour);
    EXPECT_EQ(time.minute, row.time.minute);
    EXPECT_EQ(time.second, row.time.second);
    EXPECT_EQ(time.centisecond, row.time.centisecond);
  }
  EXPECT_TRUE(IsValidTimeSerial(1));
  EXPECT_TRUE(IsValidTimeSerial(8640000));
  EXPECT_FALSE(IsValidTimeSerial(0));
  EXPECT_FALSE(IsValidTimeSerial(8640001));
}

TEST(DateFunctionTest, RollsMonthsAndDays) {
  struct Row {
    int32_t month, day, year;
    int32_t serial;
  };
  const Row rows[] = {
      {3, 5, 2009, 76038},
      {2, 29, 2009, 76034},  // 29 February 2009 is 1 March
      {13, 0, 2009, 76339},  // January 2010, day 0: 31 December 2009
      {1, 365, 2009, 76339},
      {3, -1, 2009, 76032},  // two days before 1 March: 27 February
      {24, 1, 2008, 76309},  // month 24 of 2008 is December 2009
      {12, 31, 9999, 2994626},
      {1, 1, 1801, 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.month << "/" << row.day << "/" << row.year);
    EXPECT_EQ(DATE(row.month, row.day, row.year), row.serial);
  }
}

TEST(DateFunctionTest, ImpossibleDatesGiveMinusOne) {
  struct Row {
    int32_t month, day, year;
  };
  const Row rows[] = {
      {0, 15, 2009},       {-5, 1, 2009},
      {kMinLong, 1, 2009}, {kMaxLong, 1, 2009},
      {12, 32, 9999},      {1, 0, 1801},
      {1, 1, 10000},       {1, 1, 1800},
      {1, 1, -5},          {1, kMaxLong, 2009},
      {1, kMinLong, 2009}, {1, 1, kMaxLong},
      {1, 1, kMinLong},    {kMaxLong, kMaxLong, kMaxLong},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.month << "/" << row.day << "/" << row.year);
    EXPECT_EQ(DATE(row.month, row.day, row.year), -1);
  }
}

TEST_F(DateWithClockTest, TwoDigitYearsUseWindow80) {
  EXPECT_EQ(DATE(1, 1, 28), 82914);  // 2028
  EXPECT_EQ(DATE(1, 1, 29), 46755);  // 1929
  EXPECT_EQ(DATE(1, 1, 9), 75975);   // 2009
  EXPECT_EQ(DATE(1, 1, 0), 72687);   // 2000
  EXPECT_EQ(DATE(1, 1, 99), 72322);  // 1999
}

TEST(DateSerialTest, WidenYear) {
  struct Row {
    int year, window, current, widened;
  };
  const Row rows[] = {
      {28, 80, 2009, 2028}, {29, 80, 2009, 1929},   {0, 80, 2009, 2000},
      {99, 80, 2009, 1999}, {0, 80, 2095, 2100},    {15, 80, 2095, 2015},
      {98, 10, 2009, 2098}, {99, 10, 2009, 1999},   {10, 10, 2009, 2010},
      {8, 0, 2009, 2108},   {9, 0, 2009, 2009},     {10, 99, 2009, 1910},
      {9, 99, 2009, 2009},  {28, 150, 2009, 1928},  {28, -5, 2009, 2028},
      {100, 80, 2009, 100}, {1995, 80, 2009, 1995}, {-3, 80, 2009, -3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.year << " w" << row.window << " c" << row.current);
    EXPECT_EQ(WidenYear(row.year, row.window, row.current), row.widened);
  }
}

// Found by the picture fuzzer: a current year near the ends of int
// overflowed the widening arithmetic.
TEST(DateSerialTest, WidenYearSaturatesAbsurdCurrentYears) {
  EXPECT_EQ(WidenYear(0, 8464, kMinLong + 2), kMinLong);
  EXPECT_EQ(WidenYear(99, 0, kMaxLong), kMaxLong);
}

// Base 5 March 2009 (76038) throughout; births counted back by hand.
TEST(AgeTest, DaysMonthsYears) {
  struct Row {
    int32_t birth;
    const char* age;
  };
  const Row rows[] = {
      {76038 - 60, "60 DAYS"},
      {76038, "0 DAYS"},
      {76038 - 61, "2 MOS"},  // 4 January 2009
      {75307, "24 MOS"},      // 5 March 2007
      {75308, "23 MOS"},      // 6 March 2007: one day short of 24 months
      {75279, "2 YRS"},       // 5 February 2007: 25 months
      {72385, "10 YRS"},      // 5 March 1999
      {72386, "9 YRS"},       // 6 March 1999
      {94300, "50 YRS"},      // 5 March 2059, taken as 1959
      {76039, "99 YRS"},      // tomorrow, taken as 6 March 1909
      {112927, "***"},        // 5 March 2110: still after the base
      {0, "***"},
      {3, "***"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.birth);
    EXPECT_EQ(AGE(row.birth, 76038), row.age);
  }
  EXPECT_EQ(AGE(76038 - 60, 0), "***");
}

TEST(AgeTest, LeapDayMovedBackACentury) {
  // 29 February 2000 against 28 February 2000: 1900 has no 29 February.
  EXPECT_EQ(AGE(72746, 72745), "99 YRS");
}

TEST_F(DateWithClockTest, AgeDefaultsToToday) {
  EXPECT_EQ(TODAY(), 76038);
  EXPECT_EQ(AGE(76038 - 60), "60 DAYS");
}

}  // namespace
}  // namespace zuna::values
